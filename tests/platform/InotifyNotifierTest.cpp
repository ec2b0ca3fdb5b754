#include "platform/InotifyNotifier.h"

#include "support/TestFiles.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <set>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kSignalWaitMs = 3000; // generous: a slow CI machine still passes
constexpr int kQuietWaitMs = 300;
constexpr auto Signalled = ChangeNotifier::WaitResult::Signalled;
constexpr auto TimedOut = ChangeNotifier::WaitResult::TimedOut;

int OpenForWriting(const QString& path)
{
    return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT, 0644);
}

struct Scratch
{
    QTemporaryDir Root;
    QString Watched = Root.path() + "/watched";
    QString Outside = Root.path() + "/outside";
    Scratch() { QDir().mkpath(Watched), QDir().mkpath(Outside); }
};

ChangeNotifier::WaitResult AfterChange(InotifyNotifier& notifier, int handle,
                                       const std::function<void()>& change, int milliseconds = kSignalWaitMs)
{
    notifier.Rearm(handle);
    change();
    return notifier.Wait(handle, milliseconds);
}

TEST(InotifyNotifier, EveryKindOfSaveSignalsAndStaysSignalledUntilRearmedAndWaitWakesOnIt)
{
    Scratch s;
    WriteFile(s.Watched + "/old.txt", "x");
    WriteFile(s.Outside + "/saved.tmp", "x");
    const int written = OpenForWriting(s.Watched + "/open.txt");
    ASSERT_EQ(::write(written, "abc", 3), 3);
    int stillOpen = -1;
    InotifyNotifier notifier;
    const int h = notifier.Open(s.Watched, false);
    const std::pair<const char*, std::function<void()>> saves[] = {
        {"created", [&] { WriteFile(s.Watched + "/new.txt", "x"); }},
        {"written, still open",
         [&] {
             stillOpen = OpenForWriting(s.Watched + "/old.txt");
             ASSERT_EQ(::write(stillOpen, "more", 4), 4);
         }},
        {"closed after writing", [&] { ::close(written); }},
        // an editor's save: written elsewhere, renamed over the name
        {"renamed into the folder",
         [&] { ASSERT_TRUE(QFile::rename(s.Outside + "/saved.tmp", s.Watched + "/doc.txt")); }},
        {"given a new modification time", [&] { Touch(s.Watched + "/new.txt", -100); }},
    };
    for (const auto& [name, save] : saves) {
        SCOPED_TRACE(name);
        EXPECT_EQ(notifier.Wait(h, 0), TimedOut);
        save();
        EXPECT_EQ(notifier.Wait(h, kSignalWaitMs), Signalled);
        EXPECT_EQ(notifier.Wait(h, 0), Signalled);
        notifier.Rearm(h);
    }
    ::close(stillOpen);

    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ::close(OpenForWriting(s.Watched + "/late.txt"));
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(notifier.Wait(h, 10000), Signalled);
    EXPECT_LT(clock.elapsed(), 5000);
    writer.join();

    // A change not yet read when re-arming is not lost.
    EXPECT_TRUE(notifier.Rearm(h));
    WriteFile(s.Watched + "/b.txt", "x");
    EXPECT_TRUE(notifier.Rearm(h));
    EXPECT_EQ(notifier.Wait(h, 0), Signalled);
}

