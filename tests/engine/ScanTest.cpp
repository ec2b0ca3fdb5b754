#include "support/EngineFakes.h"
#include "support/FakeStatusPanels.h"
#include "support/TestFiles.h"

#include "core/DateText.h"
#include "engine/ChangedFolderScan.h"
#include "engine/colDetectedFiles.h"
#include "platform/InotifyNotifier.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <utility>

namespace {

// A fixed reference time in the middle of a clock hour.
const QDateTime T0(QDate(2026, 3, 10), QTime(10, 30, 0));

std::vector<QString> names(std::initializer_list<const char*> list)
{
    std::vector<QString> result;
    for (const char* name : list)
        result.push_back(QString::fromUtf8(name));
    std::sort(result.begin(), result.end());
    return result;
}

struct BackupCall
{
    QString Source;
    int Position;
    QString File;
};

class ScanTest : public ::testing::Test
{
  protected:
    ScanTest()
    {
        rig.State.Status = &panels;
        QDir().mkpath(root);
    }

    QString at(const QString& name) const { return root + QLatin1Char('/') + name; }
    // Files handed over, relative to the folder, sorted.
    std::vector<QString> files() const
    {
        std::vector<QString> result;
        for (const BackupCall& c : calls)
            result.push_back(QDir(root).relativeFilePath(c.File));
        std::sort(result.begin(), result.end());
        return result;
    }
    void writeFiles(int count, const QDateTime& modified)
    {
        for (int i = 0; i < count; ++i)
            WriteFile(at(QStringLiteral("f%1.txt").arg(i)), "x", modified);
    }
    void process(int handle = 0) { scan.ProcessChangedFolder(root, DateText::Format(T0), handle); }
    void scanRoot(bool recursive, bool manual = false)
    {
        scan.ScanFolder(root, 1, root, DateText::Format(T0), recursive, manual);
    }

