// The scan of a recursive folder association told where its tree changed (by the
// real inotify notifier) must hand over exactly what a walk of the whole tree
// hands over, for the same tree and the same reference time.

#include "support/EngineFakes.h"
#include "support/TestFiles.h"

#include "core/DateText.h"
#include "engine/ChangedFolderScan.h"
#include "platform/InotifyNotifier.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <utility>

namespace {

const QDateTime T0(QDate(2026, 3, 10), QTime(10, 0, 0));

class TargetedScanTest : public ::testing::Test
{
  protected:
    TargetedScanTest()
    {
        QDir().mkpath(root);
        QDir().mkpath(outside);
        rig.AddAssociation(root, true, true, {dir.filePath(QStringLiteral("Backup"))});
    }

    QString at(const QString& name) const { return root + QLatin1Char('/') + name; }
    // Watching starts as the program's does: open, then re-arm before the first tick.
    void watch()
    {
        handle = notifier.Open(root, true);
        ASSERT_GT(handle, 0);
        ASSERT_TRUE(notifier.WatchesInPlace(handle));
        notifier.Rearm(handle);
    }
    // What a watch tick reads just before re-arming.
    FolderChanges seen()
    {
        notifier.Wait(handle, 0);
        notifier.Wait(handle, 0); // the second poll in a round reads the queue afresh
        FolderChanges changes = notifier.ChangesSinceRearm(handle);
        notifier.Rearm(handle);
        return changes;
    }
    // Files handed over, and how often the interface ran (once per file and sub-folder looked at).
    std::pair<std::vector<QString>, int> run(const std::function<void()>& scan)
    {
        calls.clear();
        detected.Clear();
        rig.Pump.Calls = 0;
        scan();
        std::vector<QString> handed;
        for (const QString& file : calls)
            handed.push_back(QDir(root).relativeFilePath(file));
        std::sort(handed.begin(), handed.end());
        return {handed, rig.Pump.Calls};
    }
    std::pair<std::vector<QString>, int> targeted(const FolderChanges& changes, const QDateTime& reference)
    {
        return run([&] { scan.ProcessChangedFolder(root, DateText::Format(reference), 0, changes); });
    }
    std::pair<std::vector<QString>, int> fullWalk(const QDateTime& reference)
    {
        return run([&] { scan.ScanFolder(root, 1, root, DateText::Format(reference), true, false); });
    }
    // A tree of old files: `folders` folders, each holding `files` files.
    void oldTree(const QStringList& folders, int files)
    {
        for (const QString& folder : folders)
            for (int i = 0; i < files; ++i)
                WriteFile(at(folder + QStringLiteral("/old%1.txt").arg(i)), "old", T0.addDays(-1));
    }

