#pragma once

#include "engine/EngineHooks.h"

#include <QTimer>

#include <functional>

struct Options;

// What the tray icon shows at one moment.
enum class TrayIconRole { Normal, Editing, NodFrame, ShakeFrame };

// The nod, shake and shrug of the tray icon: one frame every 125 ms, 26 ticks
// shared by the three timers, each animation allowed by its option.
class TrayAnimations : public QObject
{
    Q_OBJECT
  public:
    explicit TrayAnimations(const Options& options, QObject* parent = nullptr);

    // Shows a frame or the icon at rest (TrayIconRole::Normal).
    std::function<void(TrayIconRole)> Show;

    // The engine's request after one file; a running animation goes on as it was.
    void Start(TrayAnimation animation);

    // The ticks, public so a test can step them without waiting.
    void NodTick();
    void ShakeTick();
    void ShrugTick();

    QTimer tmrNod, tmrShake, tmrShrug;
    bool NodActive = false, ShakeActive = false, NodFrameShown = false, ShakeFrameShown = false;
    bool ShrugAfterNod = false, ShrugNodShown = false, ShrugShakeShown = false;
    qint16 AnimTicks = 0;

  private:
    void tick(bool& active, bool& frameShown, bool allowed, TrayIconRole frame, QTimer& timer);
    void show(TrayIconRole role);
    void endOnRest();

    const Options& m_options;
};
