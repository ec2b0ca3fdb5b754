// The whole watching path on real folders: the inotify notifier, the watch
// timer on a running event loop, the scan, the file backup and a durable copy.

#include "LiveEngine.h"
#include "engine/Engine.h"
#include "platform/FileNames.h"
#include "support/TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <utility>
#include <vector>

namespace {

// The live rig under short names.
class EngineEndToEndTest : public ::testing::Test
{
  protected:
    QString at(const QString& name) const { return root + QLatin1Char('/') + name; }
    QByteArray copyOf(const QString& name) const
    {
        return ReadFile(destination + QStringLiteral("/Work/") + name);
    }
    void associate(const QString& source, bool folder, bool recursive)
    {
        live.Associate(source, folder, recursive, destination);
    }
    void startWatching() { ASSERT_TRUE(live.Start()); }

    LiveEngine live;
    const QString root = live.Root, destination = live.Backup;
    ProgramState& state = live.State;
    colRecent& recent = live.Recent;
    TellingCopier& copier = live.Copier;
    ShortWaiter& waiter = live.Wait;
    LoopPump& pump = live.Pump;
    Engine& engine = live.Run;
};

// The third save comes right after the second's copy, within the same second and
// the same processing: it is a new change and is copied too.
TEST_F(EngineEndToEndTest, FirstSavePreviousVersionAndASaveDuringTheCopy)
{
    associate(root, true, false);
    startWatching();

    WriteFile(at("a.txt"), "one");
    ASSERT_TRUE(runUntil([&] { return copyOf("a.txt") == "one"; }));

    copier.OnCommit = [&, once = true](const QString&) mutable {
        if (std::exchange(once, false))
            WriteFile(at("a.txt"), "three");
    };
    WriteFile(at("a.txt"), "two");
    ASSERT_TRUE(runUntil([&] { return copyOf("a.txt") == "three" && copyOf("~PrevSave-1/a.txt") == "two"; }));
    EXPECT_FALSE(state.Scanning);
    EXPECT_FALSE(state.WatchStopped);
}

// Linux allows any bytes in a name: a file and a sub-folder whose names are not
// UTF-8 are backed up under the very same bytes, versions too, and logged by name.
TEST_F(EngineEndToEndTest, NamesThatAreNotUtf8AreBackedUpUnderTheSameBytes)
{
    const QByteArray source = QFile::encodeName(root) + '/';
    ASSERT_EQ(::mkdir(source + "d\xff", 0755), 0);
    associate(root, true, true);
    startWatching();

    WriteRawFile(source + "caf\xe9.txt", "one");
    WriteRawFile(source + "d\xff/caf\xe9.txt", "deep");
    const QByteArray copies = QFile::encodeName(destination) + "/Work/";
    ASSERT_TRUE(runUntil([&] { return filesBelow(destination).size() == 2; }));
    WriteRawFile(source + "caf\xe9.txt", "two");
    ASSERT_TRUE(runUntil([&] { return readBytes(copies + "~PrevSave-1/caf\xe9.txt") == "one"; }));
    EXPECT_EQ(readBytes(copies + "caf\xe9.txt"), "two");
    EXPECT_EQ(readBytes(copies + "d\xff/caf\xe9.txt"), "deep");
    EXPECT_EQ(filesBelow(destination), (std::set<QByteArray>{"Work/caf\xe9.txt", "Work/d\xff/caf\xe9.txt",
                                                             "Work/~PrevSave-1/caf\xe9.txt"}));
    int successes = 0;
    for (const clsRecent& r : recent)
        successes +=
            r.SourcePath == FileNames::Decode(source + "caf\xe9.txt") && r.Message.startsWith("Success");
    EXPECT_EQ(successes, 2);
}

// Only exit stops the watch timer: a pause during a scan leaves it running.
TEST_F(EngineEndToEndTest, PauseDuringAScanKeepsWatchingAndExitStopsIt)
{
    associate(root, true, false);
    startWatching();
    pump.OnPump = [&] {
        if (state.Scanning && !state.Paused) {
            state.Paused = true;
            state.StopScanning = true;
        }
    };
    WriteFile(at("a.txt"), "paused");
    ASSERT_TRUE(runUntil([&] { return state.Paused && !state.StopScanning && !state.Scanning; }));
    EXPECT_TRUE(engine.WatchTimerArmed());
    EXPECT_FALSE(QFile::exists(destination + QStringLiteral("/Work/a.txt"))); // stopped in the wait

    pump.OnPump = nullptr;
    state.Paused = false;
    WriteFile(at("b.txt"), "resumed");
    ASSERT_TRUE(runUntil([&] { return copyOf("b.txt") == "resumed"; }));
    EXPECT_FALSE(state.WatchStopped);

    pump.OnPump = [&] {
        if (state.Scanning && !state.Exiting) {
            state.Exiting = true;
            state.Scanning = false;
            state.StopScanning = true;
        }
    };
    WriteFile(at("c.txt"), "c");
    ASSERT_TRUE(runUntil([&] { return state.WatchStopped; }));
    EXPECT_FALSE(engine.WatchTimerArmed());
    EXPECT_FALSE(QFile::exists(destination + QStringLiteral("/Work/c.txt")));
}

// Idle, the engine does not tick at all; a watched folder that vanishes is looked
// for about once a second, and a save in it once it is back is backed up.
TEST_F(EngineEndToEndTest, IdleEngineSleepsAndAVanishedFolderIsWatchedAgain)
{
    associate(root, true, false);
    startWatching();
    int ticks = 0;
    engine.SetTickHook([&] { ++ticks; });
    ASSERT_TRUE(runUntil([&] { return engine.NextTickMs() == -1; }));
    const int settled = ticks;
    runUntil([] { return false; }, 1000);
    EXPECT_EQ(ticks, settled);

    ASSERT_TRUE(QDir(root).removeRecursively());
    ASSERT_TRUE(runUntil([&] { return engine.NextTickMs() == Engine::VanishedLookMs; }));
    QDir().mkpath(root);
    WriteFile(at("back.txt"), "back");
    ASSERT_TRUE(runUntil([&] { return copyOf("back.txt") == "back"; }));
    EXPECT_TRUE(runUntil([&] { return engine.NextTickMs() == -1; }));
}

// With the product's pacing: the wait for the writer ends when it has closed
// the file, so a save is copied once, whole, and well before the old fixed wait.
class WriterWaitTest : public EngineEndToEndTest
{
  protected:
    WriterWaitTest()
    {
        waiter.Divisor = 1;
        copier.OnCommit = [this](const QString& target) {
            if (!target.contains(QStringLiteral("~PrevSave")))
                commits.push_back({QFileInfo(target).fileName(), ReadFile(target), ticks});
        };
        engine.SetTickHook([this] { ++ticks; });
    }
    struct Commit
    {
        QString Name;
        QByteArray Content;
        int Tick;
    };
    std::vector<Commit> commits;
    int ticks = 0;
};

TEST_F(WriterWaitTest, SavesAreCopiedOnceSoonAfterTheWriterCloses)
{
    associate(root, true, false);
    WriteFile(at("b.txt"), "old");
    {
        QFile old(at("b.txt")); // older than the reference, so not a change
        ASSERT_TRUE(old.open(QIODevice::ReadWrite));
        old.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime);
    }
    startWatching();

