#pragma once

#include "core/MainSteps.h"
#include "core/ProgramState.h"
#include "settings/Options.h"
#include "ui/main/frmSavenook.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class QMessageBox;
class QSessionManager;

// The composition root: owns what lives for the whole run beside Main's state
// and does the start-up steps that need the rooms above core.
class SavenookApp : public QObject, public MainSteps
{
    Q_OBJECT
  public:
    explicit SavenookApp(ProgramState& state, QObject* parent = nullptr);
    ~SavenookApp() override;

    // Where the engine plugs in. Each starts as a stand-in that keeps start-up and
    // exit working without it; replace them before Main runs the steps.
    struct EngineSeams
    {
        // Called for every association the stores load (WatchSourceFolder).
        std::function<void(const clsBackup&)> WatchSourceFolder;
        // Starts the watch timer (StartWatching). The stand-in only acknowledges
        // an exit by setting WatchStopped, as the real watch tick must.
        std::function<void()> StartWatching;
        // At the final unload: close every watched folder's change notification.
        std::function<void()> CloseAllNotifications;
        // PauseProgram / UnpauseProgram with the stored paused flag.
        std::function<void(bool paused)> RestorePausedState;
    };
    EngineSeams Seams;

    Options& Opts() { return m_options; }
    frmSavenook& Window() { return m_window; }

    void LoadOptions() override;
    void LoadMainWindow(bool hidden) override;
    void RestorePausedState(bool paused) override;
    void StartWatching() override;
    void StartupFinished() override;
    void ShowMainWindowNormal() override;
    void ExitRequested() override;
    void SetExitStartedHandler(std::function<void()> handler) override;

  private:
    void StandInWatchTick();
    void OnSessionEnding(QSessionManager& manager);

    ProgramState& m_state;
    Options m_options;
    frmSavenook m_window;
    QTimer m_standInWatch;
    QPointer<QMessageBox> m_warnings;
};
