#include "support/EngineFakes.h"
#include "support/FakeStatusPanels.h"
#include "support/TestFiles.h"

#include "core/DateText.h"
#include "engine/ChangedFolderScan.h"
#include "engine/colDetectedFiles.h"
#include "platform/InotifyNotifier.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// A fixed reference time in the middle of a clock hour.
const QDateTime T0(QDate(2026, 3, 10), QTime(10, 30, 0));

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
        rig.Wait.OnSleep = [this, last = qint64(0)](qint64 now) mutable {
            sleeps.push_back(now - std::exchange(last, now));
        };
        QDir().mkpath(root);
    }

    QString at(const QString& name) const { return root + QLatin1Char('/') + name; }
    // Files handed over since the last clear(), relative to the folder, sorted.
    std::vector<QString> files() const
    {
        std::vector<QString> result;
        for (const BackupCall& c : calls)
            result.push_back(QDir(root).relativeFilePath(c.File));
        std::sort(result.begin(), result.end());
        return result;
    }
    void clear()
    {
        calls.clear();
        detected.Clear();
        sleeps.clear();
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
    std::vector<qint64> sleeps; // each wait, in milliseconds
    ChangedFolderScan scan{rig.Context, detected, [this](const QString& s, int p, const QString& f) {
                               calls.push_back({s, p, f});
                           }};
};

// From one second before the reference to the end of the next clock hour, as texts and as times.
TEST(ChangedTest, FollowsTheSecondAndClockHourRule)
{
    const QDateTime at1059_59(QDate(2026, 3, 10), QTime(10, 59, 59));
    const QDateTime at1100_00(QDate(2026, 3, 10), QTime(11, 0, 0));
    // {name, modified, reference, changed}
    const std::tuple<const char*, QDateTime, QDateTime, bool> rows[] = {
        {"SameSecond", T0, T0, true},
        {"OneSecondBefore", T0.addSecs(-1), T0, true},
        {"TwoSecondsBefore", T0.addSecs(-2), T0, false},
        {"InTheNextClockHour", T0.addSecs(89 * 60), T0, true},
        {"TwoClockHoursAfter", T0.addSecs(2 * 3600), T0, false},
        {"AcrossTheHourByTwoSeconds", at1100_00.addSecs(1), at1059_59, true},
        {"OneSecondBeforeInThePreviousHour", at1059_59, at1100_00, false}};
    for (const auto& [name, modified, reference, changed] : rows) {
        EXPECT_EQ(ChangedFolderScan::IsChanged(DateText::Format(modified), DateText::Format(reference)),
                  changed)
            << name;
        EXPECT_EQ(ChangedFolderScan::IsChanged(modified, reference), changed) << name;
    }
    // A reference that is no time matches nothing.
    EXPECT_FALSE(ChangedFolderScan::IsChanged(DateText::Format(T0), QStringLiteral("Never")));
}

// "/Work" is no parent of the look-alike sibling "/Workshop".
TEST_F(ScanTest, OnlyAssociationsWithADestinationDirectlyInTheFolderCount)
{
    rig.AddAssociation(root, true, false);
    rig.AddAssociation(root + QStringLiteral("shop"), true, false, {destination});
    const QString direct = at("a.txt");
    WriteFile(direct, "x", T0);
    process();
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(panels.PanelText(QStringLiteral("Running")).isEmpty());

    for (const QString& f : {direct, at("sub/b.txt"), root + QStringLiteral("shop/c.txt")}) {
        WriteFile(f, "x", T0);
        rig.AddAssociation(f, false, false, {destination});
    }
    QString during;
    rig.Pump.OnPump = [&] { during = panels.PanelText(QStringLiteral("Running")); };
    process();
    ASSERT_EQ(files(), std::vector<QString>{"a.txt"});
    EXPECT_EQ(calls[0].Source, direct);
    EXPECT_EQ(calls[0].Position, 3);
    EXPECT_EQ(during, QStringLiteral("Scanning... "));
    EXPECT_EQ(panels.PanelText(QStringLiteral("Running")), QStringLiteral("Waiting... "));
}

// A later time within the same second, or a new size, is a new save; the file unchanged is not.
TEST_F(ScanTest, SecondSaveWithinTheSameSecondIsHandedOverAgain)
{
    rig.AddAssociation(root, true, false, {destination});
    for (const auto& [content, msecs, handedOver] :
         {std::tuple{"first", 200, 1u}, std::tuple{"first", 700, 2u}, std::tuple{"second save", 700, 3u},
          std::tuple{"second save", 700, 3u}}) {
        WriteFile(at("a.txt"), content, T0.addMSecs(msecs));
        scanRoot(false);
        EXPECT_EQ(calls.size(), handedOver);
    }
}

