#include "support/EngineFakes.h"
#include "support/FakeStatusPanels.h"
#include "support/TestFiles.h"

#include "core/DateText.h"
#include "engine/Engine.h"
#include "engine/ProgramPause.h"

#include <QTemporaryDir>
#include <QtCore/qtestsupport_core.h>
#include <gtest/gtest.h>

namespace {

class WatchTest : public ::testing::Test
{
  protected:
    WatchTest()
    {
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
    // A watched folder association keeping two versions, with a quiet first tick behind it.
    void watchRootAndTick(int files = 0, bool recursive = false)
    {
        clsBackup& b = rig.AddAssociation(root, true, recursive, {destination});
        b.KeepBackup = true;
        b.Versions = 2;
        for (int i = 0; i < files; ++i)
            WriteFile(at(QStringLiteral("f%1.txt").arg(i)), "x", QDateTime::currentDateTime().addSecs(5));
        engine.WatchSourceFolder(root, recursive);
        engine.StartWatching();
        engine.WatchTimerProc();
    }
    // Watches set up in slices are finished from the event loop.
    void finishSetUp()
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return rig.Notifier.SettingUp.empty(); }));
    }

    QTemporaryDir dir;
    QString root = dir.filePath(QStringLiteral("Work"));
    QString destination = dir.filePath(QStringLiteral("Backup"));
    EngineRig rig;
    Engine engine{rig.Context};
};

TEST(DetectFoldersTest, KeyedByTheExactPathWithPositionsFromOne)
{
    colDetectFolders folders;
    const auto add = [&](const char* path, int handle) {
        return folders.Add(QString::fromLatin1(path), handle, ChangeNotifier::WaitResult::Signalled,
                           QString(), QString::fromLatin1(path));
    };
    ASSERT_NE(add("/data/Work", 3), nullptr);
    ASSERT_NE(add("/data/work", 4), nullptr);
    EXPECT_EQ(add("/data/Work", 5), nullptr);
    EXPECT_TRUE(folders.Remove(1));
    EXPECT_EQ(folders.Item(1)->AutoBackup, 4);
    EXPECT_EQ(folders.Item(QStringLiteral("/data/work"))->AutoBackup, 4);
    EXPECT_EQ(folders.Item(QStringLiteral("/data/Work")), nullptr);
}

TEST_F(WatchTest, WatchesTheFileFolderOrTheFolderItselfAndNothingMissing)
{
    QDir().mkpath(at("sub"));
    for (const QString& name : {QStringLiteral("a.txt"), QStringLiteral("b.txt")})
        WriteFile(at(name), "x");

    engine.WatchSourceFolder(at("a.txt"), false);
    engine.WatchSourceFolder(at("sub/"), true);
    engine.WatchSourceFolder(at("gone.txt"), false);

    ASSERT_EQ(engine.DetectFolders().Count(), 2);
    EXPECT_FALSE(watchOf(root).Subtree);
    EXPECT_TRUE(watchOf(at("sub")).Subtree);

    // A second association in the folder renews its one record and keeps its reference.
    const int first = engine.DetectFolders().Item(root)->AutoBackup;
    const QString reference = DateText::Format(QDateTime::currentDateTime());
    engine.DetectFolders().Item(root)->DetectionDate = reference;
    engine.WatchSourceFolder(at("b.txt"), false);
    ASSERT_EQ(engine.DetectFolders().Count(), 2);
    EXPECT_NE(engine.DetectFolders().Item(root)->AutoBackup, first);
    EXPECT_EQ(rig.Notifier.OpenCount(), 2);
    EXPECT_EQ(engine.DetectFolders().Item(root)->DetectionDate, reference);

    // Set up again once no association needs the sub-folders any more.
    engine.WatchSourceFolder(at("sub/"), false);
    EXPECT_FALSE(watchOf(at("sub")).Subtree);
}

// A file association set up last must not switch off what a recursive one on the folder needs.
TEST_F(WatchTest, SubFoldersWatchedWhileAnyAssociationNeedsThem)
{
    // {folder association set up first, folder recursive, sub-folders watched}
    const std::tuple<bool, bool, bool> rows[] = {
        {true, true, true}, {false, true, true}, {true, false, false}};
    for (int row = 0; row < 3; ++row) {
        const auto [folderFirst, recursive, watchesSubFolders] = rows[row];
        const QString folder = at(QStringLiteral("row%1").arg(row));
        const QString file = folder + QStringLiteral("/notes.txt");
        WriteFile(file, "n");
        rig.AddAssociation(folder, true, recursive, {destination});
        rig.AddAssociation(file, false, false, {destination});
        engine.WatchSourceFolder(folderFirst ? folder : file, folderFirst && recursive);
        engine.WatchSourceFolder(folderFirst ? file : folder, !folderFirst && recursive);
        EXPECT_EQ(watchOf(folder).Subtree, watchesSubFolders) << "row " << row;
    }
}

