// A save deep in a large recursive folder association, through the product's real
// pieces and real pacing (the 100 ms watch timer, the 500 ms wait for the writer,
// 50 ms after every 15 files looked at, a durable copy).
//
// Starting to watch: trees of empty folders are set up for watching as
// the program does at start; it reports the time spent inside the call, the time
// until every folder has its watch, the longest the event loop was held up
// meanwhile (a 5 ms heartbeat timer stands in for the window) and the growth of
// resident memory.
//
// Saves: for trees of 1 000, 10 000 and 100 000 files (100 per folder in a
// ten-way tree, the saved file five folders below the last one), the latency from
// the end of a save to its copy being in place, and the processor time of the
// whole process from the save until the scan has ended. The same trees are then
// served once more by the walk of the whole tree (the notifier told to say it
// cannot tell where), with fewer saves since each walk paces through every file.
//
//     bench_deep_save [saves=20] [full-walk saves at 1 000/10 000 files=3,1] [folders=10000,100000]
//                     [folder for the trees=system temp]

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
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

class LoopPump : public EventPump
{
  public:
    void ProcessPendingMessages() override { QCoreApplication::processEvents(); }
};

// The real notifier, but never able to say where a tree changed: the scan walks it all.
class WholeTreeNotifier : public ChangeNotifier
{
  public:
    InotifyNotifier Real;
    int Open(const QString& folder, bool subtree) override { return Real.Open(folder, subtree); }
    WaitResult Wait(int handle, int milliseconds) override { return Real.Wait(handle, milliseconds); }
    bool Rearm(int handle) override { return Real.Rearm(handle); }
    void Close(int handle) override { Real.Close(handle); }
    bool WatchesInPlace(int handle) const override { return Real.WatchesInPlace(handle); }
    bool ContinueSetup(int budgetMs) override { return Real.ContinueSetup(budgetMs); }
};

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const size_t i = std::min(values.size() - 1, static_cast<size_t>(p * (values.size() - 1) + 0.5));
    return values[i];
}

// Runs the event loop until done() holds, looking every 2 ms; false after timeoutMs.
bool runUntil(const std::function<bool()>& done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer look;
    QElapsedTimer clock;
    clock.start();
    bool met = false;
    QObject::connect(&look, &QTimer::timeout, [&] {
        met = done();
        if (met || clock.elapsed() > timeoutMs)
            loop.quit();
    });
    look.start(2);
    loop.exec();
    return met;
}

// Folder k (from 1) lies in folder (k - 1) / 10, folder 0 being the top.
std::vector<QByteArray> makeFolders(const QString& top, int folders)
{
    std::vector<QByteArray> paths{QFile::encodeName(top)};
    ::mkdir(paths[0].constData(), 0755);
    for (int k = 1; k <= folders; ++k) {
        paths.push_back(paths[size_t((k - 1) / 10)] + "/d" + QByteArray::number(k));
        ::mkdir(paths.back().constData(), 0755);
    }
    return paths;
}

// Real waits, unless told to skip them (the walk's own cost without its pacing).
class SwitchableWaiter : public RealWaiter
{
  public:
    bool Skip = false;
    void Sleep(int milliseconds) override
    {
        if (!Skip)
            RealWaiter::Sleep(milliseconds);
    }
};

struct World
{
    ProgramState State;
    Options Opts;
    colRecent Recent{State};
    colNotifiers Notifiers{State};
    LinuxDrives Drives;
    TimingCopier Copier;
    SwitchableWaiter Waiter;
    LoopPump Pump;
    EngineHooks Hooks;
    EngineContext Context;
    Engine Watching;

    World(ChangeNotifier& notifier, const QString& source, const QString& destination)
        : Context{State, Opts, Recent, Notifiers, Drives, Copier, notifier, Waiter, Pump, Hooks},
          Watching(Context)
    {
        clsBackup backup;
        backup.SourcePath = source;
        backup.Folder = true;
        backup.Recursive = true;
        backup.Enabled = true;
        backup.Volume = QString(2, QChar(0)) + Drives.Label(Drives.MountOf(source)->MountPoint).toUpper();
        backup.DateLastActivity = backup.DateLastModified = DateText::Never;
        State.Backups.Add(backup, source);
        State.Destinations.Add(destination, source, Drives.Label(Drives.MountOf(destination)->MountPoint));
    }
};

