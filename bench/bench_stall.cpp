// A long backup and the interface: while one large file is backed up through
// FileBackup (durable copy, written out as it goes), a 5 ms timer on the event loop
// notes the longest gap between its ticks: the longest time the window would have
// been frozen. For scale the same copy is made the way the copier made it before:
// into the page cache between message pumps, then one fsync at the end. Then a
// child process is sent SIGTERM in the middle of such a backup; the time until it
// has ended is measured, and the destination is checked: temporary file gone, old
// backup kept.
//
// bench_stall [MiB=1024] [runs=3] [folder=system temp]

#include "core/DateText.h"
#include "core/EventPump.h"
#include "core/ProgramState.h"
#include "engine/FileBackup.h"
#include "platform/InotifyNotifier.h"
#include "platform/LinuxDrives.h"
#include "platform/LinuxFileCopier.h"
#include "platform/RealWaiter.h"
#include "platform/SignalRouter.h"
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
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

class LoopPump : public EventPump
{
  public:
    void ProcessPendingMessages() override { QCoreApplication::processEvents(); }
};

// The longest gap between ticks of a 5 ms timer, as the event loop served them.
class StallMeter
{
  public:
    StallMeter()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    }
    void Start()
    {
        m_longest = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    double StopMs()
    {
        tick();
        m_timer.stop();
        return m_longest / 1e6;
    }

  private:
    void tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        m_longest = std::max(m_longest, now - m_last);
        m_last = now;
    }
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0, m_longest = 0;
};

// The product's pieces around one folder association root -> destination, with
// previous versions kept.
struct Rig
{
    ProgramState State;
    Options Opts;
    colRecent Recent{State};
    colNotifiers Notifiers{State};
    LinuxDrives Drives;
    LinuxFileCopier Copier;
    InotifyNotifier Notifier;
    RealWaiter Waiter;
    LoopPump Pump;
    EngineHooks Hooks;
    EngineContext Context{State, Opts, Recent, Notifiers, Drives, Copier, Notifier, Waiter, Pump, Hooks};
    FileBackup Backup{Context};
    QString Root;

    Rig(const QString& root, const QString& destination) : Root(root)
    {
        clsBackup backup;
        backup.SourcePath = root;
        backup.Folder = true;
        backup.Enabled = true;
        backup.KeepBackup = true;
        backup.Versions = 2;
        backup.Volume = QString(2, QChar(0)) + Drives.Label(Drives.MountOf(root)->MountPoint);
        backup.DateLastActivity = backup.DateLastModified = DateText::Never;
        State.Backups.Add(backup, root);
        State.Destinations.Add(destination, root, Drives.Label(Drives.MountOf(destination)->MountPoint));
    }
    // The last log text, empty when nothing was logged.
    QString Run(const QString& file)
    {
        Backup.BackupFile(Root, 1, file);
        return Recent.Count() ? Recent.Item(Recent.Count())->Message : QString();
    }
};

void Settle(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
}

// The copy as it was made before: 16 MiB chunks into the page cache with the
// interface served between them, then one fsync for the whole file.
bool CopyThenOneFsync(const QString& source, const QString& target)
{
    const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY);
    const int out = ::open(QFile::encodeName(target).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    struct stat st = {};
    bool ok = in >= 0 && out >= 0 && ::fstat(in, &st) == 0;
    off_t done = 0;
    while (ok && done < st.st_size) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 16 << 20, 0);
        ok = n > 0;
        done += n > 0 ? n : 0;
        QCoreApplication::processEvents();
    }
    ok = ok && ::fsync(out) == 0;
    if (in >= 0)
        ::close(in);
    if (out >= 0)
        ::close(out);
    return ok;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Child: backs the file up until SIGTERM asks the program to close, as the
// window's exit does (Exiting set, the work returns, the loop ends).
int Child(const QString& root, const QString& destination)
{
    Rig rig(root, destination);
    SignalRouter router;
    if (!router.Install()) {
        std::fprintf(stderr, "%s\n", qPrintable(router.ErrorText()));
        return 1;
    }
    QObject::connect(&router, &SignalRouter::Signalled, [&rig](int) { rig.State.Exiting = true; });
    const QString outcome = rig.Run(root + QStringLiteral("/source.bin"));
    std::printf("child ended: %s\n", qPrintable(outcome.isEmpty() ? QStringLiteral("(abandoned)") : outcome));
    return 0;
}

