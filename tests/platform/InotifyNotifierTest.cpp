#include "platform/InotifyNotifier.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kSignalWaitMs = 3000; // generous: a slow CI machine still passes
constexpr int kQuietWaitMs = 300;

void WriteFile(const QString& path, const QByteArray& data = "x")
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append)) << path.toStdString();
    ASSERT_EQ(file.write(data), data.size());
}

void SetModified(const QString& path, time_t seconds)
{
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

// A folder to watch, inside a private temporary folder that also holds
// places outside the watch.
struct Scratch
{
    QTemporaryDir Root;
    QString Watched = Root.path() + "/watched";
    QString Outside = Root.path() + "/outside";
    Scratch()
    {
        QDir().mkpath(Watched);
        QDir().mkpath(Outside);
    }
};

// Sets up the folder before the watch opens, then changes it once the watch is on.
struct ChangeCase
{
    const char* Name;
    std::function<void(const Scratch&)> Before;
    std::function<void(const Scratch&)> Change;
};

void PrintTo(const ChangeCase& row, std::ostream* out)
{
    *out << row.Name;
}

class NotifierSignals : public ::testing::TestWithParam<ChangeCase>
{
};

TEST_P(NotifierSignals, ChangeSignalsAndNothingElseDoes)
{
    Scratch s;
    int keptOpen = -1;
    const ChangeCase& row = GetParam();
    if (row.Before)
        row.Before(s);
    if (QString(row.Name) == "close after writing") {
        // Written before the watch opened; only the close comes afterwards.
        keptOpen = ::open(QFile::encodeName(s.Watched + "/open.txt").constData(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(keptOpen, 0);
        ASSERT_EQ(::write(keptOpen, "abc", 3), 3);
    }
    InotifyNotifier notifier;
    const int h = notifier.Open(s.Watched, false);
    ASSERT_GT(h, 0);
    EXPECT_EQ(notifier.Wait(h, 0), ChangeNotifier::TimedOut);
    if (keptOpen >= 0)
        ::close(keptOpen);
    if (row.Change)
        row.Change(s);
    EXPECT_EQ(notifier.Wait(h, kSignalWaitMs), ChangeNotifier::Signalled);
    // Stays signalled until re-armed.
    EXPECT_EQ(notifier.Wait(h, 0), ChangeNotifier::Signalled);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, NotifierSignals,
    ::testing::Values(
        ChangeCase{"created", nullptr, [](const Scratch& s) { WriteFile(s.Watched + "/new.txt"); }},
        ChangeCase{"written", [](const Scratch& s) { WriteFile(s.Watched + "/old.txt"); },
                   [](const Scratch& s) {
                       // A write without close: editors that keep the file open.
                       const int fd = ::open(QFile::encodeName(s.Watched + "/old.txt").constData(), O_WRONLY);
                       ASSERT_GE(fd, 0);
                       ASSERT_EQ(::write(fd, "more", 4), 4);
                       ::close(fd);
                   }},
        ChangeCase{"close after writing", nullptr, nullptr},
        ChangeCase{"renamed into the folder", [](const Scratch& s) { WriteFile(s.Outside + "/saved.tmp"); },
                   [](const Scratch& s) {
                       ASSERT_TRUE(QFile::rename(s.Outside + "/saved.tmp", s.Watched + "/doc.txt"));
                   }},
        ChangeCase{"given a new modification time",
                   [](const Scratch& s) { WriteFile(s.Watched + "/old.txt"); },
                   [](const Scratch& s) { SetModified(s.Watched + "/old.txt", 1000000000); }}),
    [](const ::testing::TestParamInfo<ChangeCase>& info) {
        std::string name;
        for (char c : std::string(info.param.Name))
            if (std::isalnum(static_cast<unsigned char>(c)))
                name += c;
        return name;
    });

TEST(InotifyNotifier, RearmForgetsOnlyWhatWasSeen)
{
    Scratch s;
    InotifyNotifier notifier;
    const int h = notifier.Open(s.Watched, false);
    ASSERT_GT(h, 0);

    WriteFile(s.Watched + "/a.txt");
    ASSERT_EQ(notifier.Wait(h, kSignalWaitMs), ChangeNotifier::Signalled);
    EXPECT_TRUE(notifier.Rearm(h));
    EXPECT_EQ(notifier.Wait(h, kQuietWaitMs), ChangeNotifier::TimedOut);

    // A change after the re-arm signals again.
    WriteFile(s.Watched + "/a.txt");
    EXPECT_EQ(notifier.Wait(h, kSignalWaitMs), ChangeNotifier::Signalled);

    // A change not yet read when re-arming is not lost.
    EXPECT_TRUE(notifier.Rearm(h));
    WriteFile(s.Watched + "/b.txt");
    EXPECT_TRUE(notifier.Rearm(h));
    EXPECT_EQ(notifier.Wait(h, 0), ChangeNotifier::Signalled);
}

TEST(InotifyNotifier, PollingRoundsNeverMissAChange)
{
    // A round of polls reads the queue once; a handle polled again in the same
    // round, or in a later one, must see changes made since.
    Scratch s;
    InotifyNotifier notifier;
    const int a = notifier.Open(s.Watched, false);
    const int b = notifier.Open(s.Outside, false);
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(notifier.Wait(a, 0), ChangeNotifier::TimedOut);
        EXPECT_EQ(notifier.Wait(b, 0), ChangeNotifier::TimedOut);
    }
    WriteFile(s.Outside + "/x.txt");
    notifier.Wait(a, 0);
    notifier.Wait(b, 0); // may or may not see it yet: same round
    EXPECT_EQ(notifier.Wait(b, 0), ChangeNotifier::Signalled);
    EXPECT_EQ(notifier.Wait(a, 0), ChangeNotifier::TimedOut);
}

TEST(InotifyNotifier, WaitWakesAsSoonAsTheFolderChanges)
{
    Scratch s;
    InotifyNotifier notifier;
    const int h = notifier.Open(s.Watched, false);
    ASSERT_GT(h, 0);

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(notifier.Wait(h, 150), ChangeNotifier::TimedOut);
    EXPECT_GE(clock.elapsed(), 150);

    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        QFile file(s.Watched + "/late.txt");
        if (file.open(QIODevice::WriteOnly))
            file.write("x");
    });
    clock.restart();
    EXPECT_EQ(notifier.Wait(h, 10000), ChangeNotifier::Signalled);
    EXPECT_LT(clock.elapsed(), 5000);
    writer.join();
}

