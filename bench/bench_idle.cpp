// Idle cost of watching: many folder associations watched by the engine with its
// real watch timer on a running event loop, nothing changing. Prints the CPU
// time used as a share of one core, the ticks and the times the process woke
// (voluntary context switches), and the resident memory.
//
// bench_idle [folders=1000] [seconds=60]

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
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long Wakeups()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw;
}

QByteArray StatusField(const char* field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return "?";
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed();
    return "?";
}

double RssMiB()
{
    // "VmRSS:	  12345 kB"
    return StatusField("VmRSS:").split(' ').first().toDouble() / 1024.0;
}

class LoopPump : public EventPump
{
  public:
    void ProcessPendingMessages() override { QCoreApplication::processEvents(); }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int folders = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 60;

    QTemporaryDir root;
    if (!root.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return 1;
    }
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.path() + QStringLiteral("/data")));
    const double rssBefore = RssMiB();
    ProgramState state;
    Options opts;
    colRecent recent(state);
    colNotifiers notifiers(state);
    LinuxDrives drives;
    LinuxFileCopier copier;
    InotifyNotifier notifier;
    RealWaiter waiter;
    LoopPump pump;
    EngineHooks hooks;
    EngineContext context{state, opts, recent, notifiers, drives, copier, notifier, waiter, pump, hooks};
    Engine engine(context);
    for (int i = 0; i < folders; ++i) {
        const QString folder = root.path() + "/folder" + QString::number(i);
        QDir().mkpath(folder + "/sub");
        clsBackup backup;
        backup.SourcePath = folder;
        backup.Folder = true;
        // Every tenth with its sub-folders.
        backup.Recursive = i % 10 == 0;
        backup.Enabled = true;
        state.Backups.Add(backup, folder);
        engine.WatchSourceFolder(folder, backup.Recursive);
    }
    for (const QString& warning : notifier.TakeWarnings())
        std::fprintf(stderr, "warning: %s\n", qPrintable(warning));
    engine.StartWatching();
    // Let the setup and the first ticks pass before measuring: at least a second,
    // and until the watch timer sleeps (at most 30 s).
    QElapsedTimer settling;
    settling.start();
    QTimer settled;
    QObject::connect(&settled, &QTimer::timeout, [&] {
        if (settling.elapsed() >= 30000 || (settling.elapsed() >= 1000 && engine.NextTickMs() < 0))
            app.quit();
    });
    settled.start(100);
    app.exec();
    settled.stop();
    std::printf("settled after         %.1f s (watch timer %s)\n", double(settling.elapsed()) / 1000.0,
                engine.NextTickMs() < 0 ? "asleep" : "still running");

    QElapsedTimer wall;
    const double cpuStart = CpuSeconds();
    const long wakeupsStart = Wakeups();
    wall.start();
    int ticks = 0;
    engine.SetTickHook([&] { ++ticks; });
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    const double cpu = CpuSeconds() - cpuStart;
    const long wakeups = Wakeups() - wakeupsStart;
    const double elapsed = double(wall.elapsed()) / 1000.0;
    const double cpuPercent = 100.0 * cpu / elapsed;
    const double rss = RssMiB();
    std::printf("folders watched       %d (%d inotify watches, one instance)\n", folders,
                notifier.WatchCount());
    engine.CloseAllNotifications();
    std::printf("run                   %.1f s, %d ticks, %ld wake-ups\n", elapsed, ticks, wakeups);
    std::printf("cpu                   %.3f s = %.3f %% of one core   (goal <= 0.05 %%)\n", cpu, cpuPercent);
    std::printf("resident memory       %.1f MiB (%.1f MiB before watching)   (goal <= 80 MB)\n", rss,
                rssBefore);
    return cpuPercent <= 0.05 && rss <= 80.0 ? 0 : 2;
}
