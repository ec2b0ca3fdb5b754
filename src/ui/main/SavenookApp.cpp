#include "ui/main/SavenookApp.h"

#include "core/Main.h"
#include "engine/DestinationMounts.h"
#include "engine/PreviousVersions.h"
#include "platform/FileNames.h"
#include "platform/FileStamp.h"
#include "platform/SambaShares.h"
#include "settings/OptionsFile.h"
#include "ui/dialogs/frmLoad.h"
#include "ui/dialogs/frmPreviousVersions.h"
#include "ui/dialogs/frmSave.h"
#include "ui/main/DesktopSession.h"

#include <QApplication>
#include <QLocale>
#include <QMessageBox>
#include <QScreen>
#include <QStyle>

SavenookApp::SavenookApp(ProgramState& state, QObject* parent)
    : QObject(parent), m_state(state), m_recent(state),
      m_notifiers(state), m_context{state,    m_options,  m_recent, m_notifiers, m_drives,
                                    m_copier, m_notifier, m_waiter, *this,       *this},
      m_engine(m_context), m_window(state), m_properties(m_window, state), m_pause(state), m_tray(state),
      m_animations(m_options)
{
    // The window closes to the tray; only the exit sequence ends the program.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    connect(&m_window, &frmSavenook::Unloaded, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    // The session's save requests only save; its end runs the ordinary exit.
    new DesktopSession(m_state, m_window, this);

    Seams.WatchSourceFolder = [this](const clsBackup& b) {
        m_engine.WatchSourceFolder(b.SourcePath, b.Recursive);
    };
    Seams.StartWatching = [this] { m_engine.StartWatching(); };
    Seams.CloseAllNotifications = [this] { m_engine.CloseAllNotifications(); };
    // Running out of inotify watches must not pass unnoticed: some saves would not be seen.
    m_notifier.SetWarningSink([this](const QString& text) { ShowWarning(text); });
    // So does a store that could not be written: the associations would be lost at the end.
    m_state.ShowWarning = [this](const QString& text) { ShowWarning(text); };
    Seams.RestorePausedState = [this](bool paused) { m_pause.Restore(paused); };
    m_window.CloseAllNotifications = [this] { Seams.CloseAllNotifications(); };

    // A destination the user picks is tied to the drive it lies on now, even one
    // that was tied to another drive before: the user has said so.
    m_properties.DestinationsChosen = [this](const QStringList& paths) {
        QStringList keep;
        for (const clsDestination& d : m_state.Destinations)
            keep.append(d.Path);
        for (const QString& path : paths)
            if (const auto now = DestinationMounts::Describe(path, m_drives))
                m_engine.Backup().Mounts().Remember(path, *now, keep, true);
    };
    m_window.Svc.DriveInfo = &m_drives;
    m_window.Svc.Shares = NetworkPaths::SharesOf(SambaShares());
    m_window.Svc.Recent = &m_recent;
    m_properties.VersionSpace = [this](const QString& sourcePath) { return VersionSpace(sourcePath); };
    m_properties.Install();
    m_window.Svc.WatchFolder = [this](const QString& path, bool recursive) {
        m_engine.WatchSourceFolder(path, recursive);
    };
    m_window.Svc.StopWatchedFolder = [this](const QString& folder) {
        if (clsDetectFolder* record = m_engine.DetectFolders().Item(folder)) {
            record->ClassNotifyDelete(m_notifier);
            record->AutoBackup = clsDetectFolder::NoNotification;
        }
    };
    wireCommands();
    WireTray();
    // Any of our own windows coming to the front ends the pop-up's stay on top.
    qApp->installEventFilter(this);
    // The watch tick may be asleep, and the exit waits for one: queued, so that it sees Exiting.
    connect(
        &m_window, &frmSavenook::ExitStarted, this, [this] { m_engine.Wake(); }, Qt::QueuedConnection);
    m_window.SetWideMargins(QCoreApplication::arguments()
                                .join(QLatin1Char(' '))
                                .contains(QLatin1String("vist"), Qt::CaseInsensitive));
}

