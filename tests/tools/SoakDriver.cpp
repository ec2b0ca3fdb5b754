// Runs the real program for a while under many saves of every kind, then
// compares each file with its backup and the program's memory and descriptors
// at the start and the end.
//   savenook_soak [--associations 100] [--saves 10000] [--seconds 600] [--seed n] [--binary path]
// Ends 0 when no backup was missed and the descriptors did not grow.
#include "DriveKit.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <csignal>
#include <cstdio>

using namespace DriveKit;

namespace {
constexpr int kFilesPerAssociation = 3;
constexpr int kVersions = 2;

struct Sample
{
    qint64 Rss;
    int Fds;
};

Sample sample(const Program& program)
{
    return {ResidentKiB(program.Pid()), OpenDescriptors(program.Pid())};
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int associations = int(Option(args, QStringLiteral("--associations"), 10));
    const int saves = int(Option(args, QStringLiteral("--saves"), 300));
    const qint64 seconds = Option(args, QStringLiteral("--seconds"), 20);
    QRandomGenerator random(quint32(Option(args, QStringLiteral("--seed"), 1)));

    TestEnvironment env;
    const QString destination = env.root() + QStringLiteral("/dst");
    QStringList sources, files;
    for (int a = 0; a < associations; ++a) {
        sources << env.root() + QStringLiteral("/src/a%1").arg(a);
        QDir().mkpath(sources.last());
        for (int f = 0; f < kFilesPerAssociation; ++f) {
            files << sources.last() + QStringLiteral("/f%1.txt").arg(f);
            Save(Writer::InPlace, files.last(), Content(QStringLiteral("start"), 100));
        }
    }
    WriteStores(sources, destination, kVersions);
    auto backupOf = [&](const QString& file) { return destination + file.mid(env.root().size() + 4); };

    Program program(ProgramPath(args), env.root() + QStringLiteral("/runtime"));
    if (!program.Start()) {
        std::printf("the program did not start:\n%s\n", program.Trace().constData());
        return 1;
    }
    QThread::msleep(500);
    const Sample start = sample(program);
    Sample early = start;

    QElapsedTimer clock;
    clock.start();
    int kinds[WriterKinds] = {};
    for (int i = 0; i < saves; ++i) {
        const qint64 due = seconds * 1000 * i / saves;
        if (const qint64 wait = due - clock.elapsed(); wait > 0)
            QThread::msleep(quint64(wait));
        const auto writer = Writer(random.bounded(WriterKinds));
        ++kinds[int(writer)];
        const QString& file = files.at(random.bounded(int(files.size())));
        const int size = writer == Writer::Append ? 200 : random.bounded(100, 64 * 1024);
        Save(writer, file, Content(QStringLiteral("%1 save %2").arg(file).arg(i), size));
        if (i == saves / 10)
            early = sample(program);
    }
    const qint64 writing = clock.elapsed();

    QStringList missed;
    auto allBackedUp = [&] {
        missed.clear();
        for (const QString& file : files)
            if (FileDigest(file) != FileDigest(backupOf(file)))
                missed << file;
        return missed.isEmpty();
    };
    clock.restart();
    WaitFor(allBackedUp, 30000);
    const qint64 settled = clock.elapsed();
    const Sample end = sample(program);

    program.Signal(SIGTERM);
    const bool ended = program.WaitEnd(30000) && program.EndedNormally();
    QStringList loaded;
    const QString problems = LoadProblems(&loaded);
    const QStringList leftovers = Leftovers(env.root());

    std::printf("soak: %d associations, %d files, %d saves in %.1f s (in place %d, renamed %d, "
                "double %d, appended %d)\n",
                associations, int(files.size()), saves, writing / 1000.0, kinds[0], kinds[1], kinds[2],
                kinds[3]);
    std::printf("missed backups: %d (settled %.1f s after the last save)\n", int(missed.size()),
                settled / 1000.0);
    for (const QString& file : missed)
        std::printf("  missed: %s\n", qPrintable(file));
    std::printf("resident memory KiB: start %lld, after a tenth %lld, end %lld\n", start.Rss, early.Rss,
                end.Rss);
    std::printf("open descriptors: start %d, after a tenth %d, end %d\n", start.Fds, early.Fds, end.Fds);
    std::printf("exit on SIGTERM: %s; stores after it: %s; leftovers: %d\n", ended ? "clean" : "FAILED",
                problems.isEmpty() && loaded.size() == associations ? "whole" : "INCOMPLETE",
                int(leftovers.size()));
    if (!problems.isEmpty())
        std::printf("%s\n", qPrintable(problems));
    const bool good = missed.isEmpty() && end.Fds <= start.Fds + 4 && ended && problems.isEmpty() &&
                      loaded.size() == associations && leftovers.isEmpty();
    return good ? 0 : 1;
}
