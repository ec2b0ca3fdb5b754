#include "EngineFakes.h"

#include "core/DateText.h"
#include "core/StatusPanels.h"
#include "engine/ChangedFolderScan.h"
#include "engine/colDetectedFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <map>
#include <sys/stat.h>

namespace {

// A fixed reference time in the middle of a clock hour.
const QDateTime T0(QDate(2026, 3, 10), QTime(10, 30, 0));

class RecordingPanels : public StatusPanels
{
  public:
    std::map<QString, QString> Texts;
    std::vector<QString> RunningHistory;

    void SetPanelText(const QString& key, const QString& text) override
    {
        Texts[key] = text;
        if (key == QStringLiteral("Running"))
            RunningHistory.push_back(text);
    }
    QString PanelText(const QString& key) const override
    {
        const auto it = Texts.find(key);
        return it == Texts.end() ? QString() : it->second;
    }
};

void writeFile(const QString& path, const QByteArray& content, const QDateTime& modified)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(content);
    file.flush(); // a later flush would move the time again
    ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

// A new modification time without writing: rewriting (truncating) costs a disk
// flush on ext4 each time.
void touch(const QString& path, const QDateTime& modified)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
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
        root = QDir(dir.path()).filePath(QStringLiteral("Work"));
        QDir().mkpath(root);
        destination = QDir(dir.path()).filePath(QStringLiteral("Backup"));
    }

    QString at(const QString& name) const { return root + QLatin1Char('/') + name; }
    std::string path(const char* name) const { return at(QLatin1String(name)).toStdString(); }
    std::vector<std::string> files() const
    {
        std::vector<std::string> result;
        for (const BackupCall& c : calls)
            result.push_back(c.File.toStdString());
        std::sort(result.begin(), result.end());
        return result;
    }
    void process(int handle = 0) { scan.ProcessChangedFolder(root, DateText::Format(T0), handle); }

    EngineRig rig;
    RecordingPanels panels;
    QTemporaryDir dir;
    QString root;
    QString destination;
    colDetectedFiles detected;
    std::vector<BackupCall> calls;
    ChangedFolderScan scan{rig.Context, detected, [this](const QString& s, int p, const QString& f) {
                               calls.push_back({s, p, f});
                           }};
};

// --- the changed test -------------------------------------------------------

struct ChangedRow
{
    const char* Name;
    QDateTime Modified;
    QDateTime Reference;
    bool Changed;
};

class ChangedTest : public ::testing::TestWithParam<ChangedRow>
{
};

TEST_P(ChangedTest, FollowsTheSecondAndClockHourRule)
{
    const ChangedRow& row = GetParam();
    EXPECT_EQ(ChangedFolderScan::IsChanged(DateText::Format(row.Modified), DateText::Format(row.Reference)),
              row.Changed);
    EXPECT_EQ(ChangedFolderScan::IsChanged(row.Modified, row.Reference), row.Changed);
}

const QDateTime at1059_59(QDate(2026, 3, 10), QTime(10, 59, 59));
const QDateTime at1100_00(QDate(2026, 3, 10), QTime(11, 0, 0));
const QDateTime at1100_01(QDate(2026, 3, 10), QTime(11, 0, 1));

