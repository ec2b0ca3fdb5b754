#pragma once

#include "core/EventPump.h"
#include "core/ProgramState.h"
#include "engine/EngineHooks.h"
#include "platform/ChangeNotifier.h"
#include "platform/Drives.h"
#include "platform/FileCopier.h"
#include "platform/Waiter.h"
#include "reporting/colNotifiers.h"
#include "reporting/colRecent.h"
#include "settings/Options.h"

// Everything the engine works with, handed in by whoever builds the program
// (Main, or a test with fakes).
struct EngineContext
{
    ProgramState& State;
    Options& Opts;
    colRecent& Recent;
    colNotifiers& Notifiers;
    Drives& DriveInfo;
    FileCopier& Copier;
    ChangeNotifier& Notifier;
    Waiter& Wait;
    EventPump& Pump;
    EngineHooks& Hooks;
};