TEST_F(WatchTest, ClosedRecordsGoAndAFolderThatCannotBeWatchedKeepsOne)
{
    for (const char* name : {"a", "b", "c"}) {
        QDir().mkpath(at(QLatin1String(name)));
        if (name[0] == 'c')
            rig.Notifier.FailingFolders.insert(at(QLatin1String(name)));
        engine.WatchSourceFolder(at(QLatin1String(name)), false);
    }
    engine.DetectFolders().Item(2)->ClassNotifyDelete(rig.Notifier);
    engine.StartWatching();
    engine.WatchTimerProc();

    ASSERT_EQ(engine.DetectFolders().Count(), 2);
    EXPECT_EQ(engine.DetectFolders().Item(2)->AutoBackup, clsDetectFolder::NoNotification);
    engine.CloseAllNotifications();
    EXPECT_EQ(rig.Notifier.OpenCount(), 0);
}

// A change in a folder whose watch is still being added is seen only by a later walk.
TEST_F(WatchTest, ReferenceWaitsWhileWatchesAreBeingAdded)
{
    rig.Notifier.OpenInSlices = true;
    watchRootAndTick();
    clsDetectFolder& record = *engine.DetectFolders().Item(1);
    ASSERT_FALSE(record.DetectionDate.isEmpty()) << "the first quiet tick gives a reference";
    const QString earlier = DateText::Format(QDateTime::currentDateTime().addSecs(-60));
    record.DetectionDate = earlier;
    engine.WatchTimerProc();
    EXPECT_EQ(record.DetectionDate, earlier);

    finishSetUp();
    engine.WatchTimerProc();
    EXPECT_NE(engine.DetectFolders().Item(1)->DetectionDate, earlier);
}

// With a notifier that wakes it, the timer sleeps while idle; an event, the exit or a pause wakes it.
TEST_F(WatchTest, SignalledFolderIsProcessedUnlessPausedAndTheTimerSleepsWhenIdle)
{
    const auto tick = [&] {
        engine.WatchTimerProc();
        return engine.NextTickMs();
    };
    const auto reference = [&] { return engine.DetectFolders().Item(1)->DetectionDate; };
    rig.Notifier.Tells = true;
    watchRootAndTick(); // quiet: the reference is now
    EXPECT_EQ(engine.NextTickMs(), -1);

    // A signalled folder is re-armed, but processed only once the program is not paused.
    const int handle = engine.DetectFolders().Item(1)->AutoBackup;
    const QDateTime modified = QDateTime::currentDateTime().addSecs(30);
    WriteFile(at("a.txt"), "a", modified);
    rig.Notifier.Signal(root);
    EXPECT_EQ(engine.NextTickMs(), 0);
    rig.State.Paused = true;
    engine.WatchTimerProc();
    EXPECT_EQ(rig.Notifier.Wait(handle, 0), ChangeNotifier::WaitResult::TimedOut);
    EXPECT_FALSE(engine.ProcessedLastTick);
    rig.State.Paused = false;
    rig.Notifier.Signal(root);
    EXPECT_EQ(tick(), Engine::WatchIntervalMs);
    EXPECT_EQ(rig.CopiesTried(), 1);
    EXPECT_TRUE(engine.ProcessedLastTick && rig.State.Detecting);
    const QString next = DateText::Format(modified.addSecs(1));
    EXPECT_EQ(reference(), next);
    EXPECT_EQ(tick(), Engine::WatchIntervalMs) << "the tick after a processed one";
    EXPECT_EQ(reference(), next);
    EXPECT_EQ(tick(), -1) << "the quiet tick that ends the detection";
    EXPECT_NE(reference(), next);
    EXPECT_FALSE(rig.State.Detecting);

    rig.Notifier.Tells = false;
    EXPECT_EQ(tick(), Engine::WatchIntervalMs) << "a notifier that cannot tell is polled";
    rig.Notifier.Tells = true;
    EXPECT_EQ(tick(), -1);

    rig.Notifier.OpenInSlices = true;
    QDir().mkpath(at("other"));
    engine.WatchSourceFolder(at("other"), false);
    EXPECT_EQ(engine.NextTickMs(), Engine::WatchIntervalMs) << "a new record is polled and dated";
    EXPECT_EQ(tick(), Engine::WatchIntervalMs) << "while watches are added";
    finishSetUp();
    EXPECT_EQ(tick(), -1);

    // Only the exit stops the timer: a pause that stopped a scan does not.
    rig.State.Paused = rig.State.Scanning = rig.State.StopScanning = true;
    engine.Wake();
    EXPECT_EQ(engine.NextTickMs(), 0);
    EXPECT_EQ(tick(), -1);
    EXPECT_FALSE(rig.State.Scanning || rig.State.StopScanning || rig.State.WatchStopped);
    rig.State.Exiting = rig.State.Scanning = rig.State.StopScanning = true; // an exit during a scan
    engine.Wake();
    engine.WatchTimerProc();
    EXPECT_TRUE(rig.State.WatchStopped);
    rig.Notifier.Signal(root);
    EXPECT_EQ(engine.NextTickMs(), -1) << "after the exit nothing wakes it";
}

