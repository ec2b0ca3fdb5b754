// The tray menu's items, the animations per result mix, and the program's
// reach without a tray host (the offscreen platform has none).
#include "core/ProgramState.h"
#include "settings/Options.h"
#include "support/TestEnvironment.h"
#include "support/UiFakes.h"
#include "ui/main/SavenookApp.h"
#include "ui/main/TrayAnimations.h"
#include "ui/main/frmSystemTray.h"

#include <QMessageBox>
#include <QtTest>

class tst_frmSystemTray : public QObject
{
    Q_OBJECT

    std::optional<TestEnvironment> m_env;
    std::optional<ProgramState> m_state;

  private Q_SLOTS:
    void init()
    {
        m_env.emplace();
        m_state.emplace();
    }
    void menuItemsInOrderAndEachRunsItsCommand()
    {
        frmSystemTray tray(*m_state);
        QStringList ran;
        using C = frmSystemTray::Commands;
        const std::pair<std::function<void()> C::*, const char*> commands[] = {
            {&C::About, "about"},           {&C::Exit, "exit"},
            {&C::Recent, "recent"},         {&C::Options, "options"},
            {&C::AddFile, "add file"},      {&C::AddFolder, "add folder"},
            {&C::Manual, "manual"},         {&C::HomePage, "home page"},
            {&C::ShowWindow, "show"},       {&C::HideWindow, "hide"},
            {&C::RestoreWindows, "restore"}};
        for (const auto& [command, name] : commands)
            tray.Run.*command = [&ran, name = name] { ran << QLatin1String(name); };
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
        QCOMPARE(ran, QStringList({"about", "show", "exit", "recent", "options", "add file", "add folder",
                                   "manual", "home page"}));

        // Opening the menu: the caption follows the main window, and the pop-up stops staying on top.
        m_state->NotifyOnTop = true;
        shown = true;
        tray.UpdateMenu();
        QCOMPARE(tray.mnuShowHide->text(), QStringLiteral("Hide Window"));
        QCOMPARE(tray.mnuSystemTray.defaultAction(), tray.mnuShowHide);
        QVERIFY(!m_state->NotifyOnTop);
        tray.mnuShowHide->trigger();
        QCOMPARE(ran.last(), QStringLiteral("hide"));

        // A status-notifier host's single activation brings the windows back, as a double-click does.
        tray.OnActivated(QSystemTrayIcon::Trigger);
        tray.OnActivated(QSystemTrayIcon::DoubleClick);
        QCOMPARE(ran.count(QStringLiteral("restore")), 2);

        tray.SetAddItemsEnabled(false);
        QVERIFY(!tray.mnuAddFile->isEnabled() && !tray.mnuAddFolder->isEnabled());

        // While a dialog edits associations, the animations come back to the editing icon.
        tray.SetEditing(true);
        tray.SetTrayIcon(TrayIconRole::Normal);
        QCOMPARE(tray.Shown(), TrayIconRole::Editing);
    }

    // Frames shown per tick (Nod, Shake, Rest); 26 ticks in all, ending on the icon at rest.
    void animationPerResultMix_data()
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
    void animationPerResultMix()
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
        QVERIFY(!anim.NodActive && !anim.ShakeActive && anim.AnimTicks == 0);

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

    void withoutTrayTheWindowStaysInReach()
    {
        SavenookApp app(*m_state);
        QVERIFY(!frmSystemTray::Available()); // offscreen
        app.LoadMainWindow(true);
        QVERIFY(app.Window().isVisible());
        const QList<QMessageBox*> notices = OpenMessageBoxes();
        QCOMPARE(notices.size(), 1);
        QVERIFY(!notices[0]->isModal() && notices[0]->text().contains("No notification area"));
        // Closing by the frame minimises instead of hiding.
        app.Window().close();
        QVERIFY(app.Window().isVisible() && app.Window().isMinimized());

        // The tray's items reach the same windows as the main menu.
        app.Tray().mnuRecent->trigger();
        QVERIFY(app.Log() && app.Log()->isVisible());
        app.Notifiers().Add(QStringLiteral("/a"), QStringLiteral("/b"), QStringLiteral("Copy saved"));
        app.ShowNotifications();
        QVERIFY(app.Popup());
        QSignalSpy unloaded(&app.Window(), &frmSavenook::Unloaded);
        app.Tray().mnuExit->trigger();
        QVERIFY(m_state->Exiting);
        m_state->WatchStopped = true;
        QTRY_COMPARE(unloaded.count(), 1);
    }
};

QTEST_MAIN(tst_frmSystemTray)
#include "tst_frmSystemTray.moc"
