#pragma once

#include <functional>

// The parts of start-up that need the rooms above core (options, windows, the
// engine). Main decides their order; the interface's composition root does them.
class MainSteps
{
  public:
    virtual ~MainSteps() = default;
    // The options' start values, then the options file.
    virtual void LoadOptions() = 0;
    // Loads the main window, which loads the stores; shown unless hidden.
    virtual void LoadMainWindow(bool hidden) = 0;
    // PauseProgram or UnpauseProgram, as the stored paused flag says.
    virtual void RestorePausedState(bool paused) = 0;
    virtual void StartWatching() = 0;
    // Start-up is over: anything held back until now may be shown.
    virtual void StartupFinished() = 0;
    // A later start asked for the window: show it normal, raise and activate it.
    virtual void ShowMainWindowNormal() = 0;
    // A termination signal: the same exit as "Stop and Exit", without questions.
    virtual void ExitRequested() = 0;
    // handler runs once an exit has begun, whatever asked for it.
    virtual void SetExitStartedHandler(std::function<void()> handler) = 0;
};