TEST(InotifyNotifier, SubtreeStaysWatchedWhileAnyHandleAsksForItAndUnknownHandlesOrFoldersFail)
{
    Scratch s;
    QDir().mkpath(s.Watched + "/sub");
    WriteFile(s.Watched + "/file.txt", "x");
    InotifyNotifier notifier;
    EXPECT_EQ(notifier.Open(s.Root.path() + "/missing", false), ChangeNotifier::NotOpened);
    EXPECT_EQ(notifier.Open(s.Watched + "/file.txt", false), ChangeNotifier::NotOpened);
    EXPECT_EQ(notifier.Wait(42, 0), ChangeNotifier::WaitResult::Failed);
    EXPECT_FALSE(notifier.Rearm(42));
    const int first = notifier.Open(s.Watched + "/", false);
    const int second = notifier.Open(s.Watched, false);
    const int tree = notifier.Open(s.Watched, true);
    const int inner = notifier.Open(s.Watched + "/sub", false);
    EXPECT_EQ(notifier.WatchCount(), 2); // the kernel shares one descriptor per folder

    WriteFile(s.Watched + "/a.txt", "x");
    EXPECT_EQ(notifier.Wait(first, kSignalWaitMs), Signalled);
    EXPECT_EQ(notifier.Wait(second, 0), Signalled);
    EXPECT_EQ(notifier.Wait(tree, 0), Signalled);
    EXPECT_EQ(notifier.Wait(inner, 0), TimedOut);

    notifier.Close(first);
    notifier.Close(inner);
    EXPECT_EQ(notifier.Wait(first, 0), ChangeNotifier::WaitResult::Failed);
    EXPECT_EQ(AfterChange(notifier, second, [&] { WriteFile(s.Watched + "/a.txt", "x"); }), Signalled);
    // The sub-folder's watch belongs to the subtree handle alone now.
    notifier.Close(second);
    EXPECT_EQ(AfterChange(notifier, tree, [&] { WriteFile(s.Watched + "/sub/b.txt", "x"); }), Signalled);
    notifier.Close(tree);
    EXPECT_EQ(notifier.WatchCount(), 0);
    EXPECT_TRUE(notifier.TakeWarnings().isEmpty());
}

TEST(InotifyNotifier, SubtreeFollowsFoldersCreatedMovedAndRenamedButNotLinks)
{
    Scratch s;
    QDir().mkpath(s.Watched + "/old/deeper");
    QDir().mkpath(s.Outside + "/moved/inner");
    QDir().mkpath(s.Outside + "/target");
    ASSERT_TRUE(QFile::link(s.Outside + "/target", s.Watched + "/early-link"));
    InotifyNotifier notifier;
    const int flat = notifier.Open(s.Watched, false);
    const int tree = notifier.Open(s.Watched, true);
    EXPECT_EQ(notifier.WatchCount(), 3);
    const auto signals = [&](const std::function<void()>& change, int ms = kSignalWaitMs) {
        return AfterChange(notifier, tree, change, ms);
    };
    EXPECT_EQ(signals([&] { WriteFile(s.Watched + "/old/deeper/a.txt", "x"); }), Signalled);
    EXPECT_EQ(notifier.Wait(flat, kQuietWaitMs), TimedOut) << "only the subtree handle looks deeper";

    EXPECT_EQ(signals([&] { QDir().mkpath(s.Watched + "/new/a/b"); }), Signalled);
    EXPECT_EQ(signals([&] { WriteFile(s.Watched + "/new/a/b/c.txt", "x"); }), Signalled);
    EXPECT_EQ(signals([&] { QDir().rename(s.Outside + "/moved", s.Watched + "/moved"); }), Signalled);
    EXPECT_EQ(signals([&] { WriteFile(s.Watched + "/moved/inner/d.txt", "x"); }), Signalled);
    signals([&] { QDir().rename(s.Watched + "/old", s.Watched + "/renamed"); });
    EXPECT_EQ(signals([&] { WriteFile(s.Watched + "/renamed/deeper/e.txt", "x"); }), Signalled);
    // Moved out of the tree, or only linked to: not watched.
    signals([&] { QDir().rename(s.Watched + "/renamed", s.Outside + "/gone"); }, kQuietWaitMs);
    EXPECT_EQ(signals([&] { WriteFile(s.Outside + "/gone/deeper/f.txt", "x"); }, kQuietWaitMs), TimedOut);
    signals([&] { ASSERT_TRUE(QFile::link(s.Outside + "/target", s.Watched + "/late-link")); }, kQuietWaitMs);
    EXPECT_EQ(signals([&] { WriteFile(s.Outside + "/target/a.txt", "x"); }, kQuietWaitMs), TimedOut);
}

