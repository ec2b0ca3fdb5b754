// The whole watching path on real folders: the inotify notifier, the watch
// timer on a running event loop, the scan, the file backup and a durable copy.

#include "support/EngineFakes.h"

#include "LiveEngine.h"
#include "core/DateText.h"
#include "engine/Engine.h"
#include "platform/FileNames.h"
#include "platform/InotifyNotifier.h"
#include "platform/LinuxFileCopier.h"
#include "platform/LocalFiles.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <cstdio>
#include <dirent.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

// Hands each copy to the real copier, then runs AfterCopy (a writer saving again).
class CopierWithAfterCopy : public FileCopier
{
  public:
    LinuxFileCopier Real;
    std::function<void()> AfterCopy;
    FileResult Stage(const QString& source, const QString& target, const std::function<bool()>& keepGoing,
                     QString& staged) override
    {
        return Real.Stage(source, target, keepGoing, staged);
    }
    std::function<void(const QString& target)> OnCommit;
    FileResult Commit(const QString& staged, const QString& target,
                      const std::function<bool()>& keepGoing) override
    {
        const FileResult result = Real.Commit(staged, target, keepGoing);
        if (OnCommit)
            OnCommit(target);
        if (AfterCopy)
            std::exchange(AfterCopy, nullptr)();
        return result;
    }
    void Discard(const QString& staged) override { Real.Discard(staged); }
    FileSystem& Files() override { return Real.Files(); }
};

class EngineEndToEndTest : public ::testing::Test
{
  protected:
    EngineEndToEndTest()
    {
        QDir().mkpath(root);
        QDir().mkpath(destination);
    }
    ~EngineEndToEndTest() override { engine.CloseAllNotifications(); }

    QString at(const QString& name) const { return root + QLatin1Char('/') + name; }
    QByteArray copyOf(const QString& name) const
    {
        return ReadFile(destination + QStringLiteral("/Work/") + name);
    }

    void associate(const QString& source, bool folder, bool recursive)
    {
        clsBackup backup;
        backup.SourcePath = source;
        backup.Folder = folder;
        backup.Recursive = recursive;
        backup.Enabled = backup.KeepBackup = true;
        backup.Versions = 3;
        backup.Volume = QString(2, QChar(0));
        backup.DateLastActivity = backup.DateLastModified = QStringLiteral("Never");
        state.Backups.Add(backup, source);
        state.Destinations.Add(destination, source, QString());
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
    QString root = dir.filePath(QStringLiteral("Work"));
    QString destination = dir.filePath(QStringLiteral("Backup"));
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

// The third save comes right after the second's copy, within the same second and
// the same processing: it is a new change and is copied too.
TEST_F(EngineEndToEndTest, FirstSavePreviousVersionAndASaveDuringTheCopy)
{
    associate(root, true, false);
    startWatching();

    WriteFile(at("a.txt"), "one");
    ASSERT_TRUE(runUntil([&] { return copyOf("a.txt") == "one"; }));

    copier.AfterCopy = [&] { WriteFile(at("a.txt"), "three"); };
    WriteFile(at("a.txt"), "two");
    ASSERT_TRUE(runUntil([&] { return copyOf("a.txt") == "three" && copyOf("~PrevSave-1/a.txt") == "two"; }));
    EXPECT_FALSE(state.Scanning);
    EXPECT_FALSE(state.WatchStopped);
}

TEST_F(EngineEndToEndTest, EditorStyleSaveThroughATemporaryFileIsBackedUp)
{
    associate(at("a.txt"), false, false);
    WriteFile(at("a.txt"), "one");
    startWatching();

    WriteFile(at(".a.txt.swp"), "two");
    ASSERT_EQ(std::rename(at(".a.txt.swp").toLocal8Bit().constData(), at("a.txt").toLocal8Bit().constData()),
              0);
    ASSERT_TRUE(runUntil([&] { return copyOf("a.txt") == "two"; }));
}

// With the product's own pacing: the second save lands while the first is
// being processed; the later content must be what the destination holds.
TEST_F(EngineEndToEndTest, TwoSavesThreeTenthsOfASecondApartEndWithTheSecond)
{
    waiter.Divisor = 1;
    associate(root, true, false);
    startWatching();

    WriteFile(at("a.txt"), "first");
    runUntil([] { return false; }, 300);
    WriteFile(at("a.txt"), "second");
    ASSERT_TRUE(runUntil([&] { return copyOf("a.txt") == "second"; }));
    runUntil([] { return false; }, 1500);
    EXPECT_EQ(copyOf("a.txt"), "second");
}

TEST_F(EngineEndToEndTest, FileAssociationLoadedLastKeepsSubFolderBackups)
{
    QDir().mkpath(at("sub"));
    WriteFile(at("notes.txt"), "n");
    associate(root, true, true);
    associate(at("notes.txt"), false, false);
    startWatching();

    WriteFile(at("sub/deep.txt"), "deep");
    ASSERT_TRUE(runUntil([&] { return copyOf("sub/deep.txt") == "deep"; }));
}

// A name is bytes, not necessarily UTF-8; this helper never decodes one.
std::set<QByteArray> namesIn(const QByteArray& folder)
{
    std::set<QByteArray> names;
    if (DIR* dir = ::opendir(folder.constData())) {
        while (const dirent* entry = ::readdir(dir))
            names.insert(entry->d_name);
        ::closedir(dir);
    }
    names.erase(".");
    names.erase("..");
    return names;
}

// Linux allows any bytes in a name: a file and a sub-folder whose names are not
// UTF-8 are backed up under the very same bytes, versions too, and logged by name.
TEST_F(EngineEndToEndTest, NamesThatAreNotUtf8AreBackedUpUnderTheSameBytes)
{
    const QByteArray file("caf\xe9.txt"), folder("d\xff");
    const QByteArray source = QFile::encodeName(root) + '/';
    const QByteArray copies = QFile::encodeName(destination) + "/Work/";
    ASSERT_EQ(::mkdir(source + folder, 0755), 0);
    // QTemporaryDir cannot remove what Qt cannot list.
    const auto cleanUp = qScopeGuard([&] { LocalFiles::RemoveTree(dir.path()); });
    associate(root, true, true);
    startWatching();

    WriteRawFile(source + file, "one");
    WriteRawFile(source + folder + '/' + file, "deep");
    ASSERT_TRUE(runUntil([&] {
        return readBytes(copies + file) == "one" && readBytes(copies + folder + '/' + file) == "deep";
    }));
    WriteRawFile(source + file, "two");
    ASSERT_TRUE(runUntil([&] { return readBytes(copies + "~PrevSave-1/" + file) == "one"; }));
    EXPECT_EQ(readBytes(copies + file), "two");
    EXPECT_EQ(namesIn(copies), (std::set<QByteArray>{file, folder, "~PrevSave-1"}));
    EXPECT_EQ(namesIn(copies + folder), std::set<QByteArray>{file});

    const QString logged = FileNames::Decode(source + file);
    int successes = 0;
    for (const clsRecent& r : recent)
        successes += r.SourcePath == logged && r.Message.startsWith(QStringLiteral("Success"));
    EXPECT_EQ(successes, 2);
    EXPECT_TRUE(FileNames::ForDisplay(logged).endsWith(QString::fromUtf8("caf\xef\xbf\xbd.txt")));
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

    WriteFile(at("d.txt"), "d");
    runUntil([] { return false; }, 400);
    EXPECT_FALSE(QFile::exists(destination + QStringLiteral("/Work/d.txt")));
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
