// The main window's commands, start-up and exit, the tray's menu and animations; dialogs answer by seam.
#include "core/SchemeFiles.h"
#include "core/StoreFile.h"
#include "core/Stores.h"
#include "reporting/colRecent.h"
#include "settings/Options.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "support/UiFakes.h"
#include "ui/dialogs/WindowPrefs.h"
#include "ui/main/SavenookApp.h"
#include "ui/main/TrayAnimations.h"
#include "ui/main/frmSavenook.h"
#include "ui/main/frmSystemTray.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QTreeWidget>
#include <QtTest>

#include <memory>
#include <optional>

class tst_MainWindowCommands : public QObject
{
    Q_OBJECT

    std::optional<TestEnvironment> m_env;
    std::optional<ProgramState> m_state;
    std::unique_ptr<colRecent> m_recent;
    std::unique_ptr<frmSavenook> m_window;
    FakeDrives m_drives;
    ScriptedPrompts m_prompts;
    QStringList m_watch; // "watch <path>" / "stop <folder>"
    QString m_src;       // a folder of sources

    void fresh()
    {
        m_window.reset(); // both hold the last state
        m_recent.reset();
        m_state.emplace();
        m_recent = std::make_unique<colRecent>(*m_state);
    }
    frmSavenook& load()
    {
        m_window = std::make_unique<frmSavenook>(*m_state);
        m_window->Svc.DriveInfo = &m_drives;
        m_window->Svc.Recent = m_recent.get();
        m_window->Svc.WatchFolder = [this](const QString& p, bool) { m_watch << "watch " + p; };
        m_window->Svc.StopWatchedFolder = [this](const QString& p) { m_watch << "stop " + p; };
        m_window->SetPrompts(&m_prompts);
        m_window->Load({});
        return *m_window;
    }
    // Stores these associations, each with the destination given (none when empty); makes their folders.
    void store(const QList<clsBackup>& backups, const QString& destination = QString())
    {
        ProgramState s;
        for (const clsBackup& b : backups) {
            if (b.Folder)
                QDir().mkpath(b.SourcePath);
            s.Backups.Add(b, b.SourcePath);
            if (!destination.isEmpty())
                s.Destinations.Add(destination, b.SourcePath, QString());
        }
        QVERIFY(SaveBackups(s) && SaveDestinations(s));
    }
    QString data(const QString& name) const { return m_env->dataFolder() + "/" + name; }
    QByteArray stores() const { return ReadFile(data("usrdatab")) + "|" + ReadFile(data("usrdatad")); }
    void select(const QString& path)
    {
        QTreeWidgetItem* node = m_window->FindTreeIndexFromFullPath(path);
        QVERIFY2(node, qPrintable(path));
        m_window->treeBackupsLocal->setCurrentItem(node);
    }
    QString image(const QString& path) const
    {
        return frmSavenook::NodeImage(m_window->FindTreeIndexFromFullPath(path));
    }

