#include "EngineFakes.h"

#include "core/DateText.h"
#include "engine/Engine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void writeFile(const QString& path, const QByteArray& content, const QDateTime& modified)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(content);
    file.flush();
    ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

class WatchTest : public ::testing::Test
{
  protected:
    WatchTest()
    {
        root = QDir(dir.path()).filePath(QStringLiteral("Work"));
        destination = QDir(dir.path()).filePath(QStringLiteral("Backup"));
        QDir().mkpath(root);
        QDir().mkpath(destination);
    }

    QString at(const QString& name) const { return root + QLatin1Char('/') + name; }
    const FakeChangeNotifier::Watch& watchOf(const QString& folder)
    {
        const clsDetectFolder* record = engine.DetectFolders().Item(folder);
        EXPECT_NE(record, nullptr);
        return rig.Notifier.Watches.at(record ? record->AutoBackup : 0);
    }

    QTemporaryDir dir;
    QString root;
    QString destination;
    EngineRig rig;
    Engine engine{rig.Context};
};

TEST(DetectFoldersTest, KeyedByTheExactPathWithPositionsFromOne)
{
    colDetectFolders folders;
    ASSERT_NE(folders.Add(QStringLiteral("/data/Work"), 3, 0, QString(), QStringLiteral("/data/Work")),
              nullptr);
    ASSERT_NE(folders.Add(QStringLiteral("/data/work"), 4, 0, QString(), QStringLiteral("/data/work")),
              nullptr);
    EXPECT_EQ(folders.Add(QStringLiteral("/data/Work"), 5, 0, QString(), QStringLiteral("/data/Work")),
              nullptr);
    EXPECT_EQ(folders.Count(), 2);
    EXPECT_EQ(folders.Item(QStringLiteral("/data/work"))->AutoBackup, 4);
    EXPECT_TRUE(folders.Remove(1));
    EXPECT_EQ(folders.Item(1)->AutoBackup, 4);
    EXPECT_EQ(folders.Item(QStringLiteral("/data/work"))->AutoBackup, 4);
    EXPECT_EQ(folders.Item(QStringLiteral("/data/Work")), nullptr);
    EXPECT_EQ(folders.Item(2), nullptr);
}

TEST_F(WatchTest, WatchesTheFileFolderOrTheFolderItselfAndNothingMissing)
{
    QDir().mkpath(at(QStringLiteral("sub")));
    writeFile(at(QStringLiteral("a.txt")), "a", QDateTime::currentDateTime());

    engine.WatchSourceFolder(at(QStringLiteral("a.txt")), false);
    engine.WatchSourceFolder(at(QStringLiteral("sub/")), true);
    engine.WatchSourceFolder(at(QStringLiteral("gone.txt")), false);

    ASSERT_EQ(engine.DetectFolders().Count(), 2);
    EXPECT_EQ(engine.DetectFolders().Item(1)->Folder, root);
    EXPECT_EQ(engine.DetectFolders().Item(2)->Folder, at(QStringLiteral("sub")));
    EXPECT_FALSE(watchOf(root).Subtree);
    EXPECT_TRUE(watchOf(at(QStringLiteral("sub"))).Subtree);
    EXPECT_EQ(rig.Notifier.OpenCount(), 2);
}

TEST_F(WatchTest, AssociationsInOneFolderShareOneRenewedRecord)
{
    writeFile(at(QStringLiteral("a.txt")), "a", QDateTime::currentDateTime());
    writeFile(at(QStringLiteral("b.txt")), "b", QDateTime::currentDateTime());
    engine.WatchSourceFolder(at(QStringLiteral("a.txt")), false);
    const int first = engine.DetectFolders().Item(1)->AutoBackup;
    engine.DetectFolders().Item(1)->DetectionDate = DateText::Format(QDateTime::currentDateTime());
    const QString reference = engine.DetectFolders().Item(1)->DetectionDate;

    engine.WatchSourceFolder(at(QStringLiteral("b.txt")), false);

    ASSERT_EQ(engine.DetectFolders().Count(), 1);
    EXPECT_NE(engine.DetectFolders().Item(1)->AutoBackup, first);
    EXPECT_FALSE(rig.Notifier.Watches.at(first).Open);
    EXPECT_EQ(rig.Notifier.OpenCount(), 1);
    EXPECT_EQ(engine.DetectFolders().Item(1)->DetectionDate, reference);
}

struct SubtreeRow
{
    const char* Name;
    bool FolderFirst; // the folder association is set up before the file association
    bool FolderRecursive;
    bool WatchesSubFolders;
};

class SubtreeTest : public WatchTest, public ::testing::WithParamInterface<SubtreeRow>
{
};

