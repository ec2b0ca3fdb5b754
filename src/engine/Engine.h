#pragma once

#include "engine/ChangedFolderScan.h"
#include "engine/EngineContext.h"
#include "engine/FileBackup.h"
#include "engine/Synchronization.h"
#include "engine/colDetectFolders.h"
#include "engine/colDetectedFiles.h"

#include <QString>
#include <QTimer>
#include <functional>
#include <optional>
#include <set>

// Watches the folders that hold the sources and backs up what changes in them.
// The main loop is a one-shot timer on the GUI thread, stopped while a tick runs
// and armed again at its end, so that ticks never nest. It runs at once when the
// notifier has events, every 100 ms while work is left (a processed tick and the
// two after it, watches being added or set up anew, a synchronisation), and not
// at all otherwise, so that watching costs nothing while nothing changes.
class Engine
{
  public:
    static constexpr int WatchIntervalMs = 100;
    // While a vanished folder is looked for: inotify cannot say when it is back,
    // and the notifier looks at most once a second, so a little more than that.
    static constexpr int VanishedLookMs = 1100;
    // Watches of large trees are added a slice at a time between other events.
    static constexpr int SetupSliceMs = 8;

    explicit Engine(EngineContext& context);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Sets up the watched folder that serves path: the file's folder, or the
    // folder itself. Its sub-folders are watched while any folder association
    // rooted there includes them, or blnSubTree asks for it. Update the
    // association before calling, so the re-evaluation sees its new settings.
    void WatchSourceFolder(const QString& path, bool blnSubTree);
    // Discards changes seen before now and starts the watch timer.
    void StartWatching();
    // Program exit: closes every open notification and stops the timer.
    void CloseAllNotifications();
    // One tick of the watch timer; public so tests can drive it by hand.
    void WatchTimerProc();

    // Runs the next tick at once: the program's exit and a pause are acted on by
    // a tick, and the timer may be asleep.
    void Wake() { tickWithin(0); }

    bool WatchTimerArmed() const { return m_watchTimer.isActive(); }
    // When the next tick is due, in ms from when it was armed; -1 while asleep.
    int NextTickMs() const { return m_watchTimer.isActive() ? m_watchTimer.interval() : -1; }
    // Called near the end of every tick.
    void SetTickHook(std::function<void()> hook) { m_tickHook = std::move(hook); }

    colDetectFolders& DetectFolders() { return m_detectFolders; }
    colDetectedFiles& DetectedFiles() { return m_detectedFiles; }
    FileBackup& Backup() { return m_backup; }
    ChangedFolderScan& Scan() { return m_scan; }
    Synchronization& Sync() { return m_sync; }
    // The previous tick processed at least one changed folder.
    bool ProcessedLastTick = false;

  private:
    bool anyRecursiveFolderAssociation(const QString& folder) const;
    // false when the notifier could vouch that no folder was signalled.
    bool pollFolders(const std::optional<std::set<int>>& signalled);
    void removeClosedRecords();
    void continueSetupSoon();
    // Brings the next tick forward to within milliseconds, or arms it; not during a tick.
    void tickWithin(int milliseconds);
    void armNextTick();

    EngineContext& m_context;
    colDetectFolders m_detectFolders;
    colDetectedFiles m_detectedFiles;
    FileBackup m_backup;
    ChangedFolderScan m_scan;
    Synchronization m_sync;
    QTimer m_watchTimer;
    QTimer m_setupTimer;
    std::function<void()> m_tickHook;
    bool m_watching = false; // between StartWatching and the exit or closing every watch
    bool m_ticking = false;
    // Records were set up since the last poll: every one is polled and dated.
    bool m_recordsChanged = true;
    QString m_lastQuietDate;
    qint64 m_lastQuietSecond = 0;
    QString m_lastSweepDate;
};
