// The whole watching path on real folders: the inotify notifier, the watch
// timer on a running event loop, the scan, the file backup and a durable copy.

#include "EngineFakes.h"

#include "core/DateText.h"
#include "engine/Engine.h"
#include "platform/InotifyNotifier.h"
#include "platform/LinuxFileCopier.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <cstdio>

namespace {

// Sleeps for real, but only a fraction of the product's pacing unless a test
// asks for the real thing.
class ShortWaiter : public Waiter
{
  public:
    int Divisor = 10;
    void Sleep(int milliseconds) override
    {
        QThread::msleep(static_cast<unsigned long>(milliseconds / Divisor));
    }
    qint64 ElapsedMs() const override { return m_clock.elapsed(); }

  private:
    QElapsedTimer m_clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
};

// Lets the event loop run, as the window's pump does; OnPump plays the user.
class LoopPump : public EventPump
{
  public:
    std::function<void()> OnPump;
    void ProcessPendingMessages() override
    {
        QCoreApplication::processEvents();
        if (OnPump)
            OnPump();
    }
};

// Hands each copy to the real copier, then runs AfterCopy (a writer saving again).
class CopierWithAfterCopy : public FileCopier
{
  public:
    LinuxFileCopier Real;
    std::function<void()> AfterCopy;
    CopyError Copy(const QString& source, const QString& target,
                   const std::function<void()>& between) override
    {
        const CopyError result = Real.Copy(source, target, between);
        if (AfterCopy)
            std::exchange(AfterCopy, nullptr)();
        return result;
    }
};

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void save(const QString& path, const QByteArray& content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(content), content.size());
}

// Runs the event loop until done() holds or the time is up.
bool runUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

void runFor(int milliseconds)
{
    runUntil([] { return false; }, milliseconds);
}

class EngineEndToEndTest : public ::testing::Test
{
  protected:
    EngineEndToEndTest()
    {
        root = QDir(dir.path()).filePath(QStringLiteral("Work"));
        destination = QDir(dir.path()).filePath(QStringLiteral("Backup"));
        QDir().mkpath(root);
        QDir().mkpath(destination);
    }
    ~EngineEndToEndTest() override { engine.CloseAllNotifications(); }

    QString at(const QString& name) const { return root + QLatin1Char('/') + name; }
    QString copyOf(const QString& name) const { return destination + QStringLiteral("/Work/") + name; }

    clsBackup& associate(const QString& source, bool folder, bool recursive)
    {
        clsBackup backup;
        backup.SourcePath = source;
        backup.Folder = folder;
        backup.Recursive = recursive;
        backup.Enabled = true;
        backup.KeepBackup = true;
        backup.Versions = 3;
        backup.Volume = QString(2, QChar(0));
        backup.DateLastActivity = backup.DateLastModified = QStringLiteral("Never");
        clsBackup* added = state.Backups.Add(backup, source);
        state.Destinations.Add(destination, source, QString());
        return *added;
    }

    // Sets up the watches as loading does, starts the timer and waits for the
    // first quiet tick, which gives every folder its reference time.
    void startWatching()
    {
        for (const clsBackup& b : state.Backups)
            engine.WatchSourceFolder(b.SourcePath, b.Recursive);
        engine.StartWatching();
        ASSERT_TRUE(runUntil([&] {
            return engine.DetectFolders().Count() > 0 &&
                   !engine.DetectFolders().Item(1)->DetectionDate.isEmpty();
        }));
    }

    QTemporaryDir dir;
    QString root;
    QString destination;
    ProgramState state;
    Options opts;
    colRecent recent{state};
    colNotifiers notifiers{state};
    FakeDrives drives;
    CopierWithAfterCopy copier;
    InotifyNotifier notifier;
    ShortWaiter waiter;
    LoopPump pump;
    RecordingHooks hooks;
    EngineContext context{state, opts, recent, notifiers, drives, copier, notifier, waiter, pump, hooks};
    Engine engine{context};
};

TEST_F(EngineEndToEndTest, FirstSaveCopiesAndSecondKeepsThePreviousVersion)
{
    associate(root, true, false);
    startWatching();

    save(at(QStringLiteral("a.txt")), "one");
    ASSERT_TRUE(runUntil([&] { return contentOf(copyOf(QStringLiteral("a.txt"))) == "one"; }));

    save(at(QStringLiteral("a.txt")), "two");
    ASSERT_TRUE(runUntil([&] {
        return contentOf(copyOf(QStringLiteral("a.txt"))) == "two" &&
               contentOf(copyOf(QStringLiteral("~PrevSave-1/a.txt"))) == "one";
    }));
    EXPECT_FALSE(state.Scanning);
    EXPECT_FALSE(state.WatchStopped);
}