INSTANTIATE_TEST_SUITE_P(
    Rows, ChangedTest,
    ::testing::Values(ChangedRow{"SameSecond", T0, T0, true},
                      ChangedRow{"SameSecondLaterMilliseconds", T0.addMSecs(999), T0, true},
                      ChangedRow{"OneSecondBefore", T0.addSecs(-1), T0, true},
                      ChangedRow{"TwoSecondsBefore", T0.addSecs(-2), T0, false},
                      ChangedRow{"LaterInTheSameHour", T0.addSecs(29 * 60 + 59), T0, true},
                      ChangedRow{"InTheNextClockHour", T0.addSecs(89 * 60), T0, true},
                      ChangedRow{"TwoClockHoursAfter", T0.addSecs(2 * 3600), T0, false},
                      ChangedRow{"AcrossTheHourByTwoSeconds", at1100_01, at1059_59, true},
                      ChangedRow{"OneSecondBeforeInThePreviousHour", at1059_59, at1100_00, false},
                      ChangedRow{"DaysEarlier", T0.addDays(-3), T0, false}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ChangedTextTest, AReferenceThatIsNoTimeMatchesNothing)
{
    EXPECT_FALSE(ChangedFolderScan::IsChanged(DateText::Format(T0), QString()));
    EXPECT_FALSE(ChangedFolderScan::IsChanged(DateText::Format(T0), QStringLiteral("Never")));
}

// --- what a signalled folder hands over -------------------------------------

TEST_F(ScanTest, FolderWithNoDestinationBelowItDoesNothing)
{
    rig.AddAssociation(root, true, false);
    // A destination of a look-alike sibling: "/Work" is no parent of "/Workshop".
    rig.AddAssociation(root + QStringLiteral("shop"), true, false, {destination});
    writeFile(at(QStringLiteral("a.txt")), "a", T0);

    process();

    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(panels.RunningHistory.empty());
    EXPECT_FALSE(rig.State.Scanning);
    EXPECT_EQ(rig.Wait.Sleeps, 0);
}

TEST_F(ScanTest, FileAssociationsCountOnlyDirectlyInTheFolder)
{
    QDir().mkpath(at(QStringLiteral("sub")));
    QDir().mkpath(root + QStringLiteral("shop"));
    const QString direct = at(QStringLiteral("a.txt"));
    const QString below = at(QStringLiteral("sub/b.txt"));
    const QString sibling = root + QStringLiteral("shop/c.txt");
    for (const QString& f : {direct, below, sibling}) {
        writeFile(f, "x", T0);
        rig.AddAssociation(f, false, false, {destination});
    }

    process();

    ASSERT_EQ(files(), std::vector<std::string>{direct.toStdString()});
    EXPECT_EQ(calls[0].Source, direct);
    EXPECT_EQ(calls[0].Position, 1);
    EXPECT_EQ(panels.PanelText(QStringLiteral("Running")), QStringLiteral("Waiting... "));
    EXPECT_EQ(panels.RunningHistory.front(), QStringLiteral("Scanning... "));
    EXPECT_FALSE(rig.State.Scanning);
}

TEST_F(ScanTest, OnlyChangedFilesAreHandedOverAndTheNewReferenceFollowsTheNewest)
{
    rig.AddAssociation(root, true, false, {destination});
    writeFile(at(QStringLiteral("old.txt")), "o", T0.addSecs(-60));
    writeFile(at(QStringLiteral("new.txt")), "n", T0.addSecs(5));
    writeFile(at(QStringLiteral("newer.txt")), "n", T0.addSecs(20).addMSecs(400));

    process();

    EXPECT_EQ(files(), (std::vector<std::string>{path("new.txt"), path("newer.txt")}));
    EXPECT_EQ(scan.NewDetectionDate, DateText::Format(T0.addSecs(21)));
    EXPECT_EQ(detected.Count(), 2);
}

TEST_F(ScanTest, SecondSaveWithinTheSameSecondIsHandedOverAgain)
{
    rig.AddAssociation(root, true, false, {destination});
    const QString file = at(QStringLiteral("a.txt"));
    writeFile(file, "first", T0.addMSecs(200));
    scan.ScanFolder(root, 1, root, DateText::Format(T0), false, false);
    ASSERT_EQ(calls.size(), 1u);

    // The same whole-second text, a later full-precision time.
    writeFile(file, "first", T0.addMSecs(700));
    scan.ScanFolder(root, 1, root, DateText::Format(T0), false, false);
    EXPECT_EQ(calls.size(), 2u);

    // The same time to the millisecond, a different size.
    writeFile(file, "second save", T0.addMSecs(700));
    scan.ScanFolder(root, 1, root, DateText::Format(T0), false, false);
    EXPECT_EQ(calls.size(), 3u);

    // Seen again unchanged within the same processing: not handed over again.
    scan.ScanFolder(root, 1, root, DateText::Format(T0), false, false);
    EXPECT_EQ(calls.size(), 3u);
}

struct HiddenRow
{
    const char* Name;
    bool CopyHidden;
    bool Manual;
    bool HandedOver;
};

class HiddenFileTest : public ScanTest, public ::testing::WithParamInterface<HiddenRow>
{
};

TEST_P(HiddenFileTest, DotFilesFollowCopyHiddenOutsideManualMode)
{
    rig.AddAssociation(root, true, false, {destination}).CopyHidden = GetParam().CopyHidden;
    writeFile(at(QStringLiteral(".hidden")), "h", T0);
    scan.ScanFolder(root, 1, root, DateText::Format(T0), false, GetParam().Manual);
    EXPECT_EQ(calls.size(), GetParam().HandedOver ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Rows, HiddenFileTest,
                         ::testing::Values(HiddenRow{"SkippedAutomatically", false, false, false},
                                           HiddenRow{"CopiedWhenAsked", true, false, true},
                                           HiddenRow{"ManualTakesIt", false, true, true}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ScanTest, ManualModeHandsOverEveryRegularFileWithoutTests)
{
    rig.AddAssociation(root, true, true, {destination});
    QDir().mkpath(at(QStringLiteral("sub")));
    writeFile(at(QStringLiteral("ancient.txt")), "a", T0.addDays(-400));
    writeFile(at(QStringLiteral("future.txt")), "f", T0.addDays(400));
    writeFile(at(QStringLiteral("sub/deep.txt")), "d", T0.addDays(-1));
    rig.State.ManualSync = true;

    scan.ScanFolder(root, 1, root, DateText::Now(), true, true);

    EXPECT_EQ(files(),
              (std::vector<std::string>{path("ancient.txt"), path("future.txt"), path("sub/deep.txt")}));
    ASSERT_EQ(detected.Count(), 3);
    for (const clsDetectedFile& f : detected)
        EXPECT_TRUE(f.ModifiedDate.isEmpty());
    EXPECT_TRUE(scan.NewDetectionDate.isEmpty());
}

TEST_F(ScanTest, OnlyRegularFilesAreTakenAndFolderLinksAreNotFollowed)
{
    rig.AddAssociation(root, true, true, {destination});
    QDir().mkpath(at(QStringLiteral("sub")));
    writeFile(at(QStringLiteral("real.txt")), "r", T0);
    writeFile(at(QStringLiteral("sub/inner.txt")), "i", T0);
    // A link back to the top would loop forever if followed; a pipe would block a reader.
    ASSERT_TRUE(QFile::link(root, at(QStringLiteral("sub/loop"))));
    ASSERT_TRUE(QFile::link(at(QStringLiteral("real.txt")), at(QStringLiteral("link.txt"))));
    ASSERT_EQ(::mkfifo(at(QStringLiteral("pipe")).toLocal8Bit().constData(), 0600), 0);

    scan.ScanFolder(root, 1, root, DateText::Format(T0), true, false);
    EXPECT_EQ(files(), (std::vector<std::string>{path("real.txt"), path("sub/inner.txt")}));

    calls.clear();
    rig.State.ManualSync = true;
    scan.ScanFolder(root, 1, root, DateText::Format(T0), true, true);
    EXPECT_EQ(files(), (std::vector<std::string>{path("real.txt"), path("sub/inner.txt")}));
}

TEST_F(ScanTest, PacingWaitsGoThroughTheWaiter)
{
    rig.AddAssociation(root, true, false, {destination});
    for (int i = 0; i < 31; ++i)
        writeFile(at(QStringLiteral("f%1.txt").arg(i)), "x", T0.addSecs(-600));
    std::vector<int> sleeps;
    rig.Wait.OnSleep = [&, last = qint64(0)](qint64 now) mutable {
        sleeps.push_back(int(now - last));
        last = now;
    };
    const int handle = rig.Notifier.Open(root, false);

    process(handle);

    // The top folder's wait, one wait per 15 files, one look for a new signal.
    EXPECT_EQ(sleeps, (std::vector<int>{500, 50, 50, 10}));
    EXPECT_EQ(scan.PacingCount, 1);
    EXPECT_EQ(rig.Pump.Calls, 31);
}

struct PopupRow
{
    const char* Name;
    bool ShowScanning;
    bool Dismissed;
    int Popups;
};

class ScanningPopupTest : public ScanTest, public ::testing::WithParamInterface<PopupRow>
{
};

TEST_P(ScanningPopupTest, ShownBeforeEachSubFolderWhenAskedAndNotDismissed)
{
    rig.AddAssociation(root, true, true, {destination});
    QDir().mkpath(at(QStringLiteral("one")));
    QDir().mkpath(at(QStringLiteral("two")));
    rig.Opts.ShowScanning = GetParam().ShowScanning;
    rig.State.NotifyDismissed = GetParam().Dismissed;
    scan.ScanFolder(root, 1, root, DateText::Format(T0), true, false);
    EXPECT_EQ(rig.Hooks.ScanningPopups, GetParam().Popups);
}

INSTANTIATE_TEST_SUITE_P(Rows, ScanningPopupTest,
                         ::testing::Values(PopupRow{"Shown", true, false, 2},
                                           PopupRow{"OptionOff", false, false, 0},
                                           PopupRow{"Dismissed", true, true, 0}),
                         [](const auto& info) { return std::string(info.param.Name); });

// --- the interface runs during a scan ---------------------------------------

TEST_F(ScanTest, PauseDuringAScanAbandonsItAndLeavesThePauseText)
{
    rig.AddAssociation(root, true, false, {destination});
    for (int i = 0; i < 10; ++i)
        writeFile(at(QStringLiteral("f%1.txt").arg(i)), "x", T0);
    rig.Pump.OnPump = [&] {
        if (rig.Pump.Calls == 3) {
            // What the pause command does.
            rig.State.Paused = true;
            rig.State.StopScanning = true;
            rig.State.SetRunningText(QStringLiteral("Paused... "));
        }
    };

    process(rig.Notifier.Open(root, false));

    EXPECT_EQ(calls.size(), 2u);
    EXPECT_TRUE(rig.State.Scanning); // the watch tick clears it
    EXPECT_EQ(panels.PanelText(QStringLiteral("Running")), QStringLiteral("Paused... "));
}

TEST_F(ScanTest, AssociationRemovedDuringAScanIsNotServedAnyMore)
{
    rig.AddAssociation(at(QStringLiteral("first.txt")), false, false, {destination});
    rig.AddAssociation(root, true, false, {destination});
    writeFile(at(QStringLiteral("first.txt")), "x", T0.addSecs(-600));
    for (int i = 0; i < 5; ++i)
        writeFile(at(QStringLiteral("f%1.txt").arg(i)), "x", T0);
    rig.Pump.OnPump = [&] {
        if (rig.Pump.Calls == 1) {
            // Removing the first association shifts the folder association to position 1.
            rig.State.Backups.Remove(1);
        } else if (rig.Pump.Calls == 3) {
            rig.State.Backups.Remove(root);
        }
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
    writeFile(file, "0", T0);
    const int handle = rig.Notifier.Open(root, false);
    constexpr int Rewrites = 2500;
    int rewrites = 0;
    rig.Wait.OnSleep = [&](qint64) {
        if (rewrites == Rewrites)
            return;
        ++rewrites;
        touch(file, T0.addMSecs(rewrites));
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

TEST_F(ScanTest, FolderChangedDuringItsScanIsScannedAgainAfterRearming)
{
    rig.AddAssociation(root, true, false, {destination});
    writeFile(at(QStringLiteral("a.txt")), "a", T0);
    const int handle = rig.Notifier.Open(root, false);
    bool written = false;
    rig.Pump.OnPump = [&] {
        if (!written) {
            written = true;
            writeFile(at(QStringLiteral("b.txt")), "b", T0.addSecs(1));
            rig.Notifier.Signal(root);
        }
    };

    process(handle);

    EXPECT_EQ(files(), (std::vector<std::string>{path("a.txt"), path("b.txt")}));
    EXPECT_EQ(rig.Notifier.Wait(handle, 0), ChangeNotifier::TimedOut);
}

} // namespace
