#pragma once

#include "engine/ChangedFolderScan.h"
#include "engine/EngineContext.h"
#include "engine/FileBackup.h"
#include "engine/colDetectedFiles.h"

#include <QString>
#include <functional>

// Manual synchronisation: every file of an association offered to the file
// backup, changed or not, with no previous versions and no pop-ups.
//
// It runs on the GUI thread and lets the interface run while it scans. While it
// runs, the watch tick processes nothing (signalled folders stay signalled and
// keep their reference times, so what changes meanwhile is backed up after it)
// and an exit waits for it to stop.
class Synchronization
{
  public:
    // What synchronising asks of the window. Either may be left empty.
    struct Window
    {
        std::function<void()> ShowRecentActivity;
        // A message with the exclamation icon.
        std::function<void(const QString& text)> Warn;
    };

    enum class Result {
        Done,          // synchronised, skipped as disabled, or stopped by an exit
        SourceMissing, // told the user; Sync All goes on with the next one
        NotAnAssociation,
        Busy // a scan or another synchronisation runs; told the user
    };

    static inline const QString RunningText = QStringLiteral("Synchronizing...");

    Synchronization(EngineContext& context, ChangedFolderScan& scan, FileBackup& backup,
                    colDetectedFiles& detected);

    Window Ui;

    // Synchronises the association whose source path is path (any letter case).
    Result SynchronizeBackup(const QString& path);
    // Every association in collection order; stops between two when the program exits.
    Result SynchronizeAll();

    // A synchronisation runs (also between the associations of SynchronizeAll).
    bool Running() const { return m_running > 0; }

  private:
    bool refuseWhileBusy();
    Result synchronizeOne(const QString& path);
    void warn(const QString& text);

    EngineContext& m_context;
    ChangedFolderScan& m_scan;
    FileBackup& m_backup;
    colDetectedFiles& m_detected;
    int m_running = 0;
};