// Dot files follow CopyHidden outside manual mode; a manual run takes them.
TEST_F(ScanTest, DotFilesFollowCopyHiddenOutsideManualMode)
{
    clsBackup& folder = rig.AddAssociation(root, true, false, {destination});
    WriteFile(at(".hidden"), "h", T0);
    for (const auto& [copyHidden, manual, handedOver] :
         {std::tuple{false, false, 0u}, std::tuple{true, false, 1u}, std::tuple{false, true, 1u}}) {
        clear();
        folder.CopyHidden = copyHidden;
        scanRoot(false, manual);
        EXPECT_EQ(calls.size(), handedOver) << copyHidden << manual;
    }
}

// Manual mode skips the changed test; neither mode takes links or pipes, nor follows a link: one to a
// parent would loop, one to the backup would copy copies.
TEST_F(ScanTest, OnlyRegularFilesAreTakenAndManualModeSkipsTheTests)
{
    rig.AddAssociation(root, true, true, {destination});
    WriteFile(at("real.txt"), "r", T0.addSecs(20).addMSecs(400));
    WriteFile(at("sub/inner.txt"), "i", T0);
    WriteFile(at("ancient.txt"), "a", T0.addDays(-400));
    WriteFile(destination + QStringLiteral("/copy.txt"), "c", T0);
    for (const auto& [link, target] : {std::pair{"sub/up", ".."}, {"sub/out", "../../Backup"}})
        ASSERT_EQ(::symlink(target, at(link).toLocal8Bit().constData()), 0);
    ASSERT_TRUE(QFile::link(at("real.txt"), at("link.txt")));
    ASSERT_EQ(::mkfifo(at("pipe").toLocal8Bit().constData(), 0600), 0);

    scanRoot(true);
    EXPECT_EQ(files(), (std::vector<QString>{"real.txt", "sub/inner.txt"}));
    EXPECT_EQ(scan.NewDetectionDate, DateText::Format(T0.addSecs(21)));

    clear();
    scan.NewDetectionDate.clear();
    rig.State.ManualSync = true;
    scanRoot(true, true);
    EXPECT_EQ(files(), (std::vector<QString>{"ancient.txt", "real.txt", "sub/inner.txt"}));
    ASSERT_EQ(detected.Count(), 3);
    for (const clsDetectedFile& f : detected)
        EXPECT_TRUE(f.ModifiedDate.isEmpty());
    EXPECT_TRUE(scan.NewDetectionDate.isEmpty());
}

TEST_F(ScanTest, PacingWaitsGoThroughTheWaiter)
{
    rig.AddAssociation(root, true, false, {destination});
    writeFiles(31, T0.addSecs(-600));

    process(rig.Notifier.Open(root, false));

    // The top folder's wait, one wait per 15 files, one look for a new signal.
    EXPECT_EQ(sleeps, (std::vector<qint64>{500, 50, 50, 10}));
    EXPECT_EQ(scan.PacingCount, 1);
    EXPECT_EQ(rig.Pump.Calls, 31);
}

TEST_F(ScanTest, ScanningPopupShownBeforeEachSubFolderWhenAskedAndNotDismissed)
{
    rig.AddAssociation(root, true, true, {destination});
    QDir().mkpath(at("one"));
    QDir().mkpath(at("two"));
    for (const auto& [showScanning, dismissed, popups] :
         {std::tuple{true, false, 2}, std::tuple{false, false, 0}, std::tuple{true, true, 0}}) {
        rig.Hooks.ScanningPopups = 0;
        rig.Opts.ShowScanning = showScanning;
        rig.State.NotifyDismissed = dismissed;
        scanRoot(true);
        EXPECT_EQ(rig.Hooks.ScanningPopups, popups) << showScanning << dismissed;
    }
}

TEST_F(ScanTest, AssociationRemovedDuringAScanIsNotServedAnyMore)
{
    rig.AddAssociation(at("first.txt"), false, false, {destination});
    rig.AddAssociation(root, true, false, {destination});
    WriteFile(at("first.txt"), "x", T0.addSecs(-600));
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
}

// Each new signal is served by going round again, never by a deeper call: a small stack proves it.
TEST_F(ScanTest, ContinuousRewritesAreServedWithinASmallStack)
{
    const QString file = at("busy.txt");
    rig.AddAssociation(file, false, false, {destination});
    WriteFile(file, "0", T0);
    const int handle = rig.Notifier.Open(root, false);
    constexpr int Rewrites = 2500;
    int rewrites = 0;
    rig.Wait.OnSleep = [&](qint64) {
        if (rewrites == Rewrites)
            return;
        SetModified(file, T0.addMSecs(++rewrites));
        rig.Notifier.Signal(root);
    };

    std::unique_ptr<QThread> worker(QThread::create([&] { process(handle); }));
    worker->setStackSize(512 * 1024);
    worker->start();
    ASSERT_TRUE(worker->wait(120000));

    EXPECT_EQ(calls.size(), size_t(Rewrites) + 1);
}