TEST_F(EngineEndToEndTest, EditorStyleSaveThroughATemporaryFileIsBackedUp)
{
    associate(at(QStringLiteral("a.txt")), false, false);
    save(at(QStringLiteral("a.txt")), "one");
    startWatching();

    save(at(QStringLiteral(".a.txt.swp")), "two");
    ASSERT_EQ(std::rename(at(QStringLiteral(".a.txt.swp")).toLocal8Bit().constData(),
                          at(QStringLiteral("a.txt")).toLocal8Bit().constData()),
              0);

    ASSERT_TRUE(runUntil([&] { return contentOf(copyOf(QStringLiteral("a.txt"))) == "two"; }));
}

// With the product's own pacing: the second save lands while the first is
// being processed; the later content must be what the destination holds.
TEST_F(EngineEndToEndTest, TwoSavesThreeTenthsOfASecondApartEndWithTheSecond)
{
    waiter.Divisor = 1;
    associate(root, true, false);
    startWatching();

    save(at(QStringLiteral("a.txt")), "first");
    runFor(300);
    save(at(QStringLiteral("a.txt")), "second");

    ASSERT_TRUE(runUntil([&] { return contentOf(copyOf(QStringLiteral("a.txt"))) == "second"; }));
    runFor(1500);
    EXPECT_EQ(contentOf(copyOf(QStringLiteral("a.txt"))), "second");
}

// The second save comes right after the first copy, within the same second and
// the same processing: it is a new change and is copied too.
TEST_F(EngineEndToEndTest, SaveDuringTheCopyOfTheFirstIsCopiedInTheSameProcessing)
{
    associate(root, true, false);
    startWatching();
    copier.AfterCopy = [&] { save(at(QStringLiteral("a.txt")), "two"); };

    save(at(QStringLiteral("a.txt")), "one");

    ASSERT_TRUE(runUntil([&] {
        return contentOf(copyOf(QStringLiteral("a.txt"))) == "two" &&
               contentOf(copyOf(QStringLiteral("~PrevSave-1/a.txt"))) == "one";
    }));
}

TEST_F(EngineEndToEndTest, FileAssociationLoadedLastKeepsSubFolderBackups)
{
    QDir().mkpath(at(QStringLiteral("sub")));
    save(at(QStringLiteral("notes.txt")), "n");
    associate(root, true, true);
    associate(at(QStringLiteral("notes.txt")), false, false);
    startWatching();

    save(at(QStringLiteral("sub/deep.txt")), "deep");

    ASSERT_TRUE(runUntil([&] { return contentOf(copyOf(QStringLiteral("sub/deep.txt"))) == "deep"; }));
}

TEST_F(EngineEndToEndTest, PauseDuringAScanDoesNotStopWatching)
{
    associate(root, true, false);
    startWatching();
    pump.OnPump = [&] {
        if (state.Scanning && !state.Paused) {
            state.Paused = true;
            state.StopScanning = true;
        }
    };

    save(at(QStringLiteral("a.txt")), "paused");
    ASSERT_TRUE(runUntil([&] { return state.Paused && !state.StopScanning && !state.Scanning; }));
    EXPECT_TRUE(engine.WatchTimerArmed());

    pump.OnPump = nullptr;
    state.Paused = false;
    save(at(QStringLiteral("b.txt")), "resumed");
    ASSERT_TRUE(runUntil([&] { return contentOf(copyOf(QStringLiteral("b.txt"))) == "resumed"; }));
    EXPECT_FALSE(state.WatchStopped);
}

TEST_F(EngineEndToEndTest, ExitDuringAScanSetsWatchStopped)
{
    associate(root, true, false);
    startWatching();
    pump.OnPump = [&] {
        if (state.Scanning && !state.Exiting) {
            state.Exiting = true;
            state.Scanning = false;
            state.StopScanning = true;
        }
    };

    save(at(QStringLiteral("a.txt")), "a");
    ASSERT_TRUE(runUntil([&] { return state.WatchStopped; }));
    EXPECT_FALSE(engine.WatchTimerArmed());

    save(at(QStringLiteral("b.txt")), "b");
    runFor(400);
    EXPECT_FALSE(QFile::exists(copyOf(QStringLiteral("b.txt"))));
}

} // namespace