TEST(InotifyNotifier, UnknownHandlesAndMissingFoldersFail)
{
    Scratch s;
    WriteFile(s.Watched + "/file.txt");
    InotifyNotifier notifier;
    EXPECT_EQ(notifier.Open(s.Root.path() + "/missing", false), ChangeNotifier::Failed);
    EXPECT_EQ(notifier.Open(s.Watched + "/file.txt", false), ChangeNotifier::Failed);
    EXPECT_EQ(notifier.Open(QString(), true), ChangeNotifier::Failed);
    EXPECT_EQ(notifier.Wait(42, 0), ChangeNotifier::Failed);
    EXPECT_FALSE(notifier.Rearm(42));

    const int h = notifier.Open(s.Watched + "/", false);
    ASSERT_GT(h, 0);
    notifier.Close(h);
    EXPECT_EQ(notifier.Wait(h, 0), ChangeNotifier::Failed);
    EXPECT_EQ(notifier.WatchCount(), 0);
    EXPECT_TRUE(notifier.TakeWarnings().isEmpty());
}

TEST(InotifyNotifier, SharedFolderStaysWatchedUntilItsLastHandleCloses)
{
    Scratch s;
    QDir().mkpath(s.Watched + "/sub");
    InotifyNotifier notifier;
    const int first = notifier.Open(s.Watched, false);
    const int second = notifier.Open(s.Watched, false);
    const int tree = notifier.Open(s.Watched, true);
    const int inner = notifier.Open(s.Watched + "/sub", false);
    ASSERT_GT(first, 0);
    ASSERT_NE(first, second);
    EXPECT_EQ(notifier.WatchCount(), 2); // the kernel shares one descriptor per folder

    WriteFile(s.Watched + "/a.txt");
    EXPECT_EQ(notifier.Wait(first, kSignalWaitMs), ChangeNotifier::Signalled);
    EXPECT_EQ(notifier.Wait(second, 0), ChangeNotifier::Signalled);
    EXPECT_EQ(notifier.Wait(tree, 0), ChangeNotifier::Signalled);
    EXPECT_EQ(notifier.Wait(inner, 0), ChangeNotifier::TimedOut);

    notifier.Close(first);
    notifier.Close(inner);
    notifier.Rearm(second);
    notifier.Rearm(tree);
    WriteFile(s.Watched + "/a.txt");
    WriteFile(s.Watched + "/sub/b.txt");
    EXPECT_EQ(notifier.Wait(second, kSignalWaitMs), ChangeNotifier::Signalled);
    EXPECT_EQ(notifier.Wait(tree, kSignalWaitMs), ChangeNotifier::Signalled);

    // The sub-folder's watch belongs to the subtree handle alone now.
    notifier.Close(second);
    notifier.Rearm(tree);
    WriteFile(s.Watched + "/sub/b.txt");
    EXPECT_EQ(notifier.Wait(tree, kSignalWaitMs), ChangeNotifier::Signalled);
    notifier.Close(tree);
    EXPECT_EQ(notifier.WatchCount(), 0);
}

