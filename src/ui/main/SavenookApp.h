#pragma once

#include "core/EventPump.h"
#include "core/MainSteps.h"
#include "core/ProgramState.h"
#include "engine/Engine.h"
#include "engine/EngineContext.h"
#include "engine/EngineHooks.h"
#include "engine/ProgramPause.h"
#include "platform/InotifyNotifier.h"
#include "platform/LinuxDrives.h"
#include "platform/LinuxFileCopier.h"
#include "platform/RealWaiter.h"
#include "reporting/colNotifiers.h"
#include "reporting/colRecent.h"
#include "settings/Options.h"
#include "ui/dialogs/frmOptions.h"
#include "ui/main/PropertiesOpener.h"
#include "ui/main/TrayAnimations.h"
#include "ui/main/frmSavenook.h"
#include "ui/main/frmSystemTray.h"
#include "ui/reporting/frmNotification.h"
#include "ui/reporting/frmRecentLog.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class QMessageBox;

// The composition root: owns what lives for the whole run beside Main's state
// and does the start-up steps that need the rooms above core.
class SavenookApp : public QObject, public MainSteps, public EventPump, public EngineHooks
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
    ProgramPause& Pause() { return m_pause; }

    // The options dialog, not modal; one already open is brought forward. The
    // main window opens it as its parent, the tray with none.
    void ShowOptions(QWidget* parent);
    // Shows one icon in the notification area for the options dialog's
    // animation previews; set by whoever owns the tray icon.
    std::function<void(frmOptions::TrayIcon)> ShowTrayPreviewIcon;
    frmSavenook& Window() { return m_window; }
    PropertiesOpener& Properties() { return m_properties; }
    frmSystemTray& Tray() { return m_tray; }
    TrayAnimations& Animations() { return m_animations; }
    colRecent& Recent() { return m_recent; }
    colNotifiers& Notifiers() { return m_notifiers; }
    // Null while not loaded.
    frmNotification* Popup() const { return m_popup; }
    frmRecentLog* Log() const { return m_log; }
    // Whether a tray host answers at start-up (replaceable in tests).
    std::function<bool()> TrayAvailable = &frmSystemTray::Available;
    void ShowRecentActivity();
    void ShowPreviousVersions(const QString& sourcePath);
    QString VersionSpace(const QString& sourcePath);

    void LoadOptions() override;
    void LoadMainWindow(bool hidden) override;
    void RestorePausedState(bool paused) override;
    void StartWatching() override;
    void StartupFinished() override;
    void ShowMainWindowNormal() override;
    void ExitRequested() override;
    void SetExitStartedHandler(std::function<void()> handler) override;

    void ProcessPendingMessages() override;

    void StartTrayAnimation(TrayAnimation animation) override;
    void ShowNotifications() override;
    void ShowScanningPopup() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void wireCommands();
    frmNotification& LoadPopup();
    void WireTray();
    void ShowWarning(const QString& text);

    ProgramState& m_state;
    Options m_options;
    colRecent m_recent;
    colNotifiers m_notifiers;
    InotifyNotifier m_notifier;
    LinuxDrives m_drives;
    LinuxFileCopier m_copier;
    RealWaiter m_waiter;
    EngineContext m_context;
    Engine m_engine;
    frmSavenook m_window;
    PropertiesOpener m_properties;
    ProgramPause m_pause;
    QPointer<frmOptions> m_optionsDialog;
    frmSystemTray m_tray;
    TrayAnimations m_animations;
    QPointer<frmNotification> m_popup;
    QPointer<frmRecentLog> m_log;
    QPointer<QMessageBox> m_warnings;
};