void SavenookApp::wireCommands()
{
    const auto ask = [this](QMessageBox::Icon icon, const QString& text,
                            QMessageBox::StandardButtons buttons) {
        QMessageBox box(icon, QStringLiteral("Savenook"), text, buttons,
                        m_window.isVisible() ? &m_window : nullptr);
        if (buttons.testFlag(QMessageBox::No))
            box.setDefaultButton(QMessageBox::No);
        return static_cast<QMessageBox::StandardButton>(box.exec());
    };

    m_pause.Ui.AskYesNo = [ask](const QString& question) {
        return ask(QMessageBox::Question, question, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    m_pause.Ui.ShowPaused = [this](bool paused) {
        // The item shows what it will do.
        m_window.mnuPaused->setText(paused ? QStringLiteral("Unpause Program")
                                           : QStringLiteral("Pause Program"));
        m_window.mnuPaused->setIcon(QIcon::fromTheme(
            paused ? QStringLiteral("media-playback-start") : QStringLiteral("media-playback-pause"),
            m_window.style()->standardIcon(paused ? QStyle::SP_MediaPlay : QStyle::SP_MediaPause)));
    };
    m_window.Later.PauseProgram = [this] {
        m_pause.PauseProgram();
        m_engine.Wake(); // a scan it stopped has its flags cleared by a tick
    };
    m_window.Later.UnpauseProgram = [this] { m_pause.UnpauseProgram(); };

    Synchronization& sync = m_engine.Sync();
    sync.Ui.Warn = [ask](const QString& text) { ask(QMessageBox::Warning, text, QMessageBox::Ok); };
    sync.Ui.ShowRecentActivity = [this] { m_window.Later.ShowRecentActivity(); };
    m_window.Later.SynchronizeBackup = [this](const QString& path) {
        const Synchronization::Result result = m_engine.Sync().SynchronizeBackup(path);
        return result == Synchronization::Result::Done || result == Synchronization::Result::SourceMissing;
    };
    m_window.Later.SynchronizeAll = [this] {
        return m_engine.Sync().SynchronizeAll() == Synchronization::Result::Done;
    };

    m_window.Later.ShowOptions = [this] { ShowOptions(&m_window); };
    m_window.Later.SaveScheme = [this] {
        frmSave dialog(m_state, &m_window);
        dialog.TreeClick = [this] { m_window.TreeClick(); };
        dialog.exec();
    };
    m_window.Later.LoadScheme = [this] {
        frmLoad dialog(m_state, &m_window);
        dialog.exec();
        return m_state.SchemeLoaded;
    };
}

void SavenookApp::ShowOptions(QWidget* parent)
{
    if (m_optionsDialog) {
        m_optionsDialog->showNormal();
        m_optionsDialog->raise();
        m_optionsDialog->activateWindow();
        return;
    }
    m_optionsDialog = new frmOptions(m_state, m_options, parent);
    m_optionsDialog->setAttribute(Qt::WA_DeleteOnClose);
    m_optionsDialog->ShowTrayIcon = [this](frmOptions::TrayIcon icon) {
        if (ShowTrayPreviewIcon)
            ShowTrayPreviewIcon(icon);
    };
    m_optionsDialog->show();
}

SavenookApp::~SavenookApp()
{
    m_state.ShowWarning = nullptr;
    delete m_warnings;
    delete m_popup;
    delete m_log;
}

void SavenookApp::WireTray()
{
    m_animations.Show = [this](TrayIconRole role) { m_tray.SetTrayIcon(role); };
    m_window.Later.ShowRecentActivity = [this] { ShowRecentActivity(); };
    m_window.Later.ShowPreviousVersions = [this](const QString& sourcePath) {
        ShowPreviousVersions(sourcePath);
    };
    m_window.Later.SetTrayEditing = [this](bool editing) { m_tray.SetEditing(editing); };
    m_window.Later.SetTrayAddItemsEnabled = [this](bool enabled) { m_tray.SetAddItemsEnabled(enabled); };
    m_window.RemoveTrayIcon = [this] { m_tray.RemoveTrayIcon(); };

    frmSystemTray::Commands& run = m_tray.Run;
    run.About = [this] { m_window.mnuAbout->trigger(); };
    // The tray's exit asks nothing: the user may not see the window it would ask from.
    run.Exit = [this] { m_window.ExitSequence(false); };
    run.Recent = [this] { ShowRecentActivity(); };
    // No parent: the main window may be hidden or minimised.
    run.Options = [this] { ShowOptions(nullptr); };
    ShowTrayPreviewIcon = [this](frmOptions::TrayIcon icon) {
        m_tray.SetTrayIcon(icon == frmOptions::TrayIcon::Success ? TrayIconRole::NodFrame
                           : icon == frmOptions::TrayIcon::Error ? TrayIconRole::ShakeFrame
                                                                 : TrayIconRole::Normal);
    };
    run.AddFile = [this] {
        m_window.MenuAddFile();
        m_tray.SetAddItemsEnabled(true);
    };
    run.AddFolder = [this] {
        m_window.MenuAddFolder(QString());
        m_tray.SetAddItemsEnabled(true);
    };
    // The same as the main window's items of these captions.
    run.Manual = [this] { m_window.mnuHelp->trigger(); };
    run.HomePage = [this] { m_window.mnuWeb->trigger(); };
    run.MainWindowShown = [this] { return m_window.isVisible() && !m_window.isMinimized(); };
    run.ShowWindow = [this] { m_window.ShowNormalAndActivate(); };
    run.HideWindow = [this] { m_window.setWindowState(m_window.windowState() | Qt::WindowMinimized); };
    run.RestoreWindows = [this] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w != &m_window && w != m_popup && w->isVisible() && w->isMinimized())
                w->showNormal();
        m_window.ShowNormalAndActivate();
    };
}