// A folder reached only by a later slice may have changed before its watch was in place.
TEST(InotifyNotifier, LargeTreeIsWatchedInSlicesAndSaysWhichFoldersChangedAndWhichAreNew)
{
    Scratch s;
    constexpr int Folders = 1500; // more than the first slice reaches
    for (int i = 0; i < Folders; ++i)
        ASSERT_TRUE(QDir().mkpath(s.Watched + "/f" + QString::number(i) + "/inner"));
    InotifyNotifier notifier;
    const int flat = notifier.Open(s.Watched, false);
    const int h = notifier.Open(s.Watched, true);
    EXPECT_FALSE(notifier.WatchesInPlace(h));
    EXPECT_FALSE(notifier.ChangesSinceRearm(h).Known) << "nothing is known of the time before the watch";
    notifier.Rearm(h);
    WriteFile(s.Watched + "/f7/inner/unwatched.txt", "x"); // inner folders are reached last
    EXPECT_TRUE(notifier.ChangesSinceRearm(h).Known);

    while (notifier.ContinueSetup(1)) {
    }
    EXPECT_EQ(notifier.WatchCount(), 2 * Folders + 1);
    EXPECT_EQ(notifier.Wait(h, 0), Signalled);
    EXPECT_EQ(notifier.ChangesSinceRearm(h).Changed, std::set<QString>{s.Watched + "/f7/inner"});
    EXPECT_FALSE(notifier.ChangesSinceRearm(flat).Known) << "a handle without its subtree cannot tell";
    EXPECT_FALSE(notifier.WatchesInPlace(h)) << "until that signal is served";
    notifier.Rearm(h);
    EXPECT_TRUE(notifier.WatchesInPlace(h));

    WriteFile(s.Watched + "/f1499/inner/a.txt", "x");
    WriteFile(s.Watched + "/f3/y.txt", "x");
    QDir().mkpath(s.Watched + "/f3/new/deeper");
    ASSERT_EQ(notifier.Wait(h, kSignalWaitMs), Signalled);
    notifier.Wait(h, 0); // a second poll reads the queue again
    const FolderChanges changes = notifier.ChangesSinceRearm(h);
    EXPECT_EQ(changes.Changed, (std::set<QString>{s.Watched + "/f1499/inner", s.Watched + "/f3"}));
    EXPECT_EQ(changes.Created, std::set<QString>{s.Watched + "/f3/new"});
    EXPECT_EQ(AfterChange(notifier, h, [&] { WriteFile(s.Watched + "/f3/new/deeper/z.txt", "x"); }),
              Signalled);
    EXPECT_EQ(notifier.ChangesSinceRearm(h).Changed, std::set<QString>{s.Watched + "/f3/new/deeper"});
}

TEST(InotifyNotifier, VanishedFolderIsWatchedAgainWhenItComesBack)
{
    for (const auto& [subtree, moveAway] : {std::pair{false, false}, {true, false}, {false, true}}) {
        SCOPED_TRACE(testing::Message() << "subtree " << subtree << ", moved away " << moveAway);
        Scratch s;
        QDir().mkpath(s.Watched + "/sub");
        WriteFile(s.Watched + "/sub/a.txt", "x");
        InotifyNotifier notifier;
        const int h = notifier.Open(s.Watched, subtree);
        const QString away = s.Outside + "/away";
        ASSERT_TRUE(moveAway ? QDir().rename(s.Watched, away) : QDir(s.Watched).removeRecursively());
        notifier.Wait(h, kQuietWaitMs);
        notifier.Rearm(h);
        EXPECT_EQ(notifier.WatchCount(), 0);
        if (moveAway) { // a write to the folder that moved does not count
            WriteFile(away + "/b.txt", "x");
            EXPECT_EQ(notifier.Wait(h, kQuietWaitMs), TimedOut);
        }
        EXPECT_EQ(AfterChange(notifier, h, [&] { QDir().mkpath(s.Watched + "/sub"); }), Signalled);
        // What it held on its return was written unwatched: not in place until served.
        EXPECT_FALSE(notifier.WatchesInPlace(h));
        EXPECT_EQ(AfterChange(notifier, h, [&] { WriteFile(s.Watched + "/c.txt", "x"); }), Signalled);
    }
}

TEST(InotifyNotifier, QueueOverflowSignalsEveryHandle)
{
    Scratch s;
    InotifyNotifier notifier;
    const int busy = notifier.Open(s.Watched, false);
    const int quiet = notifier.Open(s.Outside, true);
    WriteFile(s.Watched + "/a", "x");
    WriteFile(s.Watched + "/b", "x");
    ASSERT_EQ(notifier.Wait(busy, kSignalWaitMs), Signalled);
    notifier.Rearm(busy);

    // Alternating names, so the kernel cannot merge consecutive events.
    const int queued = ReadFile("/proc/sys/fs/inotify/max_queued_events").trimmed().toInt();
    const QByteArray names[2] = {QFile::encodeName(s.Watched + "/a"), QFile::encodeName(s.Watched + "/b")};
    for (int i = 0; i < qMax(queued, 16384) + 1000; ++i) {
        const timespec times[2] = {{i, 0}, {i, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, names[i % 2].constData(), times, 0), 0);
    }
    // Its creation event is lost in the full queue; the folder must be watched all the same.
    ASSERT_TRUE(QDir().mkpath(s.Outside + "/created-meanwhile"));
    EXPECT_EQ(notifier.Wait(quiet, 0), Signalled);
    EXPECT_EQ(notifier.Wait(busy, 0), Signalled);

    notifier.Rearm(quiet);
    EXPECT_EQ(notifier.Wait(quiet, kQuietWaitMs), TimedOut);
    EXPECT_EQ(AfterChange(notifier, quiet, [&] { WriteFile(s.Outside + "/created-meanwhile/c", "x"); }),
              Signalled);
}