qint64 TemporarySize(const QString& folder)
{
    for (const QFileInfo& entry : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden))
        if (LinuxFileCopier::IsTemporaryName(entry.fileName()))
            return entry.size();
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--child")
        return Child(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));

    const qint64 mib = argc > 1 ? std::atoll(argv[1]) : 1024;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const QString base = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QDir::tempPath();
    QTemporaryDir dir(base + QStringLiteral("/bench-stall-XXXXXX"));
    // The backup keeps a small store in the data folder: a private one here.
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path() + QStringLiteral("/data")));
    const QString root = dir.path() + QStringLiteral("/Work");
    const QString source = root + QStringLiteral("/source.bin");
    QDir().mkpath(root);
    {
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(source));
            return 1;
        }
        QByteArray block(1 << 20, Qt::Uninitialized);
        for (qint64 m = 0; m < mib; ++m) {
            for (int i = 0; i < block.size(); ++i)
                block[i] = char((i * 31 + m * 7) ^ (i >> 9));
            if (file.write(block) != block.size()) {
                std::fprintf(stderr, "cannot write the source (disk full?)\n");
                return 1;
            }
        }
    }
    Settle(dir.path());

    StallMeter meter;
    std::vector<double> ours, before, exits;
    bool kept = true;
    for (int run = 1; run <= runs; ++run) {
        // Backing up into an empty destination, through the product.
        const QString destination = dir.path() + QStringLiteral("/Backup");
        QDir(destination).removeRecursively();
        QDir().mkpath(destination);
        Settle(dir.path());
        {
            Rig rig(root, destination);
            meter.Start();
            const QString outcome = rig.Run(source);
            ours.push_back(meter.StopMs());
            if (outcome != QStringLiteral("Success: Copy saved")) {
                std::fprintf(stderr, "the backup failed: %s\n", qPrintable(outcome));
                return 1;
            }
        }

        // The same copy the earlier way.
        const QString reference = dir.path() + QStringLiteral("/reference.bin");
        QFile::remove(reference);
        Settle(dir.path());
        meter.Start();
        if (!CopyThenOneFsync(source, reference)) {
            std::fprintf(stderr, "the reference copy failed\n");
            return 1;
        }
        before.push_back(meter.StopMs());
        QFile::remove(reference);

        // SIGTERM a quarter of the way through a backup over an older copy.
        const QString work = destination + QStringLiteral("/Work");
        QDir(destination).removeRecursively();
        QDir().mkpath(work);
        QFile old(work + QStringLiteral("/source.bin"));
        old.open(QIODevice::WriteOnly);
        old.write("old backup");
        old.close();
        Settle(dir.path());
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), root, destination});
        QElapsedTimer wait;
        wait.start();
        while (TemporarySize(work) < (mib << 20) / 4 && wait.elapsed() < 60000)
            QThread::msleep(2);
        QElapsedTimer exitClock;
        exitClock.start();
        ::kill(pid_t(child.processId()), SIGTERM);
        if (!child.waitForFinished(30000)) {
            std::fprintf(stderr, "the child did not end within 30 s\n");
            child.kill();
            return 1;
        }
        exits.push_back(double(exitClock.nsecsElapsed()) / 1e6);
        QFile check(work + QStringLiteral("/source.bin"));
        const bool oldKept = check.open(QIODevice::ReadOnly) && check.readAll() == "old backup";
        const QStringList left = QDir(work).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        kept = kept && oldKept && left == QStringList{QStringLiteral("source.bin")};
        std::printf("run %d: longest stall %.1f ms (one fsync at the end: %.1f ms); SIGTERM to exit %.1f ms, "
                    "old backup %s, %s\n",
                    run, ours.back(), before.back(), exits.back(), oldKept ? "kept" : "LOST",
                    left.size() == 1 ? "no temporary left" : "LEFTOVERS");
        QDir(destination).removeRecursively();
    }

    const double stall = Median(ours), exitMs = *std::max_element(exits.begin(), exits.end());
    std::printf("\n%lld MiB, median of %d: longest event-loop stall %.1f ms (before: %.1f ms); "
                "slowest SIGTERM to exit %.1f ms (goal < 2000 ms); destination %s\n",
                mib, runs, stall, Median(before), exitMs, kept ? "intact" : "DAMAGED");
    return exitMs < 2000 && kept ? 0 : 2;
}
