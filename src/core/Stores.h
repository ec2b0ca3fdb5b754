#pragma once

#include "core/ProgramState.h"

#include <functional>

// The stores of the data folder: usrdatab (associations), usrdatad
// (destinations) and pprefs (paused flag).
// onLoaded runs for every association added, so the engine can watch its folder.
void SaveBackups(const ProgramState& state);
void LoadBackups(ProgramState& state, const std::function<void(const clsBackup&)>& onLoaded = {});
void SaveDestinations(const ProgramState& state);
void LoadDestinations(ProgramState& state);
void SavePausedState(const ProgramState& state);
// True when pprefs holds exactly "1"; the caller pauses or unpauses.
bool LoadPausedState();
