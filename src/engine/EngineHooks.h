#pragma once

enum class TrayAnimation { Nod, Shake, Shrug };

// What the engine asks of the interface above it. Every call may be ignored
// (tests, start-up before the window exists).
class EngineHooks
{
  public:
    virtual ~EngineHooks() = default;
    virtual void StartTrayAnimation(TrayAnimation) {}
    // colNotifiers holds results: show the pop-up without taking the focus.
    virtual void ShowNotifications() {}
    // A recursive scan is walking sub-folders and ShowScanning is on.
    virtual void ShowScanningPopup() {}
};
