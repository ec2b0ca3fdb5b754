// Runs the real program under many saves of every kind, then compares each file with its backup
// and the program's memory and descriptors at the start and the end; 0 when none was missed.
//   savenook_soak [--associations 100] [--saves 10000] [--seconds 600] [--seed n] [--binary path]
#include "DriveKit.h"

#include <QCoreApplication>
#include <QElapsedTimer>

using namespace DriveKit;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int saves = Option(args, "--saves", "300").toInt();
    const qint64 seconds = Option(args, "--seconds", "20").toLongLong();
    QRandomGenerator random(Option(args, "--seed", "1").toUInt());
    Rig rig(args, Option(args, "--associations", "10").toInt(), 3, 2);
    for (const QString& file : rig.Files)
        Save(Writer::InPlace, file, Content("start", 100));
    if (!rig.Start()) {
        std::printf("the program did not start:\n%s\n", rig.Trace().constData());
        return 1;
    }
    QThread::msleep(500);
    const Rig::Usage start = rig.Sample();
    Rig::Usage early = start;

    QElapsedTimer clock;
    clock.start();
    int kinds[WriterKinds] = {};
    for (int i = 0; i < saves; ++i) {
        const qint64 due = seconds * 1000 * i / saves;
        if (const qint64 wait = due - clock.elapsed(); wait > 0)
            QThread::msleep(quint64(wait));
        const auto writer = Writer(random.bounded(WriterKinds));
        ++kinds[int(writer)];
        const QString& file = rig.Files.at(random.bounded(int(rig.Files.size())));
        const int size = writer == Writer::Append ? 200 : random.bounded(100, 64 * 1024);
        Save(writer, file, Content(QStringLiteral("%1 save %2").arg(file).arg(i), size));
        if (i == saves / 10)
            early = rig.Sample();
    }
    const qint64 writing = clock.elapsed();

    QStringList missed;
    clock.restart();
    static_cast<void>(QTest::qWaitFor([&] { return (missed = rig.Missed()).isEmpty(); }, 30000));
    const qint64 settled = clock.elapsed();
    const Rig::Usage end = rig.Sample();
    // A program that quit by itself would otherwise pass as a clean exit on SIGTERM.
    const bool alive = rig.Running();
    const bool ended = alive && rig.EndsCleanly();
    const QString problems = StoreProblems({rig.Sources});
    const QStringList leftovers = Leftovers(rig.Root);

    std::printf("soak: %d associations, %d files, %d saves in %.1f s (in place %d, renamed %d, "
                "double %d, appended %d)\n",
                int(rig.Sources.size()), int(rig.Files.size()), saves, writing / 1000.0, kinds[0], kinds[1],
                kinds[2], kinds[3]);
    std::printf("missed backups: %d (settled %.1f s after the last save)\n", int(missed.size()),
                settled / 1000.0);
    for (const QString& file : missed)
        std::printf("  missed: %s\n", qPrintable(file));
    std::printf("resident memory KiB: start %lld, after a tenth %lld, end %lld\nopen descriptors: start %d, "
                "after a tenth %d, end %d\n",
                start.Rss, early.Rss, end.Rss, start.Fds, early.Fds, end.Fds);
    std::printf("exit on SIGTERM: %s; stores after it: %s; leftovers: %d\n", ended ? "clean" : "FAILED",
                problems.isEmpty() ? "whole" : "INCOMPLETE", int(leftovers.size()));
    if (!problems.isEmpty())
        std::printf("%s\n", qPrintable(problems));
    if (!alive)
        std::printf("the program had ended before the SIGTERM; the end of its trace:\n%s\n",
                    rig.Trace().right(4000).constData());
    const bool good =
        missed.isEmpty() && end.Fds <= start.Fds + 4 && ended && problems.isEmpty() && leftovers.isEmpty();
    return good ? 0 : 1;
}
