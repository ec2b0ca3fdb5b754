#pragma once

#include "core/ProgramState.h"
#include "core/StatusPanels.h"

#include <QMainWindow>
#include <QTimer>

#include <functional>
#include <map>

class QAction;
class QLabel;

// The main window. Closing it by its frame only hides it (after saving the
// stores); it really unloads once, at the end of the exit sequence.
class frmSavenook : public QMainWindow, public StatusPanels
{
    Q_OBJECT
  public:
    explicit frmSavenook(ProgramState& state, QWidget* parent = nullptr);
    ~frmSavenook() override;

    // Panels, stores and association count. onLoaded runs for every association
    // loaded, so the engine can watch its folder.
    void Load(const std::function<void(const clsBackup&)>& onLoaded);

    void SetPanelText(const QString& key, const QString& text) override;
    QString PanelText(const QString& key) const override;

    // Shown normal (not minimised), raised and activated, even from hidden.
    void ShowNormalAndActivate();

    // "Stop and Exit". askWhileScanning is false for signals and the end of the
    // desktop session, where nobody could answer. False when the user declined.
    bool ExitSequence(bool askWhileScanning);

    // Closes the change notifications of every watched folder at the final unload.
    std::function<void()> CloseAllNotifications;
    // Removes the tray icon at the final unload.
    std::function<void()> RemoveTrayIcon;

    // For SAVENOOK_TRACE: one line per change ("window shown" / "window hidden").
    void TraceVisibility(bool visible);
    // Saves the associations and destinations, in that order.
    void QueryUnload();

    QAction* mnuExit = nullptr;
    // Disabled by the exit sequence; set by whoever builds the pause command.
    QAction* mnuPaused = nullptr;
    QTimer tmrExit;

  Q_SIGNALS:
    // The exit sequence has begun (the question, if any, was answered Yes).
    void ExitStarted();
    // Exiting was set and the window has unloaded: time to end the process.
    void Unloaded();
    // A click on the "Running" panel, which toggles pause.
    void RunningPanelClicked();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void OnExitTimer();

    ProgramState& m_state;
    std::map<QString, QLabel*> m_panels;
    int m_tracedVisible = -1;
};