TEST(InotifyNotifier, SubtreeWatchesSubFoldersIncludingLaterOnes)
{
    Scratch s;
    QDir().mkpath(s.Watched + "/old/deeper");
    QDir().mkpath(s.Outside + "/moved/inner");
    InotifyNotifier notifier;
    const int flat = notifier.Open(s.Watched, false);
    const int tree = notifier.Open(s.Watched, true);
    ASSERT_GT(tree, 0);

    WriteFile(s.Watched + "/old/deeper/a.txt");
    EXPECT_EQ(notifier.Wait(tree, kSignalWaitMs), ChangeNotifier::Signalled);
    EXPECT_EQ(notifier.Wait(flat, kQuietWaitMs), ChangeNotifier::TimedOut);

    // Created later: the creation signals, and a write inside it does too.
    notifier.Rearm(tree);
    ASSERT_TRUE(QDir().mkpath(s.Watched + "/new/a/b"));
    EXPECT_EQ(notifier.Wait(tree, kSignalWaitMs), ChangeNotifier::Signalled);
    notifier.Rearm(tree);
    WriteFile(s.Watched + "/new/a/b/c.txt");
    EXPECT_EQ(notifier.Wait(tree, kSignalWaitMs), ChangeNotifier::Signalled);

    // Moved in from outside, with a folder of its own.
    notifier.Rearm(tree);
    ASSERT_TRUE(QDir().rename(s.Outside + "/moved", s.Watched + "/moved"));
    ASSERT_EQ(notifier.Wait(tree, kSignalWaitMs), ChangeNotifier::Signalled);
    notifier.Rearm(tree);
    WriteFile(s.Watched + "/moved/inner/d.txt");
    EXPECT_EQ(notifier.Wait(tree, kSignalWaitMs), ChangeNotifier::Signalled);

    // Renamed inside the tree: still watched under its new name.
    notifier.Rearm(tree);
    ASSERT_TRUE(QDir().rename(s.Watched + "/old", s.Watched + "/renamed"));
    notifier.Wait(tree, kSignalWaitMs);
    notifier.Rearm(tree);
    WriteFile(s.Watched + "/renamed/deeper/e.txt");
    EXPECT_EQ(notifier.Wait(tree, kSignalWaitMs), ChangeNotifier::Signalled);

    // Moved out of the tree: no longer watched.
    notifier.Rearm(tree);
    ASSERT_TRUE(QDir().rename(s.Watched + "/renamed", s.Outside + "/gone"));
    notifier.Wait(tree, kQuietWaitMs);
    notifier.Rearm(tree);
    WriteFile(s.Outside + "/gone/deeper/f.txt");
    EXPECT_EQ(notifier.Wait(tree, kQuietWaitMs), ChangeNotifier::TimedOut);
}

TEST(InotifyNotifier, SubtreeDoesNotFollowLinksToFolders)
{
    Scratch s;
    QDir().mkpath(s.Outside + "/target");
    ASSERT_TRUE(QFile::link(s.Outside + "/target", s.Watched + "/early-link"));
    InotifyNotifier notifier;
    const int tree = notifier.Open(s.Watched, true);
    ASSERT_GT(tree, 0);
    EXPECT_EQ(notifier.WatchCount(), 1);

    ASSERT_TRUE(QFile::link(s.Outside + "/target", s.Watched + "/late-link"));
    notifier.Wait(tree, kQuietWaitMs);
    notifier.Rearm(tree);
    EXPECT_EQ(notifier.WatchCount(), 1);
    WriteFile(s.Outside + "/target/a.txt");
    EXPECT_EQ(notifier.Wait(tree, kQuietWaitMs), ChangeNotifier::TimedOut);
}

