#include "ui/main/SavenookApp.h"

#include "core/Main.h"
#include "core/Stores.h"
#include "settings/OptionsFile.h"

#include <QApplication>
#include <QMessageBox>
#include <QSessionManager>

SavenookApp::SavenookApp(ProgramState& state, QObject* parent)
    : QObject(parent), m_state(state), m_window(state)
{
    // The window closes to the tray; only the exit sequence ends the program.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    connect(&m_window, &frmSavenook::Unloaded, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    // A logout must lose nothing: the session's quit runs the ordinary exit.
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(gui, &QGuiApplication::commitDataRequest, this, &SavenookApp::OnSessionEnding);
        connect(gui, &QGuiApplication::saveStateRequest, this, &SavenookApp::OnSessionEnding);
    }

    Seams.WatchSourceFolder = [](const clsBackup&) {};
    Seams.StartWatching = [this] { m_standInWatch.start(); };
    Seams.CloseAllNotifications = [] {};
    Seams.RestorePausedState = [this](bool paused) {
        m_state.Paused = paused;
        m_state.SetRunningText(paused ? QStringLiteral("Paused... ") : QStringLiteral("Waiting... "));
    };
    m_standInWatch.setSingleShot(true);
    m_standInWatch.setInterval(100);
    connect(&m_standInWatch, &QTimer::timeout, this, &SavenookApp::StandInWatchTick);
    m_window.CloseAllNotifications = [this] { Seams.CloseAllNotifications(); };
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
    // Non-modal: a damaged store must not hold up watching or an exit.
    QWidget* parent = m_window.isVisible() ? &m_window : nullptr;
    m_warnings =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("Savenook"),
                        m_state.PendingWarnings.join(QStringLiteral("\n\n")), QMessageBox::Ok, parent);
    m_warnings->setAttribute(Qt::WA_DeleteOnClose);
    m_warnings->setModal(false);
    m_warnings->show();
    m_state.PendingWarnings.clear();
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

void SavenookApp::StandInWatchTick()
{
    // Stands in for the engine's watch tick until it exists: acknowledge a stop
    // request once no scan runs, otherwise tick again.
    if (m_state.StopScanning && !m_state.Scanning) {
        m_state.WatchStopped = true;
        return;
    }
    m_standInWatch.start();
}

void SavenookApp::OnSessionEnding(QSessionManager&)
{
    m_window.ExitSequence(false);
    // The session may end us before the exit timer fires: save the stores now;
    // the final unload writes them once more.
    SaveBackups(m_state);
    SaveDestinations(m_state);
}
