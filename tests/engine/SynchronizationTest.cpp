#include "support/EngineFakes.h"
#include "support/FakeStatusPanels.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include "core/Stores.h"
#include "engine/Engine.h"
#include "engine/ProgramPause.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class SyncTest : public ::testing::Test
{
  protected:
    SyncTest()
    {
        root = QDir(dir.path()).filePath(QStringLiteral("Work"));
        destination = QDir(dir.path()).filePath(QStringLiteral("Backup"));
        QDir().mkpath(destination);
        rig.State.Status = &panels;
        panels.Texts[QStringLiteral("Running")] = QStringLiteral("Waiting... ");
        engine.Sync().Ui.Warn = [this](const QString& text) { warnings << text; };
    }
    ~SyncTest() override { rig.State.Status = nullptr; }

    QString at(const QString& name) const { return root + QLatin1Char('/') + name; }
    QString copyOf(const QString& name) const { return destination + QStringLiteral("/Work/") + name; }
    // A watched, versioned folder association with a quiet first tick behind it.
    clsBackup& watchRoot(bool recursive)
    {
        clsBackup& b = rig.AddAssociation(root, true, recursive, {destination});
        b.KeepBackup = true;
        b.Versions = 2;
        engine.WatchSourceFolder(root, recursive);
        engine.StartWatching();
        engine.WatchTimerProc();
        return b;
    }

    QTemporaryDir dir;
    QString root, destination;
    EngineRig rig;
    FakeStatusPanels panels;
    Engine engine{rig.Context};
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
