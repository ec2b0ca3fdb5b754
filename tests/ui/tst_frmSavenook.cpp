// The main window's load, close and exit sequence, and the composition root's
// start-up steps, on private data folders.
#include "core/Stores.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "support/UiFakes.h"
#include "ui/main/SavenookApp.h"
#include "ui/main/frmSavenook.h"

#include <QAction>
#include <QMenu>
#include <QtTest>

#include <optional>

class tst_frmSavenook : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void init()
    {
        m_env.emplace();
        m_state.emplace();
    }
    void loadShowsCaptionMenuAndPanelsAndCloseByFrameOnlyHidesAndSaves()
    {
        {
            ProgramState stored;
            stored.Backups.Add(Association(m_env->root() + "/A"), m_env->root() + "/A");
            stored.Backups.Add(Association(m_env->root() + "/B"), m_env->root() + "/B");
            QVERIFY(SaveBackups(stored));
            QVERIFY(SaveDestinations(stored));
        }
        frmSavenook window(*m_state);
        QStringList watched;
        window.Load([&watched](const clsBackup& b) { watched << b.SourcePath; });

        QCOMPARE(window.windowTitle(), QStringLiteral("Savenook"));
        QCOMPARE(watched, QStringList({m_env->root() + "/A", m_env->root() + "/B"}));
        QCOMPARE(window.PanelText("Backups"), QStringLiteral("Total Associations:  2 "));
        QCOMPARE(window.PanelText("Running"), QStringLiteral("Initializing... "));
        QCOMPARE(window.PanelText("Scheme"), QStringLiteral("Recent scheme: <n/a> "));
        QCOMPARE(window.mnuExit->text(), QStringLiteral("Stop and Exit"));
        auto* menu = window.findChild<QMenu*>(QStringLiteral("mnuFile"));
        QCOMPARE(menu->title(), QStringLiteral("&Window"));
        QVERIFY(menu->actions().contains(window.mnuExit));

        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        m_state->Backups.Add(Association(m_env->root() + "/New"), m_env->root() + "/New");
        m_state->Destinations.Add("/mnt/usb/New", m_env->root() + "/New", QStringLiteral("USB"));
        QVERIFY(!window.close());
        QVERIFY(!window.isVisible() && !m_state->Exiting);
        QVERIFY(ReadFile(m_env->dataFolder() + "/usrdatab").contains((m_env->root() + "/New\r\n").toUtf8()));
        QVERIFY(ReadFile(m_env->dataFolder() + "/usrdatad")
                    .contains(("/mnt/usb/New\r\n" + m_env->root() + "/New\r\nUSB\r\n").toUtf8()));
        QVERIFY(!QFile::exists(m_env->dataFolder() + "/pprefs")); // only an exit stores the paused flag
    }

    void exitSequenceSavesPausedFlagFirstAndWaitsForTheWatch_data()
    {
        QTest::addColumn<bool>("paused");
        QTest::addColumn<QByteArray>("stored");
        Row("running", false, QByteArray("0\r\n"));
        Row("paused", true, QByteArray("1\r\n"));
    }
    void exitSequenceSavesPausedFlagFirstAndWaitsForTheWatch()
    {
        QFETCH(bool, paused);
        QFETCH(QByteArray, stored);
        frmSavenook window(*m_state);
        window.Load({});
        QAction pauseItem(QStringLiteral("Pause Program"));
        window.mnuPaused = &pauseItem;
        int notificationsClosed = 0;
        window.CloseAllNotifications = [&] { ++notificationsClosed; };
        QSignalSpy unloaded(&window, &frmSavenook::Unloaded);
        m_state->Paused = paused;
        m_state->Scanning = true;
        m_state->Backups.Add(Association(m_env->root() + "/X"), m_env->root() + "/X");

        QVERIFY(window.ExitSequence(false));
        QCOMPARE(ReadFile(m_env->dataFolder() + "/pprefs"), stored);
        QVERIFY(m_state->Paused && m_state->StopScanning && m_state->Exiting && !m_state->Scanning);
        QVERIFY(!pauseItem.isEnabled());
        QCOMPARE(window.PanelText("Running"), QStringLiteral("Exiting... "));

        // A second request while waiting must not store the forced pause.
        QFile::remove(m_env->dataFolder() + "/pprefs");
        QVERIFY(window.ExitSequence(true));
        QVERIFY(!QFile::exists(m_env->dataFolder() + "/pprefs"));

        // Nothing unloads until the watch timer has acknowledged the stop.
        QTest::qWait(350);
        QCOMPARE(unloaded.count(), 0);
        QVERIFY(!QFile::exists(m_env->dataFolder() + "/usrdatab"));
        m_state->WatchStopped = true;
        QTRY_COMPARE_WITH_TIMEOUT(unloaded.count(), 1, 2000);
        QVERIFY(!window.tmrExit.isActive());
        QCOMPARE(notificationsClosed, 1);
        QVERIFY(ReadFile(m_env->dataFolder() + "/usrdatab").contains((m_env->root() + "/X\r\n").toUtf8()));
        QVERIFY(QFile::exists(m_env->dataFolder() + "/usrdatad"));
    }

    void exitWhileScanningAsksFirst_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("exits");
        Row("yes", int(QMessageBox::Yes), true);
        Row("no", int(QMessageBox::No), false);
        Row("cancel", int(QMessageBox::Cancel), false);
    }
    void exitWhileScanningAsksFirst()
    {
        QFETCH(int, answer);
        QFETCH(bool, exits);
        frmSavenook window(*m_state);
        window.Load({});
        m_state->Scanning = true;
        QString question;
        AnswerNextBox(QMessageBox::StandardButton(answer), &question);
        QCOMPARE(window.ExitSequence(true), exits);
        QCOMPARE(question, QStringLiteral("Savenook|Savenook is in the process of "
                                          "scanning for updated files\n"
                                          "Exit program anyway?"));
        QCOMPARE(m_state->Exiting, exits);
        QCOMPARE(m_state->Scanning, !exits);
        QCOMPARE(QFile::exists(m_env->dataFolder() + "/pprefs"), exits);
    }

    // Also: each engine seam is called in its place, the watch of every stored source first.
    void hiddenStartComesBackNormalAndPendingWarningsShowOnceWithoutHoldingUpAnExit()
    {
        ProgramState stored;
        stored.Backups.Add(Association(m_env->root() + "/A"), m_env->root() + "/A");
        QVERIFY(SaveBackups(stored) && QDir().mkpath(m_env->root() + "/A"));
        SavenookApp app(*m_state);
        QStringList calls;
        app.Seams.WatchSourceFolder = [&](const clsBackup& b) { calls << "watch " + b.SourcePath; };
        app.Seams.StartWatching = [&, start = app.Seams.StartWatching] {
            calls << "start";
            start(); // the real watch, which must let the exit finish
        };
        app.Seams.CloseAllNotifications = [&] { calls << "close all"; };
        app.Seams.RestorePausedState = [&](bool paused) { calls << (paused ? "pause" : "unpause"); };
        app.TrayAvailable = [] { return true; }; // offscreen has none
        app.LoadMainWindow(true);
        QVERIFY(!app.Window().isVisible());
        QVERIFY(app.Window().windowState() & Qt::WindowMinimized);
        app.ShowMainWindowNormal();
        QVERIFY(app.Window().isVisible() && !(app.Window().windowState() & Qt::WindowMinimized));
        QVERIFY(!QFileInfo::exists(m_env->dataFolder() + "/usrdatad")); // a start writes nothing
        app.StartupFinished();                                          // nothing pending: no box
        QCOMPARE(OpenMessageBoxes().size(), 0);

        QSignalSpy unloaded(&app.Window(), &frmSavenook::Unloaded);
        m_state->PendingWarnings =
            QStringList{QStringLiteral("usrdatab: 1 record skipped"), QStringLiteral("usrdatad: unreadable")};
        app.RestorePausedState(true);
        app.StartWatching();
        app.StartupFinished();
        QList<QMessageBox*> boxes = OpenMessageBoxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0]->windowTitle(), QStringLiteral("Savenook"));
        QCOMPARE(boxes[0]->icon(), QMessageBox::Warning);
        QVERIFY(!boxes[0]->isModal());
        QVERIFY(boxes[0]->text().contains("1 record skipped") && boxes[0]->text().contains("unreadable"));
        QVERIFY(m_state->PendingWarnings.isEmpty());
        app.StartupFinished();
        QCOMPARE(OpenMessageBoxes().size(), 1);
        app.ExitRequested();
        QTRY_COMPARE_WITH_TIMEOUT(unloaded.count(), 1, 2000);
        QCOMPARE(calls, QStringList({"watch " + m_env->root() + "/A", "pause", "start", "close all"}));
    }

  private:
    std::optional<TestEnvironment> m_env;
    std::optional<ProgramState> m_state;
};

QTEST_MAIN(tst_frmSavenook)
#include "tst_frmSavenook.moc"
