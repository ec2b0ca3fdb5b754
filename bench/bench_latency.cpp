// Save-to-backup latency: a 1 MB file saved 50 times into a watched folder with
// a local destination, through the product's real pieces and real pacing (the
// watch tick woken by inotify, the wait for the writer to close the file, a
// durable copy and a previous version). Latency runs from the end of the save to the moment the
// copy is in place. Prints p50 and p95.

#include "TimingCopier.h"
#include "core/DateText.h"
#include "core/EventPump.h"
#include "core/ProgramState.h"
#include "engine/Engine.h"
#include "platform/InotifyNotifier.h"
#include "platform/LinuxDrives.h"
#include "platform/LinuxFileCopier.h"
#include "platform/RealWaiter.h"
#include "reporting/colNotifiers.h"
#include "reporting/colRecent.h"
#include "settings/Options.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class LoopPump : public EventPump
{
  public:
    void ProcessPendingMessages() override { QCoreApplication::processEvents(); }
};

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const size_t i = std::min(values.size() - 1, static_cast<size_t>(p * (values.size() - 1) + 0.5));
    return values[i];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int saves = argc > 1 ? std::max(1, atoi(argv[1])) : 50;
    QTemporaryDir dir;
    // The backup keeps a small store in the data folder: a private one here.
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path() + QStringLiteral("/data")));
    const QString root = dir.path() + QStringLiteral("/Work");
    const QString destination = dir.path() + QStringLiteral("/Backup");
    QDir().mkpath(root);
    QDir().mkpath(destination);
    const QString file = root + QStringLiteral("/data.bin");

    ProgramState state;
    Options opts;
    colRecent recent(state);
    colNotifiers notifiers(state);
    LinuxDrives drives;
    TimingCopier copier;
    InotifyNotifier notifier;
    RealWaiter waiter;
    LoopPump pump;
    EngineHooks hooks;
    EngineContext context{state, opts, recent, notifiers, drives, copier, notifier, waiter, pump, hooks};
    Engine engine(context);

    clsBackup backup;
    backup.SourcePath = root;
    backup.Folder = true;
    backup.Enabled = true;
    backup.KeepBackup = true;
    backup.Versions = 2;
    backup.Volume = QString(2, QChar(0)) + drives.Label(drives.MountOf(root)->MountPoint).toUpper();
    backup.DateLastActivity = backup.DateLastModified = DateText::Never;
    state.Backups.Add(backup, root);
    state.Destinations.Add(destination, root, drives.Label(drives.MountOf(destination)->MountPoint));

    QElapsedTimer clock;
    clock.start();
    copier.Clock = &clock;
    copier.Target = destination + QStringLiteral("/Work/data.bin");

    engine.WatchSourceFolder(root, false);
    engine.StartWatching();
    auto runFor = [](int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(1);
        }
    };
    runFor(300);

    QByteArray content(1 << 20, 'x');
    std::vector<double> latencies;
    for (int i = 0; i < saves; ++i) {
        content.replace(0, 16, QByteArray::number(i).rightJustified(16, '0'));
        copier.DoneAt = -1;
        {
            QFile out(file);
            out.open(QIODevice::WriteOnly | QIODevice::Truncate);
            out.write(content);
        }
        const qint64 savedAt = clock.nsecsElapsed();
        QElapsedTimer limit;
        limit.start();
        while (copier.DoneAt < 0 && limit.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            QThread::usleep(200);
        }
        if (copier.DoneAt < 0) {
            std::printf("save %d was not backed up within 10 s\n", i);
            return 1;
        }
        latencies.push_back((copier.DoneAt - savedAt) / 1e9);
        runFor(250); // let the processing end and a quiet tick pass
    }
    engine.CloseAllNotifications();

    // The same saves beside a bare inotifywait loop handing each closed file to cp.
    std::vector<double> bare;
    QProcess loop;
    const QString bareRoot = dir.path() + QStringLiteral("/Bare");
    const QString bareCopy = dir.path() + QStringLiteral("/BareCopy");
    QDir().mkpath(bareRoot);
    QDir().mkpath(bareCopy);
    // inotifywait reports each closed file; cp is run for it as the shell loop would.
    loop.start(QStringLiteral("inotifywait"),
               {QStringLiteral("-m"), QStringLiteral("-q"), QStringLiteral("-e"),
                QStringLiteral("close_write"), QStringLiteral("--format"), QStringLiteral("%w%f"), bareRoot});
    if (loop.waitForStarted(3000)) {
        runFor(500);
        for (int i = 0; i < saves; ++i) {
            content.replace(0, 16, QByteArray::number(i).rightJustified(16, '0'));
            {
                QFile out(bareRoot + QStringLiteral("/data.bin"));
                out.open(QIODevice::WriteOnly | QIODevice::Truncate);
                out.write(content);
            }
            const qint64 savedAt = clock.nsecsElapsed();
            QElapsedTimer limit;
            limit.start();
            while (limit.elapsed() < 5000 && !loop.canReadLine())
                loop.waitForReadyRead(100);
            const QString closed = QString::fromLocal8Bit(loop.readLine()).trimmed();
            if (!closed.isEmpty())
                QProcess::execute(QStringLiteral("cp"), {closed, bareCopy + QLatin1Char('/')});
            bare.push_back((clock.nsecsElapsed() - savedAt) / 1e9);
            runFor(250);
        }
        loop.kill();
        loop.waitForFinished(2000);
    }

    const double p50 = percentile(latencies, 0.50);
    const double p95 = percentile(latencies, 0.95);
    std::printf("save-to-backup latency, 1 MiB, %d saves, real pacing\n", saves);
    std::printf("  min %.3f s  p50 %.3f s  p95 %.3f s  max %.3f s\n", percentile(latencies, 0.0), p50, p95,
                percentile(latencies, 1.0));
    if (!bare.empty())
        std::printf("  inotifywait + cp: min %.3f s  p50 %.3f s  p95 %.3f s  max %.3f s\n",
                    percentile(bare, 0.0), percentile(bare, 0.50), percentile(bare, 0.95),
                    percentile(bare, 1.0));
    else
        std::printf("  inotifywait + cp: not run (inotify-tools missing)\n");
    std::printf("  goal p50 <= 0.10 s: %s   goal p95 <= 0.20 s: %s\n", p50 <= 0.10 ? "met" : "MISSED",
                p95 <= 0.20 ? "met" : "MISSED");
    return p50 <= 0.10 && p95 <= 0.20 ? 0 : 2;
}