QString SavenookApp::VersionSpace(const QString& sourcePath)
{
    const clsBackup* backup = m_state.Backups.Item(sourcePath);
    if (!backup)
        return QString();
    const PreviousVersions versions(m_state, m_drives, m_engine.Backup().Mounts(), m_options.PrevSaveName);
    QStringList parts;
    const QLocale locale;
    for (const auto& [destination, bytes] : versions.VersionBytes(*backup))
        parts << FileNames::ForDisplay(destination) + QStringLiteral(": ") +
                     (bytes ? locale.formattedDataSize(*bytes) : QStringLiteral("unreachable"));
    if (parts.isEmpty())
        return QString();
    return QStringLiteral("Space taken by previous versions: ") + parts.join(QStringLiteral("; "));
}

void SavenookApp::ShowPreviousVersions(const QString& sourcePath)
{
    const clsBackup* backup = m_state.Backups.Item(sourcePath);
    if (!backup)
        return;
    PreviousVersions versions(m_state, m_drives, m_engine.Backup().Mounts(), m_options.PrevSaveName);
    // The file as it is now is kept through the usual backup, which a destination
    // may refuse (unreachable, unchanged-file check aside): then it is kept beside.
    const auto keepAsVersion = [this, &versions, sourcePath](const QString& target) {
        const clsBackup* b = m_state.Backups.Item(sourcePath);
        if (!b || !b->KeepBackup || b->Versions <= 0)
            return false;
        m_engine.Backup().BackupFile(sourcePath, m_state.Backups.PositionOf(sourcePath), target);
        const FileStamp now = FileStamp::Of(target, true);
        for (const PreviousVersions::Copy& c : versions.List(*b, target).Copies)
            if (c.Version == 0 && c.Size == now.Size && c.ModifiedMs == now.ModifiedMs())
                return true;
        return false;
    };
    frmPreviousVersions window(*backup, versions, m_copier, m_recent, keepAsVersion, &m_window);
    window.exec();
}

void SavenookApp::ShowRecentActivity()
{
    if (!m_log)
        m_log = new frmRecentLog(m_state, m_recent, m_window.LogPlacement, &m_window);
    m_log->show();
    m_log->raise();
    m_log->activateWindow();
}