    QTemporaryDir dir;
    EngineRig rig;
    FakeStatusPanels panels;
    QString root = dir.filePath(QStringLiteral("Work"));
    QString destination = dir.filePath(QStringLiteral("Backup"));
    colDetectedFiles detected;
    std::vector<BackupCall> calls;
    ChangedFolderScan scan{rig.Context, detected, [this](const QString& s, int p, const QString& f) {
                               calls.push_back({s, p, f});
                           }};
};

// Changed: from one second before the reference up to the end of the clock
// hour after it; compared as texts and as full-precision times alike.
TEST(ChangedTest, FollowsTheSecondAndClockHourRule)
{
    const QDateTime at1059_59(QDate(2026, 3, 10), QTime(10, 59, 59));
    const QDateTime at1100_00(QDate(2026, 3, 10), QTime(11, 0, 0));
    const struct
    {
        const char* Name;
        QDateTime Modified;
        QDateTime Reference;
        bool Changed;
    } rows[] = {{"SameSecond", T0, T0, true},
                {"SameSecondLaterMilliseconds", T0.addMSecs(999), T0, true},
                {"OneSecondBefore", T0.addSecs(-1), T0, true},
                {"TwoSecondsBefore", T0.addSecs(-2), T0, false},
                {"LaterInTheSameHour", T0.addSecs(29 * 60 + 59), T0, true},
                {"InTheNextClockHour", T0.addSecs(89 * 60), T0, true},
                {"TwoClockHoursAfter", T0.addSecs(2 * 3600), T0, false},
                {"AcrossTheHourByTwoSeconds", at1100_00.addSecs(1), at1059_59, true},
                {"OneSecondBeforeInThePreviousHour", at1059_59, at1100_00, false},
                {"DaysEarlier", T0.addDays(-3), T0, false}};
    for (const auto& row : rows) {
        EXPECT_EQ(
            ChangedFolderScan::IsChanged(DateText::Format(row.Modified), DateText::Format(row.Reference)),
            row.Changed)
            << row.Name;
        EXPECT_EQ(ChangedFolderScan::IsChanged(row.Modified, row.Reference), row.Changed) << row.Name;
    }
    // A reference that is no time matches nothing.
    EXPECT_FALSE(ChangedFolderScan::IsChanged(DateText::Format(T0), QString()));
    EXPECT_FALSE(ChangedFolderScan::IsChanged(DateText::Format(T0), QStringLiteral("Never")));
}

// --- what a signalled folder hands over -------------------------------------

// "/Work" is no parent of the look-alike sibling "/Workshop".
TEST_F(ScanTest, OnlyAssociationsWithADestinationDirectlyInTheFolderCount)
{
    rig.AddAssociation(root, true, false);
    rig.AddAssociation(root + QStringLiteral("shop"), true, false, {destination});
    QDir().mkpath(at(QStringLiteral("sub")));
    QDir().mkpath(root + QStringLiteral("shop"));
    const QString direct = at(QStringLiteral("a.txt"));
    WriteFile(direct, "x", T0);
    process();
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(panels.PanelText(QStringLiteral("Running")).isEmpty());
    EXPECT_EQ(rig.Wait.Sleeps, 0);

    for (const QString& f : {direct, at(QStringLiteral("sub/b.txt")), root + QStringLiteral("shop/c.txt")}) {
        WriteFile(f, "x", T0);
        rig.AddAssociation(f, false, false, {destination});
    }
    QString during;
    rig.Pump.OnPump = [&] { during = panels.PanelText(QStringLiteral("Running")); };
    process();
    ASSERT_EQ(files(), names({"a.txt"}));
    EXPECT_EQ(calls[0].Source, direct);
    EXPECT_EQ(calls[0].Position, 3);
    EXPECT_EQ(during, QStringLiteral("Scanning... "));
    EXPECT_EQ(panels.PanelText(QStringLiteral("Running")), QStringLiteral("Waiting... "));
    EXPECT_FALSE(rig.State.Scanning);
}

TEST_F(ScanTest, OnlyChangedFilesAreHandedOverAndTheNewReferenceFollowsTheNewest)
{
    rig.AddAssociation(root, true, false, {destination});
    WriteFile(at(QStringLiteral("old.txt")), "o", T0.addSecs(-60));
    WriteFile(at(QStringLiteral("new.txt")), "n", T0.addSecs(5));
    WriteFile(at(QStringLiteral("newer.txt")), "n", T0.addSecs(20).addMSecs(400));

    process();

    EXPECT_EQ(files(), names({"new.txt", "newer.txt"}));
    EXPECT_EQ(scan.NewDetectionDate, DateText::Format(T0.addSecs(21)));
    EXPECT_EQ(detected.Count(), 2);
}

// A later full-precision time within the same whole-second text, or the same
// time with a different size, is a new save; the same file seen again unchanged
// within the same processing is not handed over again.
TEST_F(ScanTest, SecondSaveWithinTheSameSecondIsHandedOverAgain)
{
    rig.AddAssociation(root, true, false, {destination});
    for (const auto& [content, msecs, handedOver] :
         {std::tuple{"first", 200, 1u}, std::tuple{"first", 700, 2u}, std::tuple{"second save", 700, 3u}}) {
        WriteFile(at(QStringLiteral("a.txt")), content, T0.addMSecs(msecs));
        scanRoot(false);
        EXPECT_EQ(calls.size(), handedOver);
    }
    scanRoot(false);
    EXPECT_EQ(calls.size(), 3u);
}

// Dot files follow CopyHidden outside manual mode; a manual run takes them.
TEST_F(ScanTest, DotFilesFollowCopyHiddenOutsideManualMode)
{
    clsBackup& folder = rig.AddAssociation(root, true, false, {destination});
    WriteFile(at(QStringLiteral(".hidden")), "h", T0);
    for (const auto& [copyHidden, manual, handedOver] :
         {std::tuple{false, false, false}, std::tuple{true, false, true}, std::tuple{false, true, true}}) {
        calls.clear();
        detected.Clear();
        folder.CopyHidden = copyHidden;
        scanRoot(false, manual);
        EXPECT_EQ(calls.size(), handedOver ? 1u : 0u) << copyHidden << manual;
    }
}

// Manual mode takes every regular file without the changed test; neither mode
// takes links or pipes, or follows a link back to the top (it would loop).
TEST_F(ScanTest, OnlyRegularFilesAreTakenAndManualModeSkipsTheTests)
{
    rig.AddAssociation(root, true, true, {destination});
    QDir().mkpath(at(QStringLiteral("sub")));
    WriteFile(at(QStringLiteral("real.txt")), "r", T0);
    WriteFile(at(QStringLiteral("sub/inner.txt")), "i", T0);
    WriteFile(at(QStringLiteral("ancient.txt")), "a", T0.addDays(-400));
    WriteFile(at(QStringLiteral("future.txt")), "f", T0.addDays(400));
    ASSERT_TRUE(QFile::link(root, at(QStringLiteral("sub/loop"))));
    ASSERT_TRUE(QFile::link(at(QStringLiteral("real.txt")), at(QStringLiteral("link.txt"))));
    ASSERT_EQ(::mkfifo(at(QStringLiteral("pipe")).toLocal8Bit().constData(), 0600), 0);

    scanRoot(true);
    EXPECT_EQ(files(), names({"real.txt", "sub/inner.txt"}));

    calls.clear();
    detected.Clear();
    scan.NewDetectionDate.clear();
    rig.State.ManualSync = true;
    scanRoot(true, true);
    EXPECT_EQ(files(), names({"ancient.txt", "future.txt", "real.txt", "sub/inner.txt"}));
    ASSERT_EQ(detected.Count(), 4);
    for (const clsDetectedFile& f : detected)
        EXPECT_TRUE(f.ModifiedDate.isEmpty());
    EXPECT_TRUE(scan.NewDetectionDate.isEmpty());
}

TEST_F(ScanTest, PacingWaitsGoThroughTheWaiter)
{
    rig.AddAssociation(root, true, false, {destination});
    writeFiles(31, T0.addSecs(-600));
    std::vector<int> sleeps;
    rig.Wait.OnSleep = [&, last = qint64(0)](qint64 now) mutable {
        sleeps.push_back(int(now - last));
        last = now;
    };

    process(rig.Notifier.Open(root, false));

    // The top folder's wait, one wait per 15 files, one look for a new signal.
    EXPECT_EQ(sleeps, (std::vector<int>{500, 50, 50, 10}));
    EXPECT_EQ(scan.PacingCount, 1);
    EXPECT_EQ(rig.Pump.Calls, 31);
}

TEST_F(ScanTest, ScanningPopupShownBeforeEachSubFolderWhenAskedAndNotDismissed)
{
    rig.AddAssociation(root, true, true, {destination});
    QDir().mkpath(at(QStringLiteral("one")));
    QDir().mkpath(at(QStringLiteral("two")));
    for (const auto& [showScanning, dismissed, popups] :
         {std::tuple{true, false, 2}, std::tuple{false, false, 0}, std::tuple{true, true, 0}}) {
        rig.Hooks.ScanningPopups = 0;
        rig.Opts.ShowScanning = showScanning;
        rig.State.NotifyDismissed = dismissed;
        scanRoot(true);
        EXPECT_EQ(rig.Hooks.ScanningPopups, popups) << showScanning << dismissed;
    }
}

// --- the interface runs during a scan ---------------------------------------

TEST_F(ScanTest, AssociationRemovedDuringAScanIsNotServedAnyMore)
{
    rig.AddAssociation(at(QStringLiteral("first.txt")), false, false, {destination});
    rig.AddAssociation(root, true, false, {destination});
    WriteFile(at(QStringLiteral("first.txt")), "x", T0.addSecs(-600));
    writeFiles(5, T0);
    rig.Pump.OnPump = [&] {
        // Removing the first association shifts the folder association to position 1.
        if (rig.Pump.Calls == 1)
            rig.State.Backups.Remove(1);
        else if (rig.Pump.Calls == 3)
            rig.State.Backups.Remove(root);
    };

    process();

    ASSERT_EQ(calls.size(), 2u);
    for (const BackupCall& c : calls) {
        EXPECT_EQ(c.Source, root);
        EXPECT_EQ(c.Position, 1);
    }
    EXPECT_FALSE(rig.State.Scanning);
}

// A file written without pause keeps its folder signalled; each new signal is
// served by going round again, never by a deeper call. A small stack proves it.
TEST_F(ScanTest, ContinuousRewritesAreServedWithinASmallStack)
{
    const QString file = at(QStringLiteral("busy.txt"));
    rig.AddAssociation(file, false, false, {destination});
    WriteFile(file, "0", T0);
    const int handle = rig.Notifier.Open(root, false);
    constexpr int Rewrites = 2500;
    int rewrites = 0;
    rig.Wait.OnSleep = [&](qint64) {
        if (rewrites == Rewrites)
            return;
        ++rewrites;
        SetModified(file, T0.addMSecs(rewrites));
        rig.Notifier.Signal(root);
    };

    QThread* worker = QThread::create([&] { process(handle); });
    worker->setStackSize(512 * 1024);
    worker->start();
    ASSERT_TRUE(worker->wait(120000));
    delete worker;

    EXPECT_EQ(calls.size(), size_t(Rewrites) + 1);
    EXPECT_FALSE(rig.State.Scanning);
}

// The scan of a recursive folder association told where its tree changed (by the
// real inotify notifier) must hand over exactly what a walk of the whole tree
// hands over, for the same tree and the same reference time.
class TargetedScanTest : public ScanTest
{
  protected:
    TargetedScanTest()
    {
        QDir().mkpath(outside);
        rig.AddAssociation(root, true, true, {destination});
    }

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
    std::pair<std::vector<QString>, int> run(const std::function<void()>& scanning)
    {
        calls.clear();
        detected.Clear();
        rig.Pump.Calls = 0;
        scanning();
        return {files(), rig.Pump.Calls};
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

    QString outside = dir.filePath(QStringLiteral("Outside"));
    InotifyNotifier notifier;
    int handle = -1;
};

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
