#include "support/EngineFakes.h"
#include "support/FakeStatusPanels.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include "core/DateText.h"
#include "core/Stores.h"
#include "engine/Engine.h"
#include "engine/ProgramPause.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

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
    // A watched folder association with a quiet first tick behind it.
    clsBackup& watchRootAndTick(int files = 0, bool recursive = false)
    {
        clsBackup& b = rig.AddAssociation(root, true, recursive, {destination});
        for (int i = 0; i < files; ++i)
            WriteFile(at(QStringLiteral("f%1.txt").arg(i)), "x", QDateTime::currentDateTime().addSecs(5));
        engine.WatchSourceFolder(root, recursive);
        engine.StartWatching();
        engine.WatchTimerProc();
        return b;
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
    const auto add = [&](const char* path, int handle) {
        return folders.Add(QString::fromLatin1(path), handle, ChangeNotifier::WaitResult::Signalled,
                           QString(), QString::fromLatin1(path));
    };
    ASSERT_NE(add("/data/Work", 3), nullptr);
    ASSERT_NE(add("/data/work", 4), nullptr);
    EXPECT_EQ(add("/data/Work", 5), nullptr);
    EXPECT_EQ(folders.Count(), 2);
    EXPECT_TRUE(folders.Remove(1));
    EXPECT_EQ(folders.Item(1)->AutoBackup, 4);
    EXPECT_EQ(folders.Item(QStringLiteral("/data/work"))->AutoBackup, 4);
    EXPECT_EQ(folders.Item(QStringLiteral("/data/Work")), nullptr);
    EXPECT_EQ(folders.Item(2), nullptr);
}

TEST_F(WatchTest, WatchesTheFileFolderOrTheFolderItselfAndNothingMissing)
{
    QDir().mkpath(at(QStringLiteral("sub")));
    for (const QString& name : {QStringLiteral("a.txt"), QStringLiteral("b.txt")})
        WriteFile(at(name), "x", QDateTime::currentDateTime());

    engine.WatchSourceFolder(at(QStringLiteral("a.txt")), false);
    engine.WatchSourceFolder(at(QStringLiteral("sub/")), true);
    engine.WatchSourceFolder(at(QStringLiteral("gone.txt")), false);

    ASSERT_EQ(engine.DetectFolders().Count(), 2);
    EXPECT_EQ(engine.DetectFolders().Item(1)->Folder, root);
    EXPECT_EQ(engine.DetectFolders().Item(2)->Folder, at(QStringLiteral("sub")));
    EXPECT_FALSE(watchOf(root).Subtree);
    EXPECT_TRUE(watchOf(at(QStringLiteral("sub"))).Subtree);
    EXPECT_EQ(rig.Notifier.OpenCount(), 2);

    // A second association in the folder renews its one record and keeps its reference.
    const int first = engine.DetectFolders().Item(root)->AutoBackup;
    const QString reference = DateText::Format(QDateTime::currentDateTime());
    engine.DetectFolders().Item(root)->DetectionDate = reference;
    engine.WatchSourceFolder(at(QStringLiteral("b.txt")), false);
    ASSERT_EQ(engine.DetectFolders().Count(), 2);
    EXPECT_NE(engine.DetectFolders().Item(root)->AutoBackup, first);
    EXPECT_FALSE(rig.Notifier.Watches.at(first).Open);
    EXPECT_EQ(rig.Notifier.OpenCount(), 2);
    EXPECT_EQ(engine.DetectFolders().Item(root)->DetectionDate, reference);

    // Set up again once no association needs the sub-folders any more.
    engine.WatchSourceFolder(at(QStringLiteral("sub/")), false);
    EXPECT_FALSE(watchOf(at(QStringLiteral("sub"))).Subtree);
}

// The file association set up last must not switch off the sub-folders that a
// recursive folder association on the same folder needs.
TEST_F(WatchTest, SubFoldersWatchedWhileAnyAssociationNeedsThem)
{
    // {folder association set up first, folder recursive, sub-folders watched}
    const std::tuple<bool, bool, bool> rows[] = {
        {true, true, true}, {false, true, true}, {true, false, false}};
    for (int row = 0; row < 3; ++row) {
        const auto [folderFirst, recursive, watchesSubFolders] = rows[row];
        const QString folder = at(QStringLiteral("row%1").arg(row));
        const QString file = folder + QStringLiteral("/notes.txt");
        QDir().mkpath(folder);
        WriteFile(file, "n", QDateTime::currentDateTime());
        rig.AddAssociation(folder, true, recursive, {destination});
        rig.AddAssociation(file, false, false, {destination});
        engine.WatchSourceFolder(folderFirst ? folder : file, folderFirst && recursive);
        engine.WatchSourceFolder(folderFirst ? file : folder, !folderFirst && recursive);
        ASSERT_EQ(engine.DetectFolders().Count(), row + 1);
        EXPECT_EQ(watchOf(folder).Subtree, watchesSubFolders) << "row " << row;
    }
}

