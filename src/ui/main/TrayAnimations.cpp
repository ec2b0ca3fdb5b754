#include "ui/main/TrayAnimations.h"

#include "settings/Options.h"

namespace {
constexpr int kFrameMs = 125;
constexpr qint16 kLastTick = 25;
} // namespace

TrayAnimations::TrayAnimations(const Options& options, QObject* parent) : QObject(parent), m_options(options)
{
    for (QTimer* t : {&tmrNod, &tmrShake, &tmrShrug})
        t->setTimerType(Qt::PreciseTimer);
    connect(&tmrNod, &QTimer::timeout, this, &TrayAnimations::NodTick);
    connect(&tmrShake, &QTimer::timeout, this, &TrayAnimations::ShakeTick);
    connect(&tmrShrug, &QTimer::timeout, this, &TrayAnimations::ShrugTick);
}

void TrayAnimations::Start(TrayAnimation animation)
{
    QTimer& timer = animation == TrayAnimation::Nod     ? tmrNod
                    : animation == TrayAnimation::Shake ? tmrShake
                                                        : tmrShrug;
    // A running animation keeps its pace: re-armed at 1 ms for every file, a
    // thousand files saved at once would flicker the icon at the rate they are copied.
    if (!timer.isActive())
        timer.start(1);
}

void TrayAnimations::show(TrayIconRole role)
{
    if (Show)
        Show(role);
}

// A frame left up when an animation hands over or is cut short would stay on
// the icon: every end shows the icon at rest and forgets the frames.
void TrayAnimations::endOnRest()
{
    if (NodFrameShown || ShakeFrameShown || ShrugNodShown || ShrugShakeShown)
        show(TrayIconRole::Normal);
    NodFrameShown = ShakeFrameShown = false;
}

void TrayAnimations::tick(bool& active, bool& frameShown, bool allowed, TrayIconRole frame, QTimer& timer)
{
    active = true;
    if (allowed) {
        frameShown = !frameShown;
        show(frameShown ? frame : TrayIconRole::Normal);
    }
    if (NodActive && ShakeActive) {
        // A success and a failure in one run: the shrug takes over.
        tmrNod.stop();
        tmrShake.stop();
        endOnRest();
        if (m_options.TrayShrug) {
            tmrShrug.start(1);
        } else {
            tmrShrug.stop();
            // Left set, both flags would stop every later nod or shake at its first tick.
            NodActive = ShakeActive = false;
        }
        AnimTicks = 0;
    } else if (AnimTicks >= kLastTick) {
        timer.stop();
        endOnRest();
        AnimTicks = 0;
        NodActive = ShakeActive = false;
    } else {
        timer.setInterval(kFrameMs);
        ++AnimTicks;
    }
}

void TrayAnimations::NodTick()
{
    tick(NodActive, NodFrameShown, m_options.TrayNod, TrayIconRole::NodFrame, tmrNod);
}

void TrayAnimations::ShakeTick()
{
    tick(ShakeActive, ShakeFrameShown, m_options.TrayShake, TrayIconRole::ShakeFrame, tmrShake);
}

void TrayAnimations::ShrugTick()
{
    if (m_options.TrayShrug) {
        // Nod frame, rest, shake frame, rest.
        if (ShrugNodShown) {
            show(TrayIconRole::Normal);
            ShrugNodShown = false;
            ShrugAfterNod = true;
            ShrugShakeShown = false;
        } else if (ShrugShakeShown) {
            show(TrayIconRole::Normal);
            ShrugAfterNod = ShrugNodShown = ShrugShakeShown = false;
        } else if (!ShrugAfterNod) {
            show(TrayIconRole::NodFrame);
            ShrugNodShown = true;
        } else {
            show(TrayIconRole::ShakeFrame);
            ShrugShakeShown = true;
            ShrugAfterNod = false;
        }
    }
    if (AnimTicks >= kLastTick) {
        tmrShrug.stop();
        NodActive = ShakeActive = false;
        ShrugAfterNod = ShrugNodShown = ShrugShakeShown = false;
        AnimTicks = 0;
        show(TrayIconRole::Normal);
    } else {
        tmrShrug.setInterval(kFrameMs);
        ++AnimTicks;
    }
}