    QElapsedTimer clock;
    clock.start();
    WriteFile(at("a.txt"), "saved");
    ASSERT_TRUE(runUntil([&] { return !commits.empty(); }));
    EXPECT_LT(clock.elapsed(), 300);

    // Ten chunks 50 ms apart, then the close, from another thread: the engine
    // runs on this one.
    std::thread writer([path = at("c.txt")] {
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly))
            return;
        for (int i = 0; i < 10; ++i) {
            out.write(QByteArray(1000, char('0' + i)));
            out.flush();
            QThread::msleep(50);
        }
    });
    runUntil([] { return false; }, 700);
    writer.join();
    // Editor-style: a new file renamed over the old one.
    WriteFile(at(".b.txt.new"), "new");
    ASSERT_EQ(std::rename(at(".b.txt.new").toLocal8Bit().constData(), at("b.txt").toLocal8Bit().constData()),
              0);
    runUntil([] { return false; }, 1000);

    ASSERT_EQ(commits.size(), 3u);
    EXPECT_EQ(commits[0].Name, QStringLiteral("a.txt"));
    std::map<QString, QByteArray> copied;
    for (const Commit& commit : commits)
        EXPECT_TRUE(copied.emplace(commit.Name, commit.Content).second) << commit.Name.toStdString();
    EXPECT_EQ(copied[QStringLiteral("c.txt")], ReadFile(at("c.txt")));
    EXPECT_EQ(copied[QStringLiteral("b.txt")], "new");
}

TEST_F(WriterWaitTest, FileHeldOpenIsCopiedAfterTheFullWait)
{
    associate(root, true, false);
    startWatching();
    QFile log(at("log.txt"));
    ASSERT_TRUE(log.open(QIODevice::WriteOnly));
    QElapsedTimer clock;
    clock.start();
    log.write("line\n");
    log.flush();
    ASSERT_TRUE(runUntil([&] { return !commits.empty(); }, 3000));
    EXPECT_GE(clock.elapsed(), ChangedFolderScan::TopFolderWaitMs);
    EXPECT_EQ(commits.front().Content, "line\n");
}

TEST_F(WriterWaitTest, BurstAcrossFoldersIsHandledInOneTick)
{
    const QStringList folders{at("x"), at("y"), at("z")};
    for (const QString& folder : folders) {
        QDir().mkpath(folder);
        associate(folder, true, false);
    }
    startWatching();
    for (const QString& folder : folders)
        WriteFile(folder + QStringLiteral("/f.txt"), "burst");
    ASSERT_TRUE(runUntil([&] { return commits.size() == 3; }));
    EXPECT_EQ(commits.front().Tick, commits.back().Tick);
}

} // namespace