// A full watch table after WatchesLeft watches; lowering the real limit would affect the whole machine.
class LimitedNotifier : public InotifyNotifier
{
  public:
    using InotifyNotifier::InotifyNotifier;
    int WatchesLeft = 0;
    bool FailInstance = false;

  protected:
    int CreateInstance() override
    {
        if (FailInstance)
            errno = EMFILE;
        return FailInstance ? -1 : InotifyNotifier::CreateInstance();
    }
    int AddWatch(int fd, const QByteArray& path, quint32 mask) override
    {
        if (WatchesLeft <= 0) {
            errno = ENOSPC;
            return -1;
        }
        const int wd = InotifyNotifier::AddWatch(fd, path, mask);
        WatchesLeft -= wd >= 0;
        return wd;
    }
};

TEST(InotifyNotifier, FullTablesAreReportedOnce)
{
    Scratch s;
    for (const char* sub : {"/a", "/b", "/c", "/d"})
        QDir().mkpath(s.Watched + sub);
    QStringList seen;
    LimitedNotifier notifier([&](const QString& message) { seen << message; });
    notifier.WatchesLeft = 2;
    const int partial = notifier.Open(s.Watched, true);
    EXPECT_GT(partial, 0) << "the folder itself is watched, only some sub-folders are not";
    EXPECT_EQ(notifier.Open(s.Outside, false), ChangeNotifier::NotOpened);
    EXPECT_EQ(notifier.Open(s.Outside, true), ChangeNotifier::NotOpened);
    ASSERT_EQ(seen, QStringList{InotifyNotifier::WatchLimitMessage()});
    EXPECT_TRUE(seen.first().contains("/proc/sys/fs/inotify/max_user_watches")) << seen.first().toStdString();
    EXPECT_TRUE(notifier.TakeWarnings().isEmpty());
    EXPECT_EQ(AfterChange(notifier, partial, [&] { WriteFile(s.Watched + "/top.txt", "x"); }), Signalled);

    // Without a sink the warning waits to be taken, once.
    LimitedNotifier noInstance;
    noInstance.FailInstance = true;
    EXPECT_EQ(noInstance.Open(s.Watched, false), ChangeNotifier::NotOpened);
    EXPECT_EQ(noInstance.Open(s.Outside, false), ChangeNotifier::NotOpened);
    const QStringList warnings = noInstance.TakeWarnings();
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings.first().contains("/proc/sys/fs/inotify/max_user_instances"));
    EXPECT_TRUE(noInstance.TakeWarnings().isEmpty());
}

// Instances run out at 128 a user. A round of polls reads the queue once: no later poll may miss a change.
TEST(InotifyNotifier, OneInstanceServesManyFoldersAndPollingRoundsNeverMissAChange)
{
    Scratch s;
    InotifyNotifier notifier;
    std::vector<int> handles;
    for (int i = 0; i < 300; ++i) {
        const QString folder = s.Watched + "/f" + QString::number(i);
        QDir().mkpath(folder);
        handles.push_back(notifier.Open(folder, false));
        ASSERT_GT(handles.back(), 0) << i;
    }
    const int first = handles.front(), last = handles.back();
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(notifier.Wait(first, 0), TimedOut);
        EXPECT_EQ(notifier.Wait(last, 0), TimedOut);
    }
    WriteFile(s.Watched + "/f299/a.txt", "x");
    notifier.Wait(first, 0);
    notifier.Wait(last, 0); // may or may not see it yet: same round
    EXPECT_EQ(notifier.Wait(last, 0), Signalled);
    EXPECT_EQ(notifier.Wait(first, 0), TimedOut);
}

} // namespace