// Told by real inotify where the tree changed, the scan must hand over what a whole walk does.
TEST_F(ScanTest, TargetedScanOfRandomChangesHandsOverWhatTheFullWalkDoes)
{
    rig.AddAssociation(root, true, true, {destination});
    for (const char* folder : {"a", "a/b", "a/b/c", "d", "d/e", "f"})
        for (int i = 0; i < 3; ++i)
            WriteFile(at(folder + QStringLiteral("/old%1.txt").arg(i)), "old", T0.addDays(-1));
    const QString outside = dir.filePath(QStringLiteral("Outside"));
    QDir().mkpath(outside);
    // Watching starts as the program's does: open, then re-arm before the first tick.
    InotifyNotifier notifier;
    const int handle = notifier.Open(root, true);
    ASSERT_TRUE(handle > 0 && notifier.WatchesInPlace(handle));
    notifier.Rearm(handle);
    // Files handed over, and how often the interface ran (once per file and sub-folder looked at).
    const auto scanned = [&](const QDateTime& reference, const FolderChanges* changes) {
        clear();
        rig.Pump.Calls = 0;
        if (changes)
            scan.ProcessChangedFolder(root, DateText::Format(reference), 0, *changes);
        else
            scan.ScanFolder(root, 1, root, DateText::Format(reference), true, false);
        return std::pair{files(), rig.Pump.Calls};
    };
    std::mt19937 random(20261207);
    const auto roll = [&](int most) { return std::uniform_int_distribution<int>(0, most)(random); };
    const auto pick = [&](const QStringList& from) { return from[roll(int(from.size()) - 1)]; };
    const auto below = [&](QDir::Filters kind) {
        QStringList found;
        for (QDirIterator it(root, kind | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
             it.hasNext();)
            found << it.next();
        return found;
    };
    const auto move = [](const QString& from, const QString& to) {
        ASSERT_EQ(std::rename(QFile::encodeName(from), QFile::encodeName(to)), 0);
    };
    int serial = 0, targetedLooks = 0, fullLooks = 0;
    for (int step = 1; step <= 40; ++step) {
        // Each step is one tick: its saves share one time, ten seconds after the last.
        const QDateTime now = T0.addSecs(10 * step);
        const QStringList folders = QStringList{root} + below(QDir::Dirs), files = below(QDir::Files);
        for (int c = roll(3); c >= 0; --c) {
            const QString name = QStringLiteral("n%1.txt").arg(++serial);
            QString folder = pick(folders);
            if (!QFileInfo(folder).isDir())
                folder = root;          // moved away by an earlier change of this step
            QString file = pick(files); // overwritten, or a new file if moved away or by chance
            if (!QFileInfo::exists(file) || roll(1))
                file = folder + QLatin1Char('/') + name;
            switch (roll(4)) {
            case 0:
                WriteFile(file, "written", now);
                break;
            case 1: // written elsewhere, new or old, renamed into place
                WriteFile(outside + QLatin1Char('/') + name, "moved in", roll(1) ? now : T0.addDays(-2));
                move(outside + QLatin1Char('/') + name, file);
                break;
            case 2: // new sub-folders, written into at once
                WriteFile(folder + QStringLiteral("/s%1/t/").arg(serial) + name, "deep", now);
                WriteFile(folder + QStringLiteral("/s%1/").arg(serial) + name, "new folder", now);
                break;
            case 3: { // a folder with new files renamed into the tree
                const QString made = outside + QStringLiteral("/m%1").arg(serial);
                WriteFile(made + QStringLiteral("/inner/") + name, "made outside", now);
                move(made, folder + QStringLiteral("/m%1").arg(serial));
                break;
            }
            default: { // a folder moved within the tree, then written into
                const QString moving = pick(folders), moved = folder + QStringLiteral("/r%1").arg(serial);
                if (moving == root || !QFileInfo(moving).isDir() || folder == moving ||
                    folder.startsWith(moving + QLatin1Char('/')))
                    break;
                move(moving, moved);
                if (roll(1))
                    WriteFile(moved + QLatin1Char('/') + name, "after the move", now);
                break;
            }
            }
        }
        // What a watch tick reads just before re-arming; its second poll reads the queue afresh.
        notifier.Wait(handle, 0);
        notifier.Wait(handle, 0);
        const FolderChanges changes = notifier.ChangesSinceRearm(handle);
        notifier.Rearm(handle);
        ASSERT_TRUE(changes.Known) << "step " << step;
        const auto [handedOver, looked] = scanned(now, &changes);
        EXPECT_TRUE(sleeps.empty() || sleeps.front() == ChangedFolderScan::TopFolderWaitMs)
            << "step " << step;
        EXPECT_LE(std::count(sleeps.begin(), sleeps.end(), ChangedFolderScan::TopFolderWaitMs), 1);
        const auto [walked, lookedByWalk] = scanned(now, nullptr);
        ASSERT_EQ(handedOver, walked) << "step " << step;
        targetedLooks += looked;
        fullLooks += lookedByWalk;
    }
    EXPECT_LT(targetedLooks * 3, fullLooks) << "the targeted scan looks at a fraction of the files";
}

} // namespace