  private Q_SLOTS:
    void init()
    {
        fresh();
        m_env.emplace();
        m_prompts = ScriptedPrompts();
        m_watch.clear();
        m_src = m_env->root() + "/Src";
        m_drives.NotReady = m_env->root() + "/usb";
        m_drives.Network = m_env->root() + "/net";
        QDir().mkpath(m_src);
    }
    void treeStatesMenusCloseByFrameAndAViewEditThatWaitsUntilTheExit()
    {
        MakeByBytes(m_src, "Work/a.txt");
        MakeByBytes(m_src, "Work/a.txt2");
        store({Association(m_src + "/Work"), Association(m_src + "/Work/a.txt", false, false),
               Association(m_src + "/Work/a.txt2", false), Association(m_src + "/gone.txt", false),
               Association(m_env->root() + "/usb"), Association(m_src + "/Work/Sub")});
        frmSavenook& w = load();
        QCOMPARE(w.windowTitle(), QStringLiteral("Savenook"));
        QCOMPARE(w.PanelText("Running"), QStringLiteral("Initializing... "));
        QCOMPARE(w.PanelText("Scheme"), QStringLiteral("Recent scheme: <n/a> "));
        QCOMPARE(w.mnuExit->text(), QStringLiteral("Stop and Exit"));
        auto* menu = w.findChild<QMenu*>(QStringLiteral("mnuFile"));
        QCOMPARE(menu->title(), QStringLiteral("&Window"));
        QVERIFY(menu->actions().contains(w.mnuExit));

        QCOMPARE(w.FindTreeIndexFromFullPath("/")->text(0), QStringLiteral("root"));
        const std::pair<QString, QString> images[] = {{m_src + "/Work", m_src + "/Work*Green"},
                                                      {m_src + "/Work/", m_src + "/Work*Green"},
                                                      {m_src + "/Work/Sub", m_src + "/Work/Sub*Green"},
                                                      {m_src + "/Work/a.txt", m_src + "/Work/a.txt*Magenta"},
                                                      {m_src + "/gone.txt", "*FileYellow"},
                                                      {m_env->root() + "/usb", "*DriveYellow"}};
        for (const auto& [path, expected] : images)
            QCOMPARE(image(path), expected);
        QVERIFY(!w.FindTreeIndexFromFullPath(m_src.toUpper()));
        // a.txt2 is beside a.txt, not below it.
        QVERIFY(w.HasDescendantNodes(m_src + "/Work") && !w.HasDescendantNodes(m_src + "/Work/a.txt"));

        // Missing sources are disabled, each logged, and the user told once.
        QVERIFY(!m_state->Backups.Item(m_src + "/gone.txt")->Enabled);
        QVERIFY(!m_state->Backups.Item(m_env->root() + "/usb")->Enabled);
        QCOMPARE(m_recent->Count(), 2);
        QVERIFY(m_recent->Item(1)->Message.startsWith("Error"));
        QCOMPARE(m_state->PendingWarnings.size(), 1);
        QVERIFY(m_state->PendingWarnings[0].contains(m_src + "/gone.txt"));
        w.mnuRefresh_Click();
        QCOMPARE(m_recent->Count(), 2);
        QVERIFY(m_prompts.Shown.isEmpty());

        // Menu states follow the selected node; the volume panel its drive.
        select(m_src + "/Work/a.txt");
        w.UpdateMenuStates();
        QCOMPARE(w.mnuEnabled->text(), QStringLiteral("Enable"));
        QVERIFY(w.mnuRemove->isEnabled() && !w.mnuAssociate->isEnabled());
        QCOMPARE(w.PanelText("Volume"), QStringLiteral("Drive Volume of Selected: SYSTEM "));
        w.mnuCopyPath->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), m_src + "/Work/a.txt");
        w.mnuPopupCopyVolume->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("SYSTEM"));
        select(m_src + "/gone.txt");
        w.UpdateMenuStates();
        QVERIFY(!w.mnuEnabled->isEnabled() && !w.mnuOpen->isEnabled());
        select(m_env->root() + "/usb");
        QCOMPARE(w.PanelText("Volume"), QStringLiteral("Drive Volume of Selected: <Drive Is Not Ready> "));

        // Disabling a folder stops its watch only when no file association in it still needs it.
        m_watch.clear();
        for (const QString& folder : {m_src + "/Work", m_src + "/Work/Sub"}) {
            select(folder);
            w.mnuEnabled_Click();
            QCOMPARE(image(folder), folder + "*Magenta");
        }
        QCOMPARE(m_watch, QStringList{"stop " + m_src + "/Work/Sub"});
        w.mnuEnabled_Click();
        QCOMPARE(m_watch.last(), "watch " + m_src + "/Work/Sub");
        ProgramState reread; // a change must survive a crash as well as an exit
        LoadBackups(reread);
        QVERIFY(!reread.Backups.Item(m_src + "/Work")->Enabled &&
                reread.Backups.Item(m_src + "/Work/Sub")->Enabled);

        // Closing by the frame only hides, and saves what changed.
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        m_state->Backups.Add(Association(m_src + "/New"), m_src + "/New");
        m_state->Destinations.Add("/mnt/usb/New", m_src + "/New", QStringLiteral("USB"));
        QVERIFY(!w.close());
        QVERIFY(!w.isVisible() && !m_state->Exiting);
        QVERIFY(stores().contains(("/mnt/usb/New\r\n" + m_src + "/New\r\nUSB\r\n").toUtf8()));
        QVERIFY(ReadFile(data("usrdatab")).contains((m_src + "/New\r\n").toUtf8()));
        QVERIFY(!QFile::exists(data("pprefs"))); // only an exit stores the paused flag

        // View / Edit waits for the properties dialog, and an exit ends that wait.
        QSignalSpy unloaded(&w, &frmSavenook::Unloaded);
        QStringList shown;
        w.Later.ShowProperties = [&](const QString& path) {
            shown << path;
            m_state->PropertiesOpen = true; // the dialog stays open until the program exits
            QTimer::singleShot(50, &w, [&] {
                w.ExitSequence(false);
                m_state->WatchStopped = true;
            });
        };
        select(m_src + "/Work");
        w.mnuEdit->trigger();
        QCOMPARE(shown, QStringList{m_src + "/Work"});
        QVERIFY(m_state->Exiting);
        QTRY_COMPARE(unloaded.count(), 1);
    }

    // While scanning it asks first (the real box, with its caption); only Yes goes on.
    void exitSavesPausedFlagFirstAndWaitsForTheWatch_data()
    {
        QTest::addColumn<bool>("paused");
        QTest::addColumn<int>("answer"); // to the question while scanning; 0: not asked
        Row("running, not asked", false, 0);
        Row("paused, yes", true, int(QMessageBox::Yes));
        Row("no", false, int(QMessageBox::No));
    }
    void exitSavesPausedFlagFirstAndWaitsForTheWatch()
    {
        QFETCH(bool, paused);
        QFETCH(int, answer);
        frmSavenook& w = load();
        w.SetPrompts(nullptr);
        QSignalSpy unloaded(&w, &frmSavenook::Unloaded);
        m_state->Paused = paused;
        m_state->Scanning = true;
        m_state->Backups.Add(Association(m_src + "/X"), m_src + "/X");
        QString question;
        if (answer)
            AnswerNextBox(QMessageBox::StandardButton(answer), &question);
        const bool exits = !answer || answer == QMessageBox::Yes;
        QCOMPARE(w.ExitSequence(answer != 0), exits);
        if (answer)
            QCOMPARE(question, QStringLiteral("Savenook|Savenook is in the process of "
                                              "scanning for updated files\nExit program anyway?"));
        QCOMPARE(m_state->Exiting, exits);
        if (!exits) {
            QVERIFY(!QFile::exists(data("pprefs")));
            return;
        }
        QCOMPARE(ReadFile(data("pprefs")), QByteArray(paused ? "1\r\n" : "0\r\n"));
        QVERIFY(m_state->Paused && m_state->StopScanning);
        QVERIFY(!w.mnuPaused->isEnabled());
        QCOMPARE(w.PanelText("Running"), QStringLiteral("Exiting... "));

        // A second request while waiting must not store the forced pause.
        QFile::remove(data("pprefs"));
        QVERIFY(w.ExitSequence(true));
        QVERIFY(!QFile::exists(data("pprefs")));

        // Nothing unloads until the watch timer has acknowledged the stop.
        QTest::qWait(350);
        QCOMPARE(unloaded.count(), 0);
        QVERIFY(!QFile::exists(data("usrdatab")));
        m_state->WatchStopped = true;
        QTRY_COMPARE_WITH_TIMEOUT(unloaded.count(), 1, 2000);
        QVERIFY(stores().contains((m_src + "/X\r\n").toUtf8()));
        QVERIFY(QFile::exists(data("usrdatad")));
    }

    // Also: each engine seam is called in its place, the watch of every stored source first.
    void hiddenStartComesBackNormalAndPendingWarningsShowOnceWithoutHoldingUpAnExit()
    {
        store({Association(m_src + "/A")});
        QFile::remove(data("usrdatad"));
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
        QVERIFY(!app.Window().isVisible() && (app.Window().windowState() & Qt::WindowMinimized));
        app.ShowMainWindowNormal();
        QVERIFY(app.Window().isVisible() && !(app.Window().windowState() & Qt::WindowMinimized));
        QVERIFY(!QFileInfo::exists(data("usrdatad"))); // a start writes nothing

        QSignalSpy unloaded(&app.Window(), &frmSavenook::Unloaded);
        m_state->PendingWarnings = {"usrdatab: 1 record skipped", "usrdatad: unreadable"};
        app.RestorePausedState(true);
        app.StartWatching();
        app.StartupFinished();
        QList<QMessageBox*> boxes = OpenMessageBoxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0]->windowTitle(), QStringLiteral("Savenook"));
        QVERIFY(!boxes[0]->isModal());
        QVERIFY(boxes[0]->text().contains("1 record skipped") && boxes[0]->text().contains("unreadable"));
        app.StartupFinished(); // shown once
        QCOMPARE(OpenMessageBoxes().size(), 1);
        app.ExitRequested();
        QTRY_COMPARE_WITH_TIMEOUT(unloaded.count(), 1, 2000);
        QCOMPARE(calls, QStringList({"watch " + m_src + "/A", "pause", "start", "close all"}));
    }

    void addFilesWithOkForAll_data()
    {
        QTest::addColumn<QString>("existing");
        QTest::addColumn<int>("allOnDialog"); // 0 = none
        // name:versions:keep:destination; the versions tell which dialog's choices it took
        QTest::addColumn<QString>("expected");
        Row("all on first", "", 1, "a:11:0:/d1 b:11:1:/d1 c:11:1:/d1");
        Row("all on second", "", 2, "a:12:1:/d2 b:12:0:/d2 c:12:1:/d2");
        Row("second already there", "b", 0, "a:11:0:/d1 b:1:0:/old c:12:0:/d2");
        // A later file that already is an association ends the command; what came before stays whole.
        Row("all on first, third already there", "c", 1, "a:11:0:/d1 b:11:1:/d1 c:1:0:/old");
    }
    void addFilesWithOkForAll()
    {
        QFETCH(QString, existing);
        QFETCH(int, allOnDialog);
        QFETCH(QString, expected);
        if (!existing.isEmpty())
            store({Association(m_src + "/" + existing, false)}, "/old");
        frmSavenook& w = load();
        int opened = 0;
        bool trayEnabled = true;
        w.Later.SetTrayAddItemsEnabled = [&](bool on) { trayEnabled = on; };
        w.Later.ShowProperties = [&](const QString& path) {
            ++opened;
            QVERIFY(m_state->MultiAdd && !trayEnabled);
            m_state->Backups.Item(path)->Versions = qint16(10 + opened);
            m_state->Destinations.Add("/d" + QString::number(opened), path, "D");
            m_state->PropertiesCancelled = false;
            m_state->ApplyToAll = opened == allOnDialog;
        };
        m_prompts.Files = {MakeByBytes(m_src, "a"), MakeByBytes(m_src, "b"), MakeByBytes(m_src, "c")};
        w.MenuAddFile();

        QVERIFY(trayEnabled && !m_state->ApplyToAll && !m_state->MultiAdd);
        QCOMPARE(m_prompts.Shown.filter(QRegularExpression("^File: '.*is already backed up\\.$")).size(),
                 qsizetype(!existing.isEmpty()));
        QCOMPARE(m_prompts.Chooser, QStringLiteral("Select a file for automatic backup | All Files (*)"));
        QStringList got;
        ProgramState reread; // what the stores hold
        LoadBackups(reread);
        LoadDestinations(reread);
        for (const QString name : {"a", "b", "c"}) {
            const clsBackup* b = reread.Backups.Item(m_src + "/" + name);
            QVERIFY2(b && w.NodeExists(b->SourcePath), qPrintable(name));
            QStringList row{name, QString::number(b->Versions), QString::number(b->KeepBackup)};
            for (const clsDestination& d : reread.Destinations.ForSource(b->SourcePath))
                row << d.Path;
            got << row.join(":");
        }
        QCOMPARE(got.join(' '), expected);
    }

    // Each name is added and kept across a restart, or refused with a clear message, losing nothing kept.
    void addingKeepsOrRefuses_data()
    {
        QTest::addColumn<QString>("how");     // file, folder, drop, or yes: a folder, answering Yes
        QTest::addColumn<QByteArray>("name"); // below the root, by its bytes; "/" is the root drive
        QTest::addColumn<QString>("refusal"); // empty: added
        Row("drive question, No", "folder", QByteArray("/"), "Add drive anyway?");
        Row("whole root, Yes", "yes", QByteArray("/"), "");
        Row("remote share refused", "drop", QByteArray("net/x.txt"), "remote machines");
        Row("drive not ready", "drop", QByteArray("usb/x.txt"), "Drive not ready!");
        Row("folder already there", "folder", QByteArray("Src/keep/"), "This folder is already backed up.");
        Row("dropped folder", "drop", QByteArray("Src/Dropped/"), "");
        Row("bars", "drop", QByteArray("a|b|c.txt"), "");
        Row("trailing blank", "drop", QByteArray("ends in a blank "), "");
        Row("255-byte name", "file", QByteArray(251, 'n') + ".txt", "");
        Row("4000-byte path", "folder",
            (QByteArray(251, 'd') + "/").repeated(15) + QByteArray(200, 'n') + "/", "");
        Row("not UTF-8, dropped", "drop", QByteArray("caf\xe9.txt"), "not valid UTF-8");
        Row("not UTF-8, folder", "folder", QByteArray("d\xff/"), "not valid UTF-8");
        Row("line feed, dropped", "drop", QByteArray("a\nb.txt"), "line break");
        Row("line feed in a file", "file", QByteArray("a\nb.txt"), "line break");
    }
    void addingKeepsOrRefuses()
    {
        QFETCH(QString, how);
        QFETCH(QByteArray, name);
        QFETCH(QString, refusal);
        store({Association(m_src + "/keep")}, "/mnt/keep");
        const QString path = name == "/" ? "/" : MakeByBytes(m_env->root(), name);
        QVERIFY(!path.isEmpty());
        frmSavenook& w = load();
        const QByteArray before = stores();
        bool trayEnabled = true;
        w.Later.SetTrayAddItemsEnabled = [&](bool on) { trayEnabled = on; };
        m_prompts.Answers = {how == "yes" ? QMessageBox::Yes : QMessageBox::No};
        m_prompts.Files = {path};
        m_prompts.Folder = path;
        if (how == "file") {
            w.MenuAddFile();
        } else if (how != "drop") {
            w.MenuAddFolder();
        } else {
            // As a file manager puts it: the name's bytes, percent-encoded; only the first name counts.
            QMimeData data;
            data.setUrls({QUrl::fromEncoded("file://" + FileNames::Encode(path).toPercentEncoding("/")),
                          QUrl::fromLocalFile(MakeByBytes(m_src, "second"))});
            QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(&w, &enter);
            QVERIFY(enter.isAccepted()); // a drop reaches only the widget that accepted the drag's entry
            QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(&w, &drop);
        }
        QTRY_VERIFY_WITH_TIMEOUT(m_state->Backups.Count() > 1 || !m_prompts.Shown.isEmpty(), 3000);
        QVERIFY(trayEnabled);
        if (!refusal.isEmpty()) {
            QCOMPARE(m_prompts.Shown.size(), 1);
            QVERIFY2(m_prompts.Shown[0].contains(refusal), qPrintable(m_prompts.Shown[0]));
            if (refusal.startsWith("not") || refusal.startsWith("line")) // says which
                QVERIFY(m_prompts.Shown[0].contains(m_env->root()));
            QCOMPARE(m_state->Backups.Count(), 1);
            QCOMPARE(stores(), before);
            return;
        }
        QCOMPARE(m_prompts.Shown.size(), how == "yes" ? 1 : 0);
        QCOMPARE(m_state->Backups.Count(), 2);
        const clsBackup* added = m_state->Backups.Item(path);
        QVERIFY(added);
        QCOMPARE(added->Folder, QFileInfo(path).isDir());
        QCOMPARE(added->Volume, QStringLiteral("SYSTEM"));
        QCOMPARE(m_watch, QStringList{"watch " + path}); // the stand-in dialog confirms it
        QCOMPARE(frmSavenook::NodePath(w.treeBackupsLocal->currentItem()), path);
        QCOMPARE(image(path), path + "*Green");
        ProgramState reread;
        LoadBackups(reread);
        QVERIFY(reread.Backups.Item(m_src + "/keep") && reread.Backups.Item(path));
    }

    void removeIsRefusedWhileBusyThenRemovesTheBranch_data()
    {
        QTest::addColumn<QString>("command");
        Row("Remove", "remove");
        Row("Delete key", "delete");
        Row("Remove All", "all");
    }
    void removeIsRefusedWhileBusyThenRemovesTheBranch()
    {
        QFETCH(QString, command);
        store({Association(m_src + "/A"), Association(m_src + "/A/B")});
        frmSavenook& w = load();
        const auto run = [&] {
            if (command == "delete")
                QTest::keyClick(w.treeBackupsLocal, Qt::Key_Delete);
            else
                command == "all" ? w.mnuRemoveAll_Click() : w.mnuRemove_Click();
        };
        select(m_src + "/A");
        m_state->Scanning = true;
        run();
        QCOMPARE(m_state->Backups.Count(), 2);
        QCOMPARE(m_prompts.Shown.filter("busy").size(), 1);
        m_state->Scanning = false;
        m_prompts.Shown.clear();
        run();
        if (command == "all") {
            QCOMPARE(m_state->Backups.Count(), 0);
            QCOMPARE(w.treeBackupsLocal->topLevelItemCount(), 0);
            w.mnuRemoveAll_Click(); // nothing left: only a beep
            QCOMPARE(m_prompts.Beeps, 1);
            QCOMPARE(m_prompts.Shown.size(), 1); // the first one's question
            return;
        }
        // A leads to B: its node stays, plainly; B goes with every folder that only led to it.
        QVERIFY(!m_state->Backups.Item(m_src + "/A"));
        QCOMPARE(image(m_src + "/A"), QStringLiteral("*Folder"));
        QCOMPARE(m_watch, QStringList{"stop " + m_src + "/A"});
        select(m_src + "/A/B");
        w.RemoveLocal(w.treeBackupsLocal->currentItem());
        QCOMPARE(w.treeBackupsLocal->topLevelItemCount(), 0);
        QVERIFY(ReadFile(data("usrdatab")).isEmpty());
    }

    void windowAndNodePreferencesRoundTrip_data()
    {
        QTest::addColumn<QStringList>("saved"); // top, left, height, width in twips; empty: the window's own
        Row("round trip", QStringList());
        Row("off every screen", QStringList{"-30000", "32000", "6000", "9000"});
        Row("below the work area", QStringList{"32767", "300", "6000", "9000"});
    }
    void windowAndNodePreferencesRoundTrip()
    {
        QFETCH(QStringList, saved);
        store({Association(m_src + "/Mixed/Case")});
        frmSavenook& first = load();
        first.show();
        QVERIFY(QTest::qWaitForWindowExposed(&first));
        first.activateWindow();
        QTRY_VERIFY(first.WasActivated);
        first.move(40, 60);
        first.resize(640, 420);
        first.hide(); // to the tray: the place kept is the one it was moved to
        for (QTreeWidgetItem* n = first.FindTreeIndexFromFullPath(m_src); n; n = n->parent())
            n->setExpanded(true);
        m_state->RecentScheme = "Daily";
        first.QueryUnload();
        QVERIFY(ReadFile(data("nprefs")).contains(m_src.toUtf8() + "/Mixed\r\n"));
        if (!saved.isEmpty())
            QVERIFY(StoreFile::Write("wprefs", saved + QStringList(9, "0") + QStringList{"<n/a>"}));
        fresh();
        frmSavenook& w = load();
        if (saved.isEmpty()) {
            QCOMPARE(w.pos(), QPoint(40, 60));
            QCOMPARE(w.size(), QSize(640, 420));
            QCOMPARE(w.PanelText("Scheme"), QStringLiteral("Recent scheme: Daily "));
            // Visible nodes come back; the rest stay collapsed.
            QVERIFY(w.FindTreeIndexFromFullPath(m_src)->isExpanded());
            QVERIFY(!w.FindTreeIndexFromFullPath(m_src + "/Mixed")->isExpanded());
        }
        QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(w.pos()));
        // Never shown: nothing is written.
        QFile::remove(data("wprefs"));
        w.SaveWindowPrefs();
        QVERIFY(!QFile::exists(data("wprefs")));

        // Fifteen twips a pixel at 96 dpi, saturating instead of wrapping.
        QCOMPARE(Twips::FromPixels(600, 96), qint16(9000));
        QCOMPARE(Twips::FromPixels(5000, 96), qint16(32767));
        QCOMPARE(Twips::FromPixels(-5000, 96), qint16(-32768));
    }

    // Offscreen has no tray: the window stays in reach, and the tray's items reach the same windows.
    void withoutTrayPauseSyncAllAndALoadThatMustNotStopAScan()
    {
        const QString work = m_src + "/Work", copies = m_env->root() + "/Copies";
        WriteFile(work + "/a.txt", "a");
        QDir().mkpath(copies);
        clsBackup b = Association(work);
        b.Volume = QString(2, QChar(0));
        store({b}, copies);
        SavenookApp app(*m_state);
        frmSavenook& w = app.Window();
        w.SetPrompts(&m_prompts);
        app.LoadOptions();
        app.LoadMainWindow(true);
        QVERIFY(w.isVisible());
        const QList<QMessageBox*> notices = OpenMessageBoxes();
        QVERIFY(notices.size() == 1 && notices[0]->text().contains("No notification area"));
        w.close(); // minimises instead of hiding
        QVERIFY(w.isVisible() && w.isMinimized());

        app.RestorePausedState(true);
        QCOMPARE(w.mnuPaused->text(), QStringLiteral("Unpause Program"));
        QCOMPARE(w.PanelText("Running"), QStringLiteral("Paused... "));

        // Synchronising everything copies even while paused, and leaves the pause as it was.
        w.UpdateMenuStates();
        w.mnuSyncAll->trigger();
        QCOMPARE(m_prompts.Shown.last(), QStringLiteral("Synchronization complete!"));
        QCOMPARE(ReadFile(copies + "/Work/a.txt"), QByteArray("a"));
        QVERIFY(m_state->Paused);
        QVERIFY(w.mnuBackups->menuAction()->isEnabled() && w.treeBackupsLocal->isEnabled());
        m_prompts.Shown.clear();

        w.mnuPaused->trigger();
        QVERIFY(!m_state->Paused);
        QCOMPARE(w.mnuPaused->text(), QStringLiteral("Pause Program"));
        QCOMPARE(w.PanelText("Running"), QStringLiteral("Waiting... "));

        // A scan runs below this command: No leaves it running and the scheme unloaded.
        m_state->Backups.Add(Association(m_src), m_src);
        QVERIFY(SchemeFiles::Save(*m_state, "Other.sch"));
        const QByteArray stores = ReadFile(data("usrdatab"));
        m_state->Scanning = true;
        QString asked;
        AnswerNextBox(QMessageBox::No, &asked);
        w.mnuLoad->trigger();
        QCOMPARE(asked, "Savenook|" + ProgramPause::StopScanQuestion);
        QVERIFY(!m_state->Paused && !m_state->StopScanning && !m_state->SchemeLoaded);
        QCOMPARE(ReadFile(data("usrdatab")), stores);
        QVERIFY(m_prompts.Shown.isEmpty());
        m_state->Scanning = false;

        app.Tray().mnuRecent->trigger();
        QVERIFY(app.Log() && app.Log()->isVisible());
        app.Notifiers().Add("/a", "/b", "Copy saved");
        app.ShowNotifications();
        QVERIFY(app.Popup());
        app.Tray().mnuExit->trigger();
        QVERIFY(m_state->Exiting);
    }

    void trayMenuItemsInOrderAndEachRunsItsCommand()
    {
        frmSystemTray tray(*m_state);
        using C = frmSystemTray::Commands;
        using Command = std::function<void()> C::*;
        QList<Command> ran;
        for (Command command : {&C::About, &C::Exit, &C::Recent, &C::Options, &C::AddFile, &C::AddFolder,
                                &C::Manual, &C::HomePage, &C::ShowWindow, &C::HideWindow, &C::RestoreWindows})
            tray.Run.*command = [&ran, command] { ran << command; };
        bool shown = false;
        tray.Run.MainWindowShown = [&shown] { return shown; };

        QStringList captions;
        for (QAction* a : tray.mnuSystemTray.actions()) {
            captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
            a->trigger();
        }
        QCOMPARE(captions,
                 QStringList({"About Savenook", "-", "Show Window", "Stop and Exit", "-", "Recent Activity",
                              "Options", "-", "Add File(s)", "Add Folder", "-", "Manual", "Home Page"}));
        QCOMPARE(ran, QList<Command>({&C::About, &C::ShowWindow, &C::Exit, &C::Recent, &C::Options,
                                      &C::AddFile, &C::AddFolder, &C::Manual, &C::HomePage}));

        // Opening the menu: the caption follows the main window, and the pop-up stops staying on top.
        m_state->NotifyOnTop = true;
        shown = true;
        tray.UpdateMenu();
        QCOMPARE(tray.mnuShowHide->text(), QStringLiteral("Hide Window"));
        QCOMPARE(tray.mnuSystemTray.defaultAction(), tray.mnuShowHide);
        QVERIFY(!m_state->NotifyOnTop);
        tray.mnuShowHide->trigger();
        QVERIFY(ran.last() == &C::HideWindow);

        // A status-notifier host's single activation brings the windows back, as a double-click does.
        tray.OnActivated(QSystemTrayIcon::Trigger);
        tray.OnActivated(QSystemTrayIcon::DoubleClick);
        QCOMPARE(ran.count(&C::RestoreWindows), 2);

        tray.SetAddItemsEnabled(false);
        QVERIFY(!tray.mnuAddFile->isEnabled() && !tray.mnuAddFolder->isEnabled());

        // While a dialog edits associations, the animations come back to the editing icon.
        tray.SetEditing(true);
        tray.SetTrayIcon(TrayIconRole::Normal);
        QCOMPARE(tray.Shown(), TrayIconRole::Editing);
    }

    // Frames shown per tick (Nod, Shake, Rest); 26 ticks in all, ending on the icon at rest.
    void trayAnimationPerResultMix_data()
    {
        QTest::addColumn<QString>("mix");
        QTest::addColumn<bool>("shrugAllowed");
        QTest::addColumn<QString>("frames");
        Row("success nods", "nod", true, "NRNR");
        Row("failure shakes", "shake", true, "SRSR");
        Row("both shrug", "shrug", true, "NRSR");
        // The shake's first frame, then the shrug takes over from the icon at rest.
        Row("success then failure", "nod+shake", true, "NRNRSRNRSR");
        Row("then, no shrug", "nod+shake", false, "NRNRSR");
        Row("nod switched off", "nod off", true, "");
    }
    void trayAnimationPerResultMix()
    {
        QFETCH(QString, mix);
        QFETCH(bool, shrugAllowed);
        QFETCH(QString, frames);
        Options options;
        options.TrayShrug = shrugAllowed;
        options.TrayNod = mix != "nod off";
        TrayAnimations anim(options);
        QString shown;
        anim.Show = [&shown](TrayIconRole role) {
            shown += role == TrayIconRole::NodFrame ? 'N' : role == TrayIconRole::ShakeFrame ? 'S' : 'R';
        };
        // Steps the timers by hand: whichever is armed ticks next, as the event loop would.
        const auto step = [&anim] {
            const bool shrug = anim.tmrShrug.isActive();
            const bool nod = !shrug && anim.tmrNod.isActive(), shake = !shrug && anim.tmrShake.isActive();
            if (shrug)
                anim.ShrugTick();
            if (nod)
                anim.NodTick();
            if (shake)
                anim.ShakeTick();
            return shrug || nod || shake;
        };
        const TrayAnimation first = mix.startsWith("nod") ? TrayAnimation::Nod
                                    : mix == "shake"      ? TrayAnimation::Shake
                                                          : TrayAnimation::Shrug;
        anim.Start(first);
        int ticks = 0;
        if (mix == "nod+shake") {
            for (; ticks < 3; ++ticks)
                step();
            anim.Start(TrayAnimation::Shake);
        }
        while (step())
            QVERIFY(++ticks < 100);
        QCOMPARE(shown.left(frames.size()), frames);
        QVERIFY(frames.isEmpty() || shown.endsWith('R'));
        if (mix == "nod+shake")
            QCOMPARE(shown.size() > frames.size(), shrugAllowed);
        else if (!frames.isEmpty())
            QCOMPARE(ticks, 26);

        // Whatever ran before, the next nod runs in full, at its pace however many files succeed.
        options.TrayNod = true;
        anim.Start(TrayAnimation::Nod);
        for (ticks = 0; step(); ++ticks) {
            if (anim.tmrNod.isActive()) {
                anim.Start(TrayAnimation::Nod);
                QCOMPARE(anim.tmrNod.interval(), 125);
            }
        }
        QCOMPARE(ticks, 26);
    }
};

QTEST_MAIN(tst_MainWindowCommands)
#include "tst_MainWindowCommands.moc"
