#pragma once

#include "core/StatusPanels.h"
#include "core/colBackups.h"
#include "core/colDestinations.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

// Program-wide flags and collections. Main owns the one instance and hands it
// to each room by reference; nothing else is global, so two programs can be
// built side by side in one test.
struct ProgramState
{
    ProgramState();
    ProgramState(const ProgramState&) = delete;
    ProgramState& operator=(const ProgramState&) = delete;

    colDestinations Destinations; // the one program-wide destination list
    colBackups Backups;           // all associations, keyed by SourcePath
    QString ComputerName;

    bool Paused = false;
    bool ManualSync = false;
    bool Scanning = false;
    bool StopScanning = false;
    bool Exiting = false;
    bool Detecting = false;
    bool WatchStopped = false;
    bool NotifyOnTop = false;
    bool OwnWindowActivated = false;
    bool NotifyDismissed = false;
    bool BusyWaiting = false;
    bool BusyTimedOut = false;
    bool PropertiesOpen = false;
    bool PropertiesCancelled = false;
    bool ApplyToAll = false;
    bool MultiAdd = false;
    QString PropertiesPath;
    bool SchemeLoaded = false;
    QString RecentScheme;

    // Messages for the user that arose before the main window could show them
    // (a store that did not load whole); start-up shows them, then clears them.
    QStringList PendingWarnings;
    // Shows a message for the user while the program runs (a store that could not
    // be written); set by the window. Until then, Warn keeps them in PendingWarnings.
    std::function<void(const QString&)> ShowWarning;
    void Warn(const QString& text);
    // Store problems already told, so that a save failing again and again is told once.
    QSet<QString> StoreProblemsTold;
    // Stores that could neither be read nor moved aside: never saved over.
    QSet<QString> HeldStores;

    // Set by the main window when it exists; null before and in tests.
    StatusPanels* Status = nullptr;

    void SetRunningText(const QString& text);
};

// Shows "Total Associations: " and the count in the "Backups" panel.
void UpdateAssociationCount(ProgramState& state);
