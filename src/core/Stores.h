#pragma once

#include "core/ProgramState.h"

#include <functional>

// The stores of the data folder: usrdatab (associations), usrdatad
// (destinations) and pprefs (paused flag).
//
// A save returns false when the store could not be written; the file then
// keeps its previous content and the user is told once (state.Warn), until a
// save succeeds again. A record holding a line break is left out alone, told once.
// A store that exists but could not be read is moved aside as it is when
// loading; if even that fails, saves never replace it.
// A load that cannot take every record (a duplicate source path, a number of
// versions out of range, an incomplete last record, a read error) takes the
// others, keeps the file as it was read beside it and adds one message to
// state.PendingWarnings.
// onLoaded runs for every association added, so the engine can watch its folder.
bool SaveBackups(ProgramState& state);
void LoadBackups(ProgramState& state, const std::function<void(const clsBackup&)>& onLoaded = {});
bool SaveDestinations(ProgramState& state);
void LoadDestinations(ProgramState& state);
bool SavePausedState(ProgramState& state);
// True when pprefs holds exactly "1"; the caller pauses or unpauses.
bool LoadPausedState();