struct SaveFigures
{
    std::vector<double> Latency, Cpu, Ended;
};

// Times every slice of watches added, apart from the waits the machine imposes.
class TimedNotifier : public InotifyNotifier
{
  public:
    std::vector<double> SliceMs;
    bool ContinueSetup(int budgetMs) override
    {
        QElapsedTimer t;
        t.start();
        const bool more = InotifyNotifier::ContinueSetup(budgetMs);
        SliceMs.push_back(t.nsecsElapsed() / 1e6);
        return more;
    }
};

SaveFigures runSaves(World& world, QElapsedTimer& clock, const QString& file, int saves)
{
    SaveFigures figures;
    for (int i = 0; i < saves; ++i) {
        world.Copier.DoneAt = -1;
        const double cpu = cpuSeconds();
        {
            QFile out(file);
            out.open(QIODevice::WriteOnly | QIODevice::Truncate);
            out.write(QByteArray("save ") + QByteArray::number(i) + QByteArray(200, 'x'));
        }
        const qint64 savedAt = clock.nsecsElapsed();
        if (!runUntil([&] { return world.Copier.DoneAt >= 0 && !world.State.Scanning; }, 900000)) {
            std::printf("  save %d was not backed up\n", i);
            break;
        }
        figures.Cpu.push_back(cpuSeconds() - cpu);
        figures.Ended.push_back((clock.nsecsElapsed() - savedAt) / 1e9);
        figures.Latency.push_back((world.Copier.DoneAt - savedAt) / 1e9);
        runUntil([] { return false; }, 250); // a quiet tick moves the reference on
    }
    return figures;
}

void printSaves(const char* how, const SaveFigures& f)
{
    if (f.Latency.empty())
        return;
    std::printf("  %-10s %2zu saves  latency p50 %7.3f s  p95 %7.3f s  scan ended p50 %7.3f s   "
                "cpu/save p50 %.4f s  max %.4f s\n",
                how, f.Latency.size(), percentile(f.Latency, 0.5), percentile(f.Latency, 0.95),
                percentile(f.Ended, 0.5), percentile(f.Cpu, 0.5), percentile(f.Cpu, 1.0));
}

QString g_base = QDir::tempPath();