TEST_F(WatchTest, QuietTicksMoveTheReferenceForwardAndClosedRecordsGo)
{
    for (const char* name : {"a", "b", "c"}) {
        QDir().mkpath(at(QLatin1String(name)));
        if (name[0] == 'c')
            rig.Notifier.FailingFolders.insert(at(QLatin1String(name)));
        engine.WatchSourceFolder(at(QLatin1String(name)), false);
    }
    EXPECT_EQ(engine.DetectFolders().Item(3)->AutoBackup, clsDetectFolder::NoNotification);
    engine.DetectFolders().Item(2)->ClassNotifyDelete(rig.Notifier);
    int hookCalls = 0;
    engine.SetTickHook([&] { ++hookCalls; });
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
    EXPECT_EQ(engine.DetectFolders().Item(1)->Result, ChangeNotifier::WaitResult::TimedOut);
    EXPECT_TRUE(engine.WatchTimerArmed());
    EXPECT_EQ(hookCalls, 1);
    engine.CloseAllNotifications();
    EXPECT_EQ(rig.Notifier.OpenCount(), 0);
}

TEST_F(WatchTest, SignalledFolderIsRearmedAndProcessedUnlessPaused)
{
    watchRootAndTick(); // quiet: the reference is now
    const int handle = engine.DetectFolders().Item(1)->AutoBackup;
    const QDateTime modified = QDateTime::currentDateTime().addSecs(30);
    WriteFile(at(QStringLiteral("a.txt")), "a", modified);
    rig.Notifier.Signal(root);
    rig.State.Paused = true;
    engine.WatchTimerProc();
    EXPECT_FALSE(QFile::exists(destination + QStringLiteral("/Work/a.txt")));
    EXPECT_EQ(rig.Notifier.Wait(handle, 0), ChangeNotifier::WaitResult::TimedOut);
    EXPECT_FALSE(engine.ProcessedLastTick);
    EXPECT_TRUE(engine.WatchTimerArmed());

    rig.State.Paused = false;
    rig.Notifier.Signal(root);
    engine.WatchTimerProc();
    EXPECT_TRUE(QFile::exists(destination + QStringLiteral("/Work/a.txt")));
    EXPECT_TRUE(engine.ProcessedLastTick);
    EXPECT_TRUE(rig.State.Detecting);
    EXPECT_EQ(engine.DetectedFiles().Count(), 0);
    const QString next = DateText::Format(modified.addSecs(1));
    EXPECT_EQ(engine.DetectFolders().Item(1)->DetectionDate, next);
    EXPECT_EQ(rig.Notifier.Wait(engine.DetectFolders().Item(1)->AutoBackup, 0),
              ChangeNotifier::WaitResult::TimedOut);

    engine.WatchTimerProc(); // follows a processed tick: the reference stays
    EXPECT_EQ(engine.DetectFolders().Item(1)->DetectionDate, next);
    EXPECT_FALSE(engine.ProcessedLastTick);
    engine.WatchTimerProc(); // quiet
    EXPECT_NE(engine.DetectFolders().Item(1)->DetectionDate, next);
    EXPECT_FALSE(rig.State.Detecting);
}

// While watches are still being added, a change in a folder without one is seen
// only by the walk that follows: the reference must not move past it meanwhile.
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

    for (int i = 0; i < 10 && !rig.Notifier.SettingUp.empty(); ++i)
        QCoreApplication::processEvents();
    ASSERT_TRUE(rig.Notifier.SettingUp.empty()) << "slices run from the event loop";
    engine.WatchTimerProc();
    EXPECT_NE(engine.DetectFolders().Item(1)->DetectionDate, earlier);
}