struct VanishCase
{
    const char* Name;
    std::function<void(const QString& watched, const QString& elsewhere)> Vanish;
};

void PrintTo(const VanishCase& row, std::ostream* out)
{
    *out << row.Name;
}

class NotifierVanish : public ::testing::TestWithParam<VanishCase>
{
};

TEST_P(NotifierVanish, FolderIsWatchedAgainWhenItComesBack)
{
    Scratch s;
    QDir().mkpath(s.Watched + "/sub");
    WriteFile(s.Watched + "/sub/a.txt");
    InotifyNotifier notifier;
    const int h = notifier.Open(s.Watched, GetParam().Name == std::string("deleted with its tree"));
    ASSERT_GT(h, 0);

    GetParam().Vanish(s.Watched, s.Outside + "/away");
    notifier.Wait(h, kQuietWaitMs);
    notifier.Rearm(h);
    EXPECT_EQ(notifier.WatchCount(), 0);
    // While it is away, a write to the folder that moved does not count.
    if (QDir(s.Outside + "/away").exists()) {
        WriteFile(s.Outside + "/away/b.txt");
        EXPECT_EQ(notifier.Wait(h, kQuietWaitMs), ChangeNotifier::TimedOut);
    }

    ASSERT_TRUE(QDir().mkpath(s.Watched + "/sub"));
    EXPECT_EQ(notifier.Wait(h, kSignalWaitMs), ChangeNotifier::Signalled) << "coming back signals";
    notifier.Rearm(h);
    WriteFile(s.Watched + "/c.txt");
    EXPECT_EQ(notifier.Wait(h, kSignalWaitMs), ChangeNotifier::Signalled);
}

INSTANTIATE_TEST_SUITE_P(Vanish, NotifierVanish,
                         ::testing::Values(VanishCase{"deleted",
                                                      [](const QString& watched, const QString&) {
                                                          ASSERT_TRUE(QDir(watched).removeRecursively());
                                                      }},
                                           VanishCase{"deleted with its tree",
                                                      [](const QString& watched, const QString&) {
                                                          ASSERT_TRUE(QDir(watched).removeRecursively());
                                                      }},
                                           VanishCase{"moved away",
                                                      [](const QString& watched, const QString& elsewhere) {
                                                          ASSERT_TRUE(QDir().rename(watched, elsewhere));
                                                      }}),
                         [](const ::testing::TestParamInfo<VanishCase>& info) {
                             std::string name;
                             for (char c : std::string(info.param.Name))
                                 if (std::isalnum(static_cast<unsigned char>(c)))
                                     name += c;
                             return name;
                         });

int MaxQueuedEvents()
{
    QFile limit("/proc/sys/fs/inotify/max_queued_events");
    if (limit.open(QIODevice::ReadOnly))
        if (const int value = limit.readAll().trimmed().toInt(); value > 0)
            return value;
    return 16384;
}

TEST(InotifyNotifier, QueueOverflowSignalsEveryHandle)
{
    Scratch s;
    InotifyNotifier notifier;
    const int busy = notifier.Open(s.Watched, false);
    const int quiet = notifier.Open(s.Outside, true);
    ASSERT_GT(quiet, 0);
    WriteFile(s.Watched + "/a");
    WriteFile(s.Watched + "/b");
    ASSERT_EQ(notifier.Wait(busy, kSignalWaitMs), ChangeNotifier::Signalled);
    notifier.Rearm(busy);

    // Alternating names, so the kernel cannot merge consecutive events.
    const QByteArray a = QFile::encodeName(s.Watched + "/a");
    const QByteArray b = QFile::encodeName(s.Watched + "/b");
    const int events = MaxQueuedEvents() + 1000;
    for (int i = 0; i < events; ++i) {
        const timespec times[2] = {{i, 0}, {i, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (i % 2 ? a : b).constData(), times, 0), 0);
    }
    // Its creation event is lost in the full queue; the folder must be watched all the same.
    ASSERT_TRUE(QDir().mkpath(s.Outside + "/created-meanwhile"));
    EXPECT_EQ(notifier.Wait(quiet, 0), ChangeNotifier::Signalled);
    EXPECT_EQ(notifier.Wait(busy, 0), ChangeNotifier::Signalled);

    // Still working afterwards.
    notifier.Rearm(busy);
    notifier.Rearm(quiet);
    EXPECT_EQ(notifier.Wait(quiet, kQuietWaitMs), ChangeNotifier::TimedOut);
    WriteFile(s.Outside + "/created-meanwhile/c");
    EXPECT_EQ(notifier.Wait(quiet, kSignalWaitMs), ChangeNotifier::Signalled);
}