// The file association set up last must not switch off the sub-folders that a
// recursive folder association on the same folder needs.
TEST_P(SubtreeTest, SubFoldersWatchedWhileAnyAssociationNeedsThem)
{
    const SubtreeRow& row = GetParam();
    const QString file = at(QStringLiteral("notes.txt"));
    writeFile(file, "n", QDateTime::currentDateTime());
    rig.AddAssociation(root, true, row.FolderRecursive, {destination});
    rig.AddAssociation(file, false, false, {destination});
    if (row.FolderFirst) {
        engine.WatchSourceFolder(root, row.FolderRecursive);
        engine.WatchSourceFolder(file, false);
    } else {
        engine.WatchSourceFolder(file, false);
        engine.WatchSourceFolder(root, row.FolderRecursive);
    }
    ASSERT_EQ(engine.DetectFolders().Count(), 1);
    EXPECT_EQ(watchOf(root).Subtree, row.WatchesSubFolders);
}

INSTANTIATE_TEST_SUITE_P(Rows, SubtreeTest,
                         ::testing::Values(SubtreeRow{"RecursiveFolderThenFile", true, true, true},
                                           SubtreeRow{"FileThenRecursiveFolder", false, true, true},
                                           SubtreeRow{"PlainFolderThenFile", true, false, false}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(WatchTest, SubFoldersStopBeingWatchedWhenNoAssociationNeedsThemAnyMore)
{
    clsBackup& folder = rig.AddAssociation(root, true, true, {destination});
    engine.WatchSourceFolder(root, true);
    folder.Recursive = false; // the properties dialog changed it, then sets the watch up again
    engine.WatchSourceFolder(root, false);
    EXPECT_FALSE(watchOf(root).Subtree);
}

TEST_F(WatchTest, QuietTicksMoveTheReferenceForwardAndClosedRecordsGo)
{
    QDir().mkpath(at(QStringLiteral("a")));
    QDir().mkpath(at(QStringLiteral("b")));
    QDir().mkpath(at(QStringLiteral("c")));
    rig.Notifier.FailingFolders.insert(at(QStringLiteral("c")));
    engine.WatchSourceFolder(at(QStringLiteral("a")), false);
    engine.WatchSourceFolder(at(QStringLiteral("b")), false);
    engine.WatchSourceFolder(at(QStringLiteral("c")), false);
    EXPECT_EQ(engine.DetectFolders().Item(3)->AutoBackup, clsDetectFolder::NoNotification);
    engine.DetectFolders().Item(2)->ClassNotifyDelete(rig.Notifier);
    engine.StartWatching();
    EXPECT_TRUE(engine.WatchTimerArmed());

    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    engine.WatchTimerProc();

    ASSERT_EQ(engine.DetectFolders().Count(), 2);
    EXPECT_EQ(engine.DetectFolders().Item(2)->AutoBackup, clsDetectFolder::NoNotification);
    for (const clsDetectFolder& record : engine.DetectFolders()) {
        const auto reference = DateText::Parse(record.DetectionDate);
        ASSERT_TRUE(reference.has_value()) << record.DetectionDate.toStdString();
        EXPECT_GE(*reference, before);
    }
    EXPECT_EQ(engine.DetectFolders().Item(1)->Result, ChangeNotifier::TimedOut);
    EXPECT_TRUE(engine.WatchTimerArmed());
}

TEST_F(WatchTest, ProcessedFolderTakesTheNewReferenceAndForgetsItsFiles)
{
    rig.AddAssociation(root, true, false, {destination});
    engine.WatchSourceFolder(root, false);
    engine.StartWatching();
    engine.WatchTimerProc(); // quiet: the reference is now
    const QDateTime modified = QDateTime::currentDateTime().addSecs(30);
    writeFile(at(QStringLiteral("a.txt")), "a", modified);
    rig.Notifier.Signal(root);

    engine.WatchTimerProc();

    EXPECT_TRUE(QFile::exists(destination + QStringLiteral("/Work/a.txt")));
    EXPECT_TRUE(engine.ProcessedLastTick);
    EXPECT_TRUE(rig.State.Detecting);
    EXPECT_EQ(engine.DetectedFiles().Count(), 0);
    const QString next = DateText::Format(modified.addSecs(1));
    EXPECT_EQ(engine.DetectFolders().Item(1)->DetectionDate, next);
    EXPECT_EQ(rig.Notifier.Wait(engine.DetectFolders().Item(1)->AutoBackup, 0), ChangeNotifier::TimedOut);

    engine.WatchTimerProc(); // follows a processed tick: the reference stays
    EXPECT_EQ(engine.DetectFolders().Item(1)->DetectionDate, next);
    EXPECT_FALSE(engine.ProcessedLastTick);
    engine.WatchTimerProc(); // quiet
    EXPECT_NE(engine.DetectFolders().Item(1)->DetectionDate, next);
    EXPECT_FALSE(rig.State.Detecting);
}

TEST_F(WatchTest, PausedFolderIsRearmedButNotProcessed)
{
    rig.AddAssociation(root, true, false, {destination});
    engine.WatchSourceFolder(root, false);
    engine.StartWatching();
    engine.WatchTimerProc();
    writeFile(at(QStringLiteral("a.txt")), "a", QDateTime::currentDateTime());
    rig.Notifier.Signal(root);
    rig.State.Paused = true;

    engine.WatchTimerProc();

    EXPECT_FALSE(QFile::exists(destination + QStringLiteral("/Work/a.txt")));
    EXPECT_EQ(rig.Notifier.Wait(engine.DetectFolders().Item(1)->AutoBackup, 0), ChangeNotifier::TimedOut);
    EXPECT_FALSE(engine.ProcessedLastTick);
    EXPECT_TRUE(engine.WatchTimerArmed());
}

struct EndOfTickRow
{
    const char* Name;
    bool Exiting;
    bool StopScanning;
    bool Scanning;
    bool Armed;
};

class EndOfTickTest : public WatchTest, public ::testing::WithParamInterface<EndOfTickRow>
{
};

// Only the program's exit stops the watch timer: a pause that stopped a scan,
// whether or not the scan then reached its end, must not.
TEST_P(EndOfTickTest, OnlyExitStopsTheTimer)
{
    const EndOfTickRow& row = GetParam();
    engine.StartWatching();
    rig.State.Exiting = row.Exiting;
    rig.State.StopScanning = row.StopScanning;
    rig.State.Scanning = row.Scanning;

    engine.WatchTimerProc();

    EXPECT_EQ(engine.WatchTimerArmed(), row.Armed);
    EXPECT_EQ(rig.State.WatchStopped, !row.Armed);
    if (row.Armed) {
        EXPECT_FALSE(rig.State.StopScanning);
        EXPECT_FALSE(rig.State.Scanning);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, EndOfTickTest,
    ::testing::Values(EndOfTickRow{"Running", false, false, false, true},
                      EndOfTickRow{"PauseStoppedAScanThatGaveUp", false, true, true, true},
                      EndOfTickRow{"PauseStoppedAScanThatEnded", false, true, false, true},
                      EndOfTickRow{"Exit", true, true, false, false},
                      EndOfTickRow{"ExitDuringAScan", true, true, true, false}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(WatchTest, ExitDuringAScanStopsWatchingForGood)
{
    rig.AddAssociation(root, true, false, {destination});
    for (int i = 0; i < 5; ++i)
        writeFile(at(QStringLiteral("f%1.txt").arg(i)), "x", QDateTime::currentDateTime().addSecs(5));
    engine.WatchSourceFolder(root, false);
    engine.StartWatching();
    engine.WatchTimerProc();
    rig.Notifier.Signal(root);
    rig.Pump.OnPump = [&] {
        // The exit sequence: Scanning cleared before StopScanning is set.
        rig.State.Exiting = true;
        rig.State.Scanning = false;
        rig.State.StopScanning = true;
    };

    engine.WatchTimerProc();

    EXPECT_TRUE(rig.State.WatchStopped);
    EXPECT_FALSE(engine.WatchTimerArmed());
    EXPECT_LE(rig.Copier.Calls, 1);
    engine.CloseAllNotifications();
    EXPECT_EQ(rig.Notifier.OpenCount(), 0);
}

// The properties dialog sets a watch up again while a scan lets the interface run.
TEST_F(WatchTest, WatchRenewedDuringItsOwnScanLeavesAnOpenRecord)
{
    rig.AddAssociation(root, true, false, {destination});
    for (int i = 0; i < 3; ++i)
        writeFile(at(QStringLiteral("f%1.txt").arg(i)), "x", QDateTime::currentDateTime().addSecs(5));
    QDir().mkpath(at(QStringLiteral("other")));
    engine.WatchSourceFolder(at(QStringLiteral("other")), false);
    engine.WatchSourceFolder(root, false);
    engine.StartWatching();
    engine.WatchTimerProc();
    rig.Notifier.Signal(root);
    rig.Pump.OnPump = [&] {
        if (rig.Pump.Calls == 1) {
            engine.WatchSourceFolder(root, false);
            engine.WatchSourceFolder(at(QStringLiteral("other")), false);
        }
    };

    engine.WatchTimerProc();

    ASSERT_EQ(engine.DetectFolders().Count(), 2);
    for (const clsDetectFolder& record : engine.DetectFolders())
        EXPECT_TRUE(record.IsOpen());
    EXPECT_EQ(rig.Notifier.OpenCount(), 2);
    EXPECT_EQ(rig.Copier.Calls, 3);
    EXPECT_TRUE(engine.WatchTimerArmed());
}

TEST_F(WatchTest, TickHookRunsEveryTick)
{
    int calls = 0;
    engine.SetTickHook([&] { ++calls; });
    engine.WatchTimerProc();
    engine.WatchTimerProc();
    EXPECT_EQ(calls, 2);
}

} // namespace
