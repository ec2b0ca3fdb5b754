#include "support/EngineFakes.h"
#include "support/FakeStatusPanels.h"
#include "support/TestFiles.h"

#include "core/DateText.h"
#include "engine/ChangedFolderScan.h"
#include "engine/colDetectedFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <sys/stat.h>

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
        root = QDir(dir.path()).filePath(QStringLiteral("Work"));
        QDir().mkpath(root);
        destination = QDir(dir.path()).filePath(QStringLiteral("Backup"));
    }

    QString at(const QString& name) const { return root + QLatin1Char('/') + name; }
    std::vector<std::string> files() const
    {
        std::vector<std::string> result;
        for (const BackupCall& c : calls)
            result.push_back(QDir(root).relativeFilePath(c.File).toStdString());
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

    EngineRig rig;
    FakeStatusPanels panels;
    QTemporaryDir dir;
    QString root;
    QString destination;
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
    ASSERT_EQ(files(), std::vector<std::string>{"a.txt"});
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

    EXPECT_EQ(files(), (std::vector<std::string>{"new.txt", "newer.txt"}));
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
    EXPECT_EQ(files(), (std::vector<std::string>{"real.txt", "sub/inner.txt"}));

    calls.clear();
    detected.Clear();
    scan.NewDetectionDate.clear();
    rig.State.ManualSync = true;
    scanRoot(true, true);
    EXPECT_EQ(files(), (std::vector<std::string>{"ancient.txt", "future.txt", "real.txt", "sub/inner.txt"}));
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

} // namespace