// Fails inotify_add_watch with ENOSPC after a number of watches, as a full
// watch table does; lowering the real limit would affect the whole machine.
class LimitedNotifier : public InotifyNotifier
{
  public:
    using InotifyNotifier::InotifyNotifier;
    int WatchesLeft = 0;
    bool FailInstance = false;

  protected:
    int CreateInstance() override
    {
        if (FailInstance) {
            errno = EMFILE;
            return -1;
        }
        return InotifyNotifier::CreateInstance();
    }
    int AddWatch(int fd, const QByteArray& path, quint32 mask) override
    {
        if (WatchesLeft <= 0) {
            errno = ENOSPC;
            return -1;
        }
        const int wd = InotifyNotifier::AddWatch(fd, path, mask);
        if (wd >= 0)
            --WatchesLeft;
        return wd;
    }
};

TEST(InotifyNotifier, FullWatchTableIsReportedOnce)
{
    Scratch s;
    for (const char* sub : {"/a", "/b", "/c", "/d"})
        QDir().mkpath(s.Watched + sub);
    QStringList seen;
    LimitedNotifier notifier([&](const QString& message) { seen << message; });
    notifier.WatchesLeft = 2;

    const int partial = notifier.Open(s.Watched, true);
    EXPECT_GT(partial, 0) << "the folder itself is watched, only some sub-folders are not";
    EXPECT_EQ(notifier.Open(s.Outside, false), ChangeNotifier::Failed);
    EXPECT_EQ(notifier.Open(s.Outside, true), ChangeNotifier::Failed);
    ASSERT_EQ(seen.size(), 1);
    EXPECT_TRUE(seen.first().contains("/proc/sys/fs/inotify/max_user_watches")) << seen.first().toStdString();
    EXPECT_EQ(seen.first(), InotifyNotifier::WatchLimitMessage());
    EXPECT_TRUE(notifier.TakeWarnings().isEmpty());

    WriteFile(s.Watched + "/top.txt");
    EXPECT_EQ(notifier.Wait(partial, kSignalWaitMs), ChangeNotifier::Signalled);
}

TEST(InotifyNotifier, WarningsWithoutSinkAreHandedOutOnce)
{
    Scratch s;
    LimitedNotifier limited;
    EXPECT_EQ(limited.Open(s.Watched, false), ChangeNotifier::Failed);
    EXPECT_EQ(limited.Open(s.Watched, false), ChangeNotifier::Failed);
    EXPECT_EQ(limited.TakeWarnings(), QStringList{InotifyNotifier::WatchLimitMessage()});
    EXPECT_TRUE(limited.TakeWarnings().isEmpty());

    LimitedNotifier noInstance;
    noInstance.FailInstance = true;
    EXPECT_EQ(noInstance.Open(s.Watched, false), ChangeNotifier::Failed);
    EXPECT_EQ(noInstance.Open(s.Outside, false), ChangeNotifier::Failed);
    const QStringList warnings = noInstance.TakeWarnings();
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings.first().contains("/proc/sys/fs/inotify/max_user_instances"));
}

TEST(InotifyNotifier, OneInstanceServesManyFolders)
{
    // One inotify instance per folder would run out at 128 (the per-user limit).
    Scratch s;
    InotifyNotifier notifier;
    std::vector<int> handles;
    for (int i = 0; i < 300; ++i) {
        const QString folder = s.Watched + "/f" + QString::number(i);
        ASSERT_TRUE(QDir().mkpath(folder));
        handles.push_back(notifier.Open(folder, false));
        ASSERT_GT(handles.back(), 0) << i;
    }
    WriteFile(s.Watched + "/f299/a.txt");
    EXPECT_EQ(notifier.Wait(handles.back(), kSignalWaitMs), ChangeNotifier::Signalled);
    EXPECT_EQ(notifier.Wait(handles.front(), 0), ChangeNotifier::TimedOut);
}

} // namespace