frmNotification& SavenookApp::LoadPopup()
{
    if (!m_popup) {
        m_popup = new frmNotification(m_state, m_options, m_notifiers);
        // The corner of the screen that holds the tray, else of the primary screen.
        m_popup->WorkArea = [this] {
            const QRect tray = m_tray.Icon.isVisible() ? m_tray.Icon.geometry() : QRect();
            QScreen* screen = tray.isValid() ? QGuiApplication::screenAt(tray.center()) : nullptr;
            if (!screen)
                screen = QGuiApplication::primaryScreen();
            return screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
        };
    }
    return *m_popup;
}

void SavenookApp::StartTrayAnimation(TrayAnimation animation)
{
    m_animations.Start(animation);
}

void SavenookApp::ShowNotifications()
{
    // A fresh pop-up shows its first result at its first tick; one on display comes to the front.
    frmNotification& popup = LoadPopup();
    if (popup.NotificationShown)
        popup.ShowNoActivate();
}

void SavenookApp::ShowScanningPopup()
{
    LoadPopup().ShowScanningBar();
}

bool SavenookApp::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && watched->isWidgetType()) {
        const auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow() && widget != m_popup)
            m_state.OwnWindowActivated = true;
    }
    return QObject::eventFilter(watched, event);
}

void SavenookApp::LoadOptions()
{
    m_options = OptionsStartValues();
    ::LoadOptions(m_options);
}

void SavenookApp::LoadMainWindow(bool hidden)
{
    const bool tray = TrayAvailable();
    // Added in any case: a tray host that appears later still docks the icon.
    m_tray.AddTrayIcon(QStringLiteral("Savenook - Autobackup Software"));
    if (!tray) {
        // Nothing could bring a hidden window back: it stays in reach.
        if (hidden)
            Main::Trace(QStringLiteral("no tray: window shown"));
        hidden = false;
        m_window.CloseMinimises = true;
    }
    m_window.Load([this](const clsBackup& backup) { Seams.WatchSourceFolder(backup); });
    if (hidden) {
        m_window.setWindowState(Qt::WindowMinimized);
        m_window.TraceVisibility(false);
    } else {
        m_window.show();
    }
    if (!tray)
        ShowWarning(QStringLiteral("No notification area (system tray) was found on this desktop.\n\n"
                                   "Savenook backs up as usual; its window stays in reach, and closing it "
                                   "minimises it instead of hiding it."));
}

void SavenookApp::RestorePausedState(bool paused)
{
    Seams.RestorePausedState(paused);
}

void SavenookApp::StartWatching()
{
    Seams.StartWatching();
}

void SavenookApp::StartupFinished()
{
    if (m_state.PendingWarnings.isEmpty())
        return;
    ShowWarning(m_state.PendingWarnings.join(QStringLiteral("\n\n")));
    m_state.PendingWarnings.clear();
}

void SavenookApp::ShowWarning(const QString& text)
{
    if (m_warnings) {
        m_warnings->setText(m_warnings->text() + QStringLiteral("\n\n") + text);
        return;
    }
    // Non-modal: a warning must not hold up watching or an exit.
    QWidget* parent = m_window.isVisible() ? &m_window : nullptr;
    m_warnings =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("Savenook"), text, QMessageBox::Ok, parent);
    m_warnings->setAttribute(Qt::WA_DeleteOnClose);
    m_warnings->setModal(false);
    m_warnings->show();
}

void SavenookApp::ShowMainWindowNormal()
{
    m_window.ShowNormalAndActivate();
}

void SavenookApp::ExitRequested()
{
    m_window.ExitSequence(false);
}

void SavenookApp::SetExitStartedHandler(std::function<void()> handler)
{
    connect(&m_window, &frmSavenook::ExitStarted, this, std::move(handler));
}

void SavenookApp::ProcessPendingMessages()
{
    QCoreApplication::processEvents();
}