// With a notifier that wakes it, the timer sleeps while nothing is left to do:
// no tick at all however long the quiet lasts. Each kind of work keeps it going;
// an event, the exit and a pause that stopped a scan wake it at once.
TEST_F(WatchTest, TimerSleepsWhenIdleAndEachKindOfWorkKeepsItGoing)
{
    const auto tick = [&] {
        engine.WatchTimerProc();
        return engine.NextTickMs();
    };
    rig.Notifier.Tells = true;
    watchRootAndTick();
    EXPECT_EQ(engine.NextTickMs(), -1);

    WriteFile(at(QStringLiteral("a.txt")), "a", QDateTime::currentDateTime().addSecs(5));
    rig.Notifier.Signal(root);
    EXPECT_EQ(engine.NextTickMs(), 0);
    EXPECT_EQ(tick(), Engine::WatchIntervalMs);
    EXPECT_EQ(rig.CopiesTried(), 1);
    EXPECT_EQ(tick(), Engine::WatchIntervalMs) << "the tick after a processed one";
    EXPECT_EQ(tick(), -1) << "the quiet tick that ends the detection";
    EXPECT_FALSE(rig.State.Detecting);

    rig.Notifier.Vanished = true;
    EXPECT_EQ(tick(), Engine::VanishedLookMs);
    rig.Notifier.Vanished = false;
    rig.Notifier.Tells = false;
    EXPECT_EQ(tick(), Engine::WatchIntervalMs) << "a notifier that cannot tell is polled";
    rig.Notifier.Tells = true;
    EXPECT_EQ(tick(), -1);

    rig.Notifier.OpenInSlices = true;
    QDir().mkpath(at(QStringLiteral("other")));
    engine.WatchSourceFolder(at(QStringLiteral("other")), false);
    EXPECT_EQ(engine.NextTickMs(), Engine::WatchIntervalMs) << "a new record is polled and dated";
    EXPECT_EQ(tick(), Engine::WatchIntervalMs) << "while watches are added";
    for (int i = 0; i < 10 && !rig.Notifier.SettingUp.empty(); ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(tick(), -1);

    // Only the exit stops the timer: a pause that stopped a scan does not.
    rig.State.Paused = rig.State.Scanning = rig.State.StopScanning = true;
    engine.Wake();
    EXPECT_EQ(engine.NextTickMs(), 0);
    EXPECT_EQ(tick(), -1);
    EXPECT_FALSE(rig.State.Scanning || rig.State.StopScanning);
    EXPECT_FALSE(rig.State.WatchStopped);
    rig.State.Exiting = rig.State.Scanning = rig.State.StopScanning = true; // an exit during a scan
    engine.Wake();
    EXPECT_EQ(engine.NextTickMs(), 0);
    engine.WatchTimerProc();
    EXPECT_TRUE(rig.State.WatchStopped);
    EXPECT_FALSE(engine.WatchTimerArmed());
    rig.Notifier.Signal(root);
    EXPECT_EQ(engine.NextTickMs(), -1) << "after the exit nothing wakes it";
}

// The properties dialog sets a watch up again while a scan lets the interface run.
TEST_F(WatchTest, WatchRenewedDuringItsOwnScanLeavesAnOpenRecord)
{
    QDir().mkpath(at(QStringLiteral("other")));
    engine.WatchSourceFolder(at(QStringLiteral("other")), false);
    watchRootAndTick(3);
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
    EXPECT_EQ(rig.CopiesTried(), 3);
    EXPECT_TRUE(engine.WatchTimerArmed());
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
    // A watched, versioned folder association with a quiet first tick behind it.
    void watchRoot(bool recursive)
    {
        clsBackup& b = watchRootAndTick(0, recursive);
        b.KeepBackup = true;
        b.Versions = 2;
    }

    FakeStatusPanels panels;
    QStringList warnings;
};

TEST_F(SyncTest, CopiesEveryFileOfOneAssociationWithoutVersionsOrPopups)
{
    const QDateTime old = QDateTime::currentDateTime().addDays(-3);
    WriteFile(at(QStringLiteral("a.txt")), "new a", old);
    WriteFile(at(QStringLiteral(".hidden")), "h", old);
    WriteFile(at(QStringLiteral("sub/b.txt")), "b", old);
    WriteFile(copyOf(QStringLiteral("a.txt")), "old a", old.addDays(-1));
    watchRoot(true);
    rig.Pump.OnPump = [&] {
        EXPECT_EQ(panels.Texts[QStringLiteral("Running")], Synchronization::RunningText);
    };

    EXPECT_EQ(engine.Sync().SynchronizeBackup(root), Synchronization::Result::Done);

    EXPECT_EQ(ReadFile(copyOf(QStringLiteral("a.txt"))), "new a");
    EXPECT_EQ(ReadFile(copyOf(QStringLiteral(".hidden"))), "h");
    EXPECT_EQ(ReadFile(copyOf(QStringLiteral("sub/b.txt"))), "b");
    EXPECT_FALSE(QFileInfo::exists(copyOf(QStringLiteral("~PrevSave-1"))));
    EXPECT_TRUE(rig.PopupMessages().empty());
    ASSERT_EQ(rig.LogMessages().size(), 3u);
    for (const QString& message : rig.LogMessages())
        EXPECT_TRUE(message.endsWith(QStringLiteral("\r\nProcessed in manual synchronization")));
    EXPECT_FALSE(rig.State.ManualSync);
    EXPECT_FALSE(engine.Sync().Running());
    EXPECT_EQ(panels.Texts[QStringLiteral("Running")], QStringLiteral("Waiting... "));
}

TEST_F(SyncTest, AllAssociationsSkippingDisabledMissingStrangersAndNeverDuringAScan)
{
    const QString file = QDir(dir.path()).filePath(QStringLiteral("single.txt"));
    WriteFile(file, "s");
    WriteFile(at(QStringLiteral("a.txt")), "a");
    watchRoot(false);
    rig.AddAssociation(file, false, false, {destination});
    rig.AddAssociation(QDir(dir.path()).filePath(QStringLiteral("off.txt")), false, false, {destination})
        .Enabled = false;
    WriteFile(QDir(dir.path()).filePath(QStringLiteral("off.txt")), "off");
    rig.AddAssociation(QDir(dir.path()).filePath(QStringLiteral("gone")), true, false, {destination});

    EXPECT_EQ(engine.Sync().SynchronizeAll(), Synchronization::Result::Done);

    EXPECT_EQ(ReadFile(copyOf(QStringLiteral("a.txt"))), "a");
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
    rig.State.Scanning = false;
}

TEST_F(SyncTest, ASaveDuringASyncIsBackedUpWithItsVersionAfterIt)
{
    const QDateTime old = QDateTime::currentDateTime().addDays(-3);
    WriteFile(at(QStringLiteral("a.txt")), "a1", old);
    WriteFile(at(QStringLiteral("b.txt")), "b1", old);
    watchRoot(false);
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
    const QByteArray first = saved == QLatin1String("a.txt") ? "a1" : "b1";
    EXPECT_EQ(ReadFile(copyOf(saved)), first);

    engine.WatchTimerProc();

    EXPECT_EQ(ReadFile(copyOf(saved)), "second");
    EXPECT_EQ(ReadFile(copyOf(QStringLiteral("~PrevSave-1/") + saved)), first);
    EXPECT_FALSE(rig.PopupMessages().empty());
}

TEST_F(SyncTest, AnExitDuringSyncAllStopsItAndWaitsForIt)
{
    for (int i = 0; i < 20; ++i)
        WriteFile(at(QStringLiteral("f%1.txt").arg(i)), "x");
    watchRoot(false);
    const QString file = QDir(dir.path()).filePath(QStringLiteral("single.txt"));
    WriteFile(file, "s");
    rig.AddAssociation(file, false, false, {destination});
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
    engine.WatchTimerProc();
    EXPECT_TRUE(rig.State.WatchStopped);
}

TEST_F(SyncTest, APauseDuringALongScanStopsItAtTheNextCheck)
{
    for (int i = 0; i < 40; ++i)
        WriteFile(at(QStringLiteral("f%1.txt").arg(i)), "x");
    watchRoot(false);
    ProgramPause pause(rig.State);
    QStringList asked;
    bool answer = false;
    pause.Ui.AskYesNo = [&](const QString& q) {
        asked << q;
        return answer;
    };
    for (const QString& name : Entries(root))
        Touch(at(name), 3);
    rig.Notifier.Signal(root);
    // Asked by files done, not by turns of the interface: a copy's flush takes a
    // varying number of those.
    rig.Pump.OnPump = [&] {
        if (asked.size() == 0 && rig.Recent.Count() == 4) {
            EXPECT_FALSE(pause.PauseProgram()); // No: nothing changes
        } else if (asked.size() == 1 && rig.Recent.Count() == 8) {
            answer = true;
            EXPECT_TRUE(pause.PauseProgram());
        }
    };

    engine.WatchTimerProc();

    EXPECT_EQ(asked, QStringList(2, ProgramPause::StopScanQuestion));
    EXPECT_EQ(rig.Recent.Count(), 8) << "the scan stops at the check after the pause";
    EXPECT_TRUE(rig.State.Paused);
    EXPECT_FALSE(rig.State.Scanning);
    EXPECT_FALSE(rig.State.StopScanning);
    EXPECT_EQ(panels.Texts[QStringLiteral("Running")], ProgramPause::PausedText);
}

TEST(PauseTest, PausedAndUnpausedSurviveARestart)
{
    TestEnvironment env;
    for (const bool paused : {true, false}) {
        std::vector<bool> signs;
        {
            ProgramState state;
            ProgramPause pause(state);
            paused ? (void)pause.PauseProgram() : pause.UnpauseProgram();
            ASSERT_TRUE(SavePausedState(state));
        }
        ProgramState restarted;
        FakeStatusPanels panels;
        restarted.Status = &panels;
        ProgramPause pause(restarted);
        pause.Ui.ShowPaused = [&](bool p) { signs.push_back(p); };
        pause.Restore(LoadPausedState());
        EXPECT_EQ(restarted.Paused, paused);
        EXPECT_EQ(signs, std::vector<bool>{paused});
        EXPECT_EQ(panels.Texts[QStringLiteral("Running")],
                  paused ? ProgramPause::PausedText : ProgramPause::WaitingText);
        restarted.Status = nullptr;
    }
}

} // namespace