    QTemporaryDir dir;
    QString root = dir.filePath(QStringLiteral("Work"));
    QString outside = dir.filePath(QStringLiteral("Outside"));
    EngineRig rig;
    InotifyNotifier notifier;
    int handle = -1;
    colDetectedFiles detected;
    std::vector<QString> calls;
    ChangedFolderScan scan{rig.Context, detected,
                           [this](const QString&, int, const QString& file) { calls.push_back(file); }};
};

std::vector<QString> names(std::initializer_list<const char*> list)
{
    std::vector<QString> result;
    for (const char* name : list)
        result.push_back(QString::fromUtf8(name));
    std::sort(result.begin(), result.end());
    return result;
}

TEST_F(TargetedScanTest, RandomChangesHandOverWhatTheFullWalkDoes)
{
    oldTree({"a", "a/b", "a/b/c", "d", "d/e", "f"}, 3);
    watch();
    std::mt19937 random(20261207);
    const auto pick = [&](const std::vector<QString>& from) {
        return from.empty() ? QString()
                            : from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(random)];
    };
    int serial = 0, targetedLooks = 0, fullLooks = 0;
    for (int step = 1; step <= 40; ++step) {
        // Each step is one tick: its saves share one time, ten seconds after the last.
        const QDateTime now = T0.addSecs(10 * step);
        std::vector<QString> folders{root}, files;
        for (QDirIterator it(root, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                             QDirIterator::Subdirectories);
             it.hasNext();)
            folders.push_back(it.next());
        for (QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
            files.push_back(it.next());
        const int changes = std::uniform_int_distribution<int>(1, 4)(random);
        for (int c = 0; c < changes; ++c) {
            const QString name = QStringLiteral("n%1.txt").arg(++serial);
            QString folder = pick(folders);
            if (!QFileInfo(folder).isDir())
                folder = root; // moved away by an earlier change of this step
            switch (std::uniform_int_distribution<int>(0, 9)(random)) {
            case 0: // a new file
                WriteFile(folder + QLatin1Char('/') + name, "new", now);
                break;
            case 1: { // an overwrite
                const QString file = pick(files);
                if (QFileInfo::exists(file))
                    WriteFile(file, "overwritten", now);
                break;
            }
            case 2: { // an editor's save: a hidden temporary file renamed over the file
                QString target = pick(files);
                if (!QFileInfo::exists(target))
                    target = folder + QLatin1Char('/') + name;
                const QString temporary = QFileInfo(target).path() + QStringLiteral("/.save.tmp");
                WriteFile(temporary, "saved", now);
                ASSERT_EQ(std::rename(QFile::encodeName(temporary), QFile::encodeName(target)), 0);
                break;
            }
            case 3: // written elsewhere, renamed into place
                WriteFile(outside + QLatin1Char('/') + name, "moved in", now);
                ASSERT_EQ(std::rename(QFile::encodeName(outside + QLatin1Char('/') + name),
                                      QFile::encodeName(folder + QLatin1Char('/') + name)),
                          0);
                break;
            case 4: // new sub-folders, written into at once
                WriteFile(folder + QStringLiteral("/s%1/t/").arg(serial) + name, "deep", now);
                WriteFile(folder + QStringLiteral("/s%1/").arg(serial) + name, "new folder", now);
                break;
            case 5: // a deletion
                QFile::remove(pick(files));
                break;
            case 6: { // a folder with new files renamed into the tree
                const QString made = outside + QStringLiteral("/m%1").arg(serial);
                WriteFile(made + QStringLiteral("/inner/") + name, "made outside", now);
                ASSERT_TRUE(QDir().rename(made, folder + QStringLiteral("/m%1").arg(serial)));
                break;
            }
            case 7: { // a folder moved within the tree, then written into
                const QString moving = pick(folders);
                if (moving == root || !QFileInfo(moving).isDir() || folder == moving ||
                    folder.startsWith(moving + QLatin1Char('/')))
                    break;
                const QString moved = folder + QStringLiteral("/r%1").arg(serial);
                ASSERT_TRUE(QDir().rename(moving, moved));
                if (std::uniform_int_distribution<int>(0, 1)(random))
                    WriteFile(moved + QLatin1Char('/') + name, "after the move", now);
                break;
            }
            case 8: // a hidden file, skipped either way
                WriteFile(folder + QStringLiteral("/.") + name, "hidden", now);
                break;
            default: // an old file moved in: not a change either way
                WriteFile(outside + QLatin1Char('/') + name, "old", T0.addDays(-2));
                ASSERT_EQ(std::rename(QFile::encodeName(outside + QLatin1Char('/') + name),
                                      QFile::encodeName(folder + QLatin1Char('/') + name)),
                          0);
                break;
            }
        }
        const FolderChanges changesSeen = seen();
        ASSERT_TRUE(changesSeen.Known) << "step " << step;
        const auto [handedOver, looked] = targeted(changesSeen, now);
        const auto [walked, lookedByWalk] = fullWalk(now);
        ASSERT_EQ(handedOver, walked) << "step " << step;
        targetedLooks += looked;
        fullLooks += lookedByWalk;
    }
    EXPECT_LT(targetedLooks * 3, fullLooks) << "the targeted scan looks at a fraction of the files";
}

// Each row: a change made after a quiet start, and the files it must hand over.
TEST_F(TargetedScanTest, CommonChangesAreFoundLookingOnlyWhereTheyHappened)
{
    const QDateTime now = T0.addSecs(30);
    struct Row
    {
        const char* Name;
        std::function<void()> Change;
        std::vector<QString> HandedOver;
        int MostLooks; // the interface runs once per file and once per sub-folder
    };
    const Row rows[] = {
        {"a deep save", [&] { WriteFile(at("p/q/r/s/deep.txt"), "d", now); }, names({"p/q/r/s/deep.txt"}), 7},
        {"saves in two sub-folders in one tick",
         [&] {
             WriteFile(at("p/one.txt"), "1", now);
             WriteFile(at("x/y/two.txt"), "2", now);
         },
         names({"p/one.txt", "x/y/two.txt"}), 14},
        {"mkdir -p, then files in the deepest folder at once",
         [&] {
             QDir().mkpath(at("x/a/b/c"));
             WriteFile(at("x/a/b/c/1.txt"), "1", now);
             WriteFile(at("x/a/b/c/2.txt"), "2", now);
         },
         names({"x/a/b/c/1.txt", "x/a/b/c/2.txt"}), 5},
        {"a folder renamed into the tree",
         [&] {
             WriteFile(outside + QStringLiteral("/made/sub/new.txt"), "n", now);
             WriteFile(outside + QStringLiteral("/made/old.txt"), "o", T0.addDays(-3));
             ASSERT_TRUE(QDir().rename(outside + QStringLiteral("/made"), at("p/q/made")));
         },
         names({"p/q/made/sub/new.txt"}), 4},
    };
    const QStringList folders{"p", "p/q", "p/q/r", "p/q/r/s", "x", "x/y"};
    oldTree(folders, 5);
    watch();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        row.Change();
        const FolderChanges changes = seen();
        ASSERT_TRUE(changes.Known);
        std::vector<qint64> sleeps;
        rig.Wait.OnSleep = [&, last = rig.Wait.Now](qint64 now) mutable {
            sleeps.push_back(now - std::exchange(last, now));
        };
        const auto [handedOver, looked] = targeted(changes, now);
        rig.Wait.OnSleep = nullptr;
        EXPECT_EQ(handedOver, row.HandedOver);
        EXPECT_EQ(handedOver, fullWalk(now).first);
        EXPECT_LE(looked, row.MostLooks);
        // The writer's 500 ms wait comes once, before the first folder looked at.
        ASSERT_FALSE(sleeps.empty());
        EXPECT_EQ(sleeps.front(), ChangedFolderScan::TopFolderWaitMs);
        EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), ChangedFolderScan::TopFolderWaitMs), 1);
        // Leave the tree quiet for the next row.
        for (const QString& file : handedOver)
            SetModified(at(file), T0.addDays(-1));
        seen();
    }
}