// The properties dialog sets a watch up again while a scan lets the interface run.
TEST_F(WatchTest, WatchRenewedDuringItsOwnScanLeavesAnOpenRecord)
{
    QDir().mkpath(at("other"));
    engine.WatchSourceFolder(at("other"), false);
    watchRootAndTick(3);
    rig.Notifier.Signal(root);
    rig.Pump.OnPump = [&] {
        if (rig.Pump.Calls == 1) {
            engine.WatchSourceFolder(root, false);
            engine.WatchSourceFolder(at("other"), false);
        }
    };

    engine.WatchTimerProc();

    ASSERT_EQ(engine.DetectFolders().Count(), 2);
    for (const clsDetectFolder& record : engine.DetectFolders())
        EXPECT_TRUE(record.IsOpen());
    EXPECT_EQ(rig.Notifier.OpenCount(), 2);
    EXPECT_EQ(rig.CopiesTried(), 3);
}

// Manual synchronisation and the pause, on the watching rig.
class SyncTest : public WatchTest
{
  protected:
    SyncTest()
    {
        rig.State.Status = &panels;
        panels.Texts[QStringLiteral("Running")] = QStringLiteral("Waiting... ");
        engine.Sync().Ui.Warn = [this](const QString& text) { warnings << text; };
    }
    ~SyncTest() override { rig.State.Status = nullptr; }

    QString copyOf(const QString& name) const { return destination + QStringLiteral("/Work/") + name; }
    QString beside(const QString& name) const { return dir.filePath(name); }
    void addFileAssociation()
    {
        WriteFile(beside("single.txt"), "s");
        rig.AddAssociation(beside("single.txt"), false, false, {destination});
    }

    FakeStatusPanels panels;
    QStringList warnings;
};

TEST_F(SyncTest, CopiesEveryFileOfOneAssociationWithoutVersionsOrPopups)
{
    const QDateTime old = QDateTime::currentDateTime().addDays(-3);
    WriteFile(at("a.txt"), "new a", old);
    WriteFile(at("sub/b.txt"), "b", old);
    WriteFile(copyOf("a.txt"), "old a", old.addDays(-1));
    watchRootAndTick(0, true);
    rig.Pump.OnPump = [&] {
        EXPECT_EQ(panels.Texts[QStringLiteral("Running")], Synchronization::RunningText);
    };

    EXPECT_EQ(engine.Sync().SynchronizeBackup(root), Synchronization::Result::Done);

    EXPECT_EQ(ReadFile(copyOf("a.txt")), "new a");
    EXPECT_EQ(ReadFile(copyOf("sub/b.txt")), "b");
    EXPECT_FALSE(QFileInfo::exists(copyOf("~PrevSave-1")));
    EXPECT_TRUE(rig.PopupMessages().empty());
    ASSERT_EQ(rig.LogMessages().size(), 2u);
    for (const QString& message : rig.LogMessages())
        EXPECT_TRUE(message.endsWith(QStringLiteral("\r\nProcessed in manual synchronization")));
    EXPECT_FALSE(rig.State.ManualSync || engine.Sync().Running());
    EXPECT_EQ(panels.Texts[QStringLiteral("Running")], QStringLiteral("Waiting... "));
}

