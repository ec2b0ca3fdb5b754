#include "ui/main/SavenookApp.h"

#include "core/Main.h"
#include "settings/OptionsFile.h"
#include "platform/SambaShares.h"
#include "ui/dialogs/frmLoad.h"
#include "ui/dialogs/frmSave.h"
#include "ui/main/DesktopSession.h"

#include <QApplication>
#include <QMessageBox>
#include <QStyle>

SavenookApp::SavenookApp(ProgramState& state, QObject* parent)
    : QObject(parent), m_state(state), m_recent(state), m_notifiers(state),
      m_context{state,    m_options, m_recent, m_notifiers, m_drives, m_copier, m_notifier,
                m_waiter, *this,     m_hooks},
      m_engine(m_context), m_window(state), m_properties(m_window, state), m_pause(state)
{
    // The window closes to the tray; only the exit sequence ends the program.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    connect(&m_window, &frmSavenook::Unloaded, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    // The session's save requests only save; its end runs the ordinary exit.
    new DesktopSession(m_state, m_window, this);

    Seams.WatchSourceFolder = [this](const clsBackup& b) { m_engine.WatchSourceFolder(b.SourcePath, b.Recursive); };
    Seams.StartWatching = [this] { m_engine.StartWatching(); };
    Seams.CloseAllNotifications = [this] { m_engine.CloseAllNotifications(); };
    // Running out of inotify watches must not pass unnoticed: some saves would not be seen.
    m_notifier.SetWarningSink([this](const QString& text) { ShowWarning(text); });
    // So does a store that could not be written: the associations would be lost at the end.
    m_state.ShowWarning = [this](const QString& text) { ShowWarning(text); };
    Seams.RestorePausedState = [this](bool paused) { m_pause.Restore(paused); };
    m_window.CloseAllNotifications = [this] { Seams.CloseAllNotifications(); };

    m_window.Svc.DriveInfo = &m_drives;
    m_window.Svc.Shares = NetworkPaths::SharesOf(SambaShares());
    m_window.Svc.Recent = &m_recent;
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
    m_engine.SetTickHook([this] { m_window.CaptureMainPlacement(); });
    m_window.SetWideMargins(QCoreApplication::arguments().join(QLatin1Char(' ')).contains(
        QLatin1String("vist"), Qt::CaseInsensitive));
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
    m_window.Later.PauseProgram = [this] { m_pause.PauseProgram(); };
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
}

void SavenookApp::LoadOptions()
{
    m_options = OptionsStartValues();
    ::LoadOptions(m_options);
}

void SavenookApp::LoadMainWindow(bool hidden)
{
    m_window.Load([this](const clsBackup& backup) { Seams.WatchSourceFolder(backup); });
    if (hidden) {
        m_window.setWindowState(Qt::WindowMinimized);
        m_window.TraceVisibility(false);
    } else {
        m_window.show();
    }
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
    m_warnings = new QMessageBox(QMessageBox::Warning, QStringLiteral("Savenook"), text, QMessageBox::Ok, parent);
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