// Events lost in a full queue: the notifier cannot say where, so the whole tree is walked.
TEST_F(TargetedScanTest, QueueOverflowFallsBackToTheFullWalk)
{
    oldTree({"busy", "quiet/deep"}, 2);
    watch();
    QFile limit(QStringLiteral("/proc/sys/fs/inotify/max_queued_events"));
    const int queued = limit.open(QIODevice::ReadOnly) ? limit.readAll().trimmed().toInt() : 0;
    const QByteArray busy[2] = {QFile::encodeName(at("busy/old0.txt")),
                                QFile::encodeName(at("busy/old1.txt"))};
    for (int i = 0; i < qMax(queued, 16384) + 1000; ++i) {
        const timespec times[2] = {{i, 0}, {i, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, busy[i % 2].constData(), times, 0), 0);
    }
    const QDateTime now = T0.addSecs(30);
    WriteFile(at("quiet/deep/saved.txt"), "lost event", now); // its event finds the queue full

    const FolderChanges changes = seen();
    EXPECT_FALSE(changes.Known);
    EXPECT_EQ(targeted(changes, now).first, names({"quiet/deep/saved.txt"}));

    // After the re-arm the notifier vouches again.
    WriteFile(at("busy/after.txt"), "a", now);
    const FolderChanges after = seen();
    EXPECT_TRUE(after.Known);
    EXPECT_EQ(targeted(after, now).first, names({"busy/after.txt"}));
}

} // namespace
