#pragma once

#include "FuzzSupport.h"

#include "core/ProgramState.h"
#include "core/Stores.h"

#include <QDir>

#include <vector>

// What the stores promise whatever their files hold, checked after each load.
namespace Fuzz {

// A load that could not take everything keeps the file, exactly as read, beside it.
inline void CheckKeptAside(const QString& store, const QByteArray& bytes)
{
    const QStringList copies =
        QDir(DataFolder()).entryList({store + QStringLiteral(".unloaded-*")}, QDir::Files);
    bool found = false;
    for (const QString& copy : copies)
        found = found || ReadFile(DataFolder() + u'/' + copy) == bytes;
    Check(found);
}

// Loads both association stores as start-up does, checks the promises, then
// saves and loads again: what was loaded must come back unchanged.
inline void LoadAndRoundTrip()
{
    const QByteArray backups = ReadFile(DataFolder() + QStringLiteral("/usrdatab"));
    const QByteArray destinations = ReadFile(DataFolder() + QStringLiteral("/usrdatad"));
    ProgramState state;
    LoadBackups(state);
    if (!state.PendingWarnings.isEmpty())
        CheckKeptAside(QStringLiteral("usrdatab"), backups);
    const qsizetype warnings = state.PendingWarnings.size();
    LoadDestinations(state);
    if (state.PendingWarnings.size() > warnings)
        CheckKeptAside(QStringLiteral("usrdatad"), destinations);

    const bool saved = SaveBackups(state) && SaveDestinations(state);
    // A value holding a line break is left out of the save on purpose (and told).
    if (!saved || !state.StoreProblemsTold.isEmpty())
        return;
    ProgramState again;
    LoadBackups(again);
    LoadDestinations(again);
    Check(again.PendingWarnings.isEmpty());
    Check(std::vector(again.Backups.begin(), again.Backups.end()) ==
          std::vector(state.Backups.begin(), state.Backups.end()));
    Check(std::vector(again.Destinations.begin(), again.Destinations.end()) ==
          std::vector(state.Destinations.begin(), state.Destinations.end()));
}

} // namespace Fuzz