TEST_F(SyncTest, AllAssociationsSkippingDisabledMissingStrangersAndNeverDuringAScan)
{
    WriteFile(at("a.txt"), "a");
    watchRootAndTick();
    addFileAssociation();
    WriteFile(beside("off.txt"), "off");
    rig.AddAssociation(beside("off.txt"), false, false, {destination}).Enabled = false;
    rig.AddAssociation(beside("gone"), true, false, {destination});

    EXPECT_EQ(engine.Sync().SynchronizeAll(), Synchronization::Result::Done);

    EXPECT_EQ(ReadFile(copyOf("a.txt")), "a");
    const QString parent = destination + u'/' + QFileInfo(dir.path()).fileName();
    EXPECT_EQ(ReadFile(parent + QStringLiteral("/single.txt")), "s");
    EXPECT_FALSE(QFileInfo::exists(parent + QStringLiteral("/off.txt")));
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].startsWith(QStringLiteral("File or folder: ") + dir.path()));
    EXPECT_TRUE(
        warnings[0].endsWith(QStringLiteral("\r\nno longer exists\r\n...Continuing with synchronization")));

    warnings.clear();
    EXPECT_EQ(engine.Sync().SynchronizeBackup(dir.path()), Synchronization::Result::NotAnAssociation);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].contains(QStringLiteral("nothing to synchronize")));
    EXPECT_FALSE(rig.State.ManualSync);

    // Not while a scan runs: it would share the scan's detected files.
    rig.State.Scanning = true;
    const auto logged = rig.Recent.Count();
    EXPECT_EQ(engine.Sync().SynchronizeBackup(root), Synchronization::Result::Busy);
    EXPECT_EQ(engine.Sync().SynchronizeAll(), Synchronization::Result::Busy);
    EXPECT_EQ(rig.Recent.Count(), logged);
}

TEST_F(SyncTest, ASaveDuringASyncIsBackedUpWithItsVersionAfterIt)
{
    const QDateTime old = QDateTime::currentDateTime().addDays(-3);
    WriteFile(at("a.txt"), "first", old);
    WriteFile(at("b.txt"), "first", old);
    watchRootAndTick();
    QString saved;
    rig.Pump.OnPump = [&] {
        if (!saved.isEmpty() || rig.Recent.Count() != 1)
            return;
        // The file the sync has copied already is saved again; the watch tick runs meanwhile.
        saved = QFileInfo(rig.Recent.Item(1)->SourcePath).fileName();
        WriteFile(at(saved), "second", QDateTime::currentDateTime().addSecs(2));
        rig.Notifier.Signal(root);
        engine.WatchTimerProc();
        EXPECT_EQ(rig.Recent.Count(), 1) << "processed during the synchronisation";
    };
    engine.Sync().SynchronizeBackup(root);
    rig.Pump.OnPump = nullptr;
    ASSERT_FALSE(saved.isEmpty());
    EXPECT_EQ(ReadFile(copyOf(saved)), "first");

    engine.WatchTimerProc();

    EXPECT_EQ(ReadFile(copyOf(saved)), "second");
    EXPECT_EQ(ReadFile(copyOf(QStringLiteral("~PrevSave-1/") + saved)), "first");
}

TEST_F(SyncTest, AnExitDuringSyncAllStopsItAndWaitsForIt)
{
    watchRootAndTick(20);
    addFileAssociation();
    rig.Pump.OnPump = [&] {
        if (rig.State.Exiting)
            return;
        // What the exit sequence sets, then the watch tick it waits on.
        rig.State.Paused = rig.State.StopScanning = rig.State.Exiting = true;
        engine.WatchTimerProc();
        EXPECT_FALSE(rig.State.WatchStopped);
    };

    engine.Sync().SynchronizeAll();

    EXPECT_LE(rig.Recent.Count(), 1);
    EXPECT_FALSE(QFileInfo::exists(destination + u'/' + QFileInfo(dir.path()).fileName()));
    EXPECT_FALSE(engine.Sync().Running());
}

TEST_F(SyncTest, APauseDuringALongScanStopsItAtTheNextCheck)
{
    watchRootAndTick(40);
    ProgramPause pause(rig.State);
    QStringList asked;
    pause.Ui.AskYesNo = [&](const QString& q) {
        asked << q;
        return asked.size() == 2;
    };
    rig.Notifier.Signal(root);
    // Asked by files done, not by interface turns (a flush takes a varying number); No changes nothing.
    rig.Pump.OnPump = [&] {
        const bool second = asked.size() == 1;
        if (rig.Recent.Count() == (second ? 8 : 4)) {
            EXPECT_EQ(pause.PauseProgram(), second);
        }
    };

    engine.WatchTimerProc();

    EXPECT_EQ(asked, QStringList(2, ProgramPause::StopScanQuestion));
    EXPECT_EQ(rig.Recent.Count(), 8) << "the scan stops at the check after the pause";
    EXPECT_TRUE(rig.State.Paused);
    EXPECT_FALSE(rig.State.Scanning || rig.State.StopScanning);
    EXPECT_EQ(panels.Texts[QStringLiteral("Running")], ProgramPause::PausedText);
}

} // namespace