void startWatching(int folders)
{
    QTemporaryDir dir(g_base + QStringLiteral("/bench-XXXXXX"));
    const QString top = dir.path() + QStringLiteral("/Tree");
    QElapsedTimer build;
    build.start();
    makeFolders(top, folders);
    const double built = build.elapsed() / 1e3;

    TimedNotifier notifier;
    World world(notifier, top, dir.path() + QStringLiteral("/Backup"));
    QElapsedTimer heartbeatClock;
    qint64 lastBeat = 0, longestGap = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = heartbeatClock.nsecsElapsed();
        longestGap = std::max(longestGap, now - lastBeat);
        lastBeat = now;
    });
    const double rssBefore = residentMiB();
    heartbeat.start(5);
    heartbeatClock.start();

    QElapsedTimer clock;
    clock.start();
    world.Watching.WatchSourceFolder(top, true);
    const double inCall = clock.nsecsElapsed() / 1e9;
    world.Watching.StartWatching();
    const int handle = world.Watching.DetectFolders().Item(1)->AutoBackup;
    runUntil([&] { return notifier.WatchesInPlace(handle); }, 120000);
    const double complete = clock.nsecsElapsed() / 1e9;
    heartbeat.stop();
    std::printf("  %6d folders (made in %.1f s): %d watches, %.3f s in the call, all in place after %.2f s, "
                "%zu slices (p50 %.1f ms, p99 %.1f ms, max %.1f ms), event loop held up at most %.1f ms, "
                "resident memory +%.1f MiB\n",
                folders, built, notifier.WatchCount(), inCall, complete, notifier.SliceMs.size(),
                percentile(notifier.SliceMs, 0.5), percentile(notifier.SliceMs, 0.99),
                percentile(notifier.SliceMs, 1.0), longestGap / 1e6, residentMiB() - rssBefore);
    world.Watching.CloseAllNotifications();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // progress shows while the long walks run
    const int saves = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    std::vector<int> fullSaves{3, 1};
    if (argc > 2) {
        fullSaves.clear();
        for (const QByteArray& n : QByteArray(argv[2]).split(','))
            fullSaves.push_back(n.toInt());
    }
    std::vector<int> watchFolders{10000, 100000};
    if (argc > 3) {
        watchFolders.clear();
        for (const QByteArray& n : QByteArray(argv[3]).split(','))
            if (n.toInt() > 0)
                watchFolders.push_back(n.toInt());
    }

    if (argc > 4)
        g_base = QString::fromLocal8Bit(argv[4]);

    std::printf("starting to watch a tree of empty folders\n");
    for (int folders : watchFolders)
        startWatching(folders);

    std::printf("a deep save in a recursive folder association\n");
    bool met = true;
    const int sizes[] = {1000, 10000, 100000};
    for (size_t s = 0; s < std::size(sizes); ++s) {
        const int files = sizes[s];
        constexpr int FilesPerFolder = 100;
        QTemporaryDir dir(g_base + QStringLiteral("/bench-XXXXXX"));
        const QString top = dir.path() + QStringLiteral("/Tree");
        const QString destination = dir.path() + QStringLiteral("/Backup");
        QDir().mkpath(destination);
        const std::vector<QByteArray> folders = makeFolders(top, files / FilesPerFolder);
        const timespec old[2] = {{::time(nullptr) - 30 * 86400, 0}, {::time(nullptr) - 30 * 86400, 0}};
        for (size_t k = 1; k < folders.size(); ++k)
            for (int i = 0; i < FilesPerFolder; ++i) {
                const QByteArray path = folders[k] + "/file" + QByteArray::number(i) + ".txt";
                const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (fd >= 0) {
                    (void)!::write(fd, "x", 1);
                    ::futimens(fd, old);
                    ::close(fd);
                }
            }
        const QString deep = QFile::decodeName(folders.back()) + QStringLiteral("/a/b/c/d/e");
        QDir().mkpath(deep);
        const QString file = deep + QStringLiteral("/saved.txt");
        const QString target = destination + QStringLiteral("/Tree/") + QDir(top).relativeFilePath(file);
        std::printf(" %d files in %zu folders, saved file %d folders deep\n", files, folders.size() - 1,
                    int(QDir(top).relativeFilePath(file).count(QLatin1Char('/'))));

        QElapsedTimer clock;
        clock.start();
        SaveFigures targeted;
        {
            InotifyNotifier notifier;
            World world(notifier, top, destination);
            world.Copier.Clock = &clock;
            world.Copier.Target = target;
            world.Watching.WatchSourceFolder(top, true);
            world.Watching.StartWatching();
            const int handle = world.Watching.DetectFolders().Item(1)->AutoBackup;
            runUntil([&] { return notifier.WatchesInPlace(handle); }, 120000);
            runUntil([] { return false; }, 500);
            targeted = runSaves(world, clock, file, saves);
            world.Watching.CloseAllNotifications();
        }
        printSaves("targeted", targeted);
        met = met && !targeted.Latency.empty() && percentile(targeted.Latency, 0.5) <= 1.0 &&
              percentile(targeted.Cpu, 0.5) <= 0.05;

        const int walks = s < fullSaves.size() ? fullSaves[s] : 0;
        if (walks > 0) {
            WholeTreeNotifier notifier;
            World world(notifier, top, destination);
            world.Copier.Clock = &clock;
            world.Copier.Target = target;
            world.Watching.WatchSourceFolder(top, true);
            world.Watching.StartWatching();
            runUntil([] { return false; }, 500);
            printSaves("full walk", runSaves(world, clock, file, walks));
            world.Watching.CloseAllNotifications();
        } else {
            // One walk with the waits skipped: its processor time is what a save costs.
            WholeTreeNotifier notifier;
            World world(notifier, top, destination);
            world.Waiter.Skip = true;
            const double cpu = cpuSeconds();
            QElapsedTimer walk;
            walk.start();
            world.Watching.Scan().ScanFolder(top, 1, top, DateText::Now(), true, false);
            std::printf(
                "  full walk  1 walk without its waits: %.3f s, cpu %.4f s; the pacing would add %.0f s "
                "(50 ms per 15 files)\n",
                walk.nsecsElapsed() / 1e9, cpuSeconds() - cpu, files / 15.0 * 0.05);
        }
    }
    std::printf("goals (targeted p50 <= 1 s, cpu/save <= 0.05 s at every size): %s\n",
                met ? "met" : "MISSED");
    return met ? 0 : 2;
}
