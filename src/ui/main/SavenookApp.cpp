#include "ui/main/SavenookApp.h"

#include "core/Main.h"
#include "settings/OptionsFile.h"
#include "platform/SambaShares.h"

#include <QApplication>
#include <QMessageBox>
#include <QSessionManager>

SavenookApp::SavenookApp(ProgramState& state, QObject* parent)
    : QObject(parent), m_state(state), m_recent(state), m_notifiers(state),
      m_context{state,    m_options, m_recent, m_notifiers, m_drives, m_copier, m_notifier,
                m_waiter, *this,     m_hooks},
      m_engine(m_context), m_window(state)
{
    // The window closes to the tray; only the exit sequence ends the program.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    connect(&m_window, &frmSavenook::Unloaded, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    // A logout must lose nothing: the session's quit runs the ordinary exit.
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(gui, &QGuiApplication::commitDataRequest, this, &SavenookApp::OnSessionEnding);
        connect(gui, &QGuiApplication::saveStateRequest, this, &SavenookApp::OnSessionEnding);
    }

    Seams.WatchSourceFolder = [this](const clsBackup& b) { m_engine.WatchSourceFolder(b.SourcePath, b.Recursive); };
    Seams.StartWatching = [this] { m_engine.StartWatching(); };
    Seams.CloseAllNotifications = [this] { m_engine.CloseAllNotifications(); };
    // Running out of inotify watches must not pass unnoticed: some saves would not be seen.
    m_notifier.SetWarningSink([this](const QString& text) { ShowWarning(text); });
    Seams.RestorePausedState = [this](bool paused) {
        m_state.Paused = paused;
        m_state.SetRunningText(paused ? QStringLiteral("Paused... ") : QStringLiteral("Waiting... "));
    };
    m_window.CloseAllNotifications = [this] { Seams.CloseAllNotifications(); };

    m_window.Svc.DriveInfo = &m_drives;
    m_window.Svc.Shares = NetworkPaths::SharesOf(SambaShares());
    m_window.Svc.Recent = &m_recent;
    m_window.Svc.WatchFolder = [this](const QString& path, bool recursive) {
        m_engine.WatchSourceFolder(path, recursive);
    };
    m_window.Svc.StopWatchedFolder = [this](const QString& folder) {
        if (clsDetectFolder* record = m_engine.DetectFolders().Item(folder)) {
            record->ClassNotifyDelete(m_notifier);
            record->AutoBackup = clsDetectFolder::NoNotification;
        }
    };
    m_engine.SetTickHook([this] { m_window.CaptureMainPlacement(); });
    m_window.SetWideMargins(QCoreApplication::arguments().join(QLatin1Char(' ')).contains(
        QLatin1String("vist"), Qt::CaseInsensitive));
}

SavenookApp::~SavenookApp()
{
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

void SavenookApp::OnSessionEnding(QSessionManager&)
{
    m_window.ExitSequence(false);
    // The session may end us before the exit timer fires: save the stores now;
    // the final unload writes them once more.
    m_window.QueryUnload();
}
