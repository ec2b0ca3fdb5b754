#include "engine/Engine.h"

#include "core/DateText.h"
#include "platform/FilePath.h"
#include "platform/FileStamp.h"
#include "platform/LocalFiles.h"

#include <QDateTime>
#include <QFileInfo>
#include <QStringList>

Engine::Engine(EngineContext& context)
    : m_context(context), m_backup(context),
      m_scan(context, m_detectedFiles,
             [this](const QString& source, int position, const QString& file) {
                 m_backup.BackupFile(source, position, file);
             }),
      m_sync(context, m_scan, m_backup, m_detectedFiles)
{
    m_watchTimer.setSingleShot(true);
    m_watchTimer.setInterval(WatchIntervalMs);
    QObject::connect(&m_watchTimer, &QTimer::timeout, [this] { WatchTimerProc(); });
    // Events bring the tick forward or wake it; during a tick the timer is stopped
    // and the tick's end looks for them.
    m_context.Notifier.SetEventHandler([this] { tickWithin(0); });
    m_setupTimer.setSingleShot(true);
    m_setupTimer.setInterval(0);
    QObject::connect(&m_setupTimer, &QTimer::timeout, [this] {
        if (m_context.Notifier.ContinueSetup(SetupSliceMs))
            m_setupTimer.start();
    });
}

Engine::~Engine()
{
    m_context.Notifier.SetEventHandler({});
    m_watchTimer.stop();
    m_setupTimer.stop();
}

void Engine::continueSetupSoon()
{
    if (m_setupTimer.isActive())
        return;
    for (const clsDetectFolder& record : m_detectFolders)
        if (record.IsOpen() && !m_context.Notifier.WatchesInPlace(record.AutoBackup)) {
            m_setupTimer.start();
            return;
        }
}

bool Engine::anyRecursiveFolderAssociation(const QString& folder) const
{
    // Asked for every folder set up: the prefix test keeps start-up with thousands
    // of associations from comparing (and copying) every pair of paths.
    const QString bare = FilePath::WithoutTrailingSlashes(folder);
    for (const clsBackup& b : m_context.State.Backups)
        if (b.Folder && b.Recursive && b.SourcePath.startsWith(bare) &&
            FilePath::SamePath(b.SourcePath, bare))
            return true;
    return false;
}

void Engine::WatchSourceFolder(const QString& path, bool blnSubTree)
{
    QString folder;
    if (LocalFiles::IsFolder(path))
        folder = FilePath::WithoutTrailingSlashes(path);
    else if (FileStamp::Of(path, true).Exists)
        folder = QFileInfo(path).absolutePath(); // text only: never touches the disk
    else
        return; // nothing to watch, silently

    // Several associations share one watched folder: the last one set up must
    // not switch off the sub-folders another one still needs.
    const bool subtree = blnSubTree || anyRecursiveFolderAssociation(folder);

    QString detectionDate;
    if (clsDetectFolder* old = m_detectFolders.Item(folder)) {
        // Keep the reference time, so changes made while the watch is renewed are still found.
        detectionDate = old->DetectionDate;
        old->ClassNotifyDelete(m_context.Notifier);
        m_detectFolders.Remove(folder);
    }
    clsDetectFolder* record = m_detectFolders.Add(
        folder, clsDetectFolder::Closed, ChangeNotifier::WaitResult::Signalled, detectionDate, folder);
    if (record)
        record->ClassNotifyCreate(m_context.Notifier, subtree);
    m_recordsChanged = true;
    // Only the new record can have watches left to add: asking every record would
    // make setting up thousands of folders take quadratic time.
    if (record && record->IsOpen() && !m_context.Notifier.WatchesInPlace(record->AutoBackup) &&
        !m_setupTimer.isActive())
        m_setupTimer.start();
    tickWithin(WatchIntervalMs); // the new record is polled and dated
}

void Engine::tickWithin(int milliseconds)
{
    if (!m_watching || m_ticking)
        return;
    if (!m_watchTimer.isActive() || m_watchTimer.remainingTime() > milliseconds)
        m_watchTimer.start(milliseconds);
}

void Engine::armNextTick()
{
    // Asleep only when the notifier names what it signalled: it then wakes us for
    // events. One that cannot tell is polled every tick, as before.
    const ProgramState& state = m_context.State;
    const std::optional<std::set<int>> signalled = m_context.Notifier.SignalledHandles();
    if (!signalled || !signalled->empty() || ProcessedLastTick || state.Detecting || m_recordsChanged ||
        m_setupTimer.isActive())
        m_watchTimer.start(WatchIntervalMs);
    else if (m_context.Notifier.LookingForVanished())
        m_watchTimer.start(VanishedLookMs);
}

void Engine::StartWatching()
{
    for (clsDetectFolder& record : m_detectFolders)
        if (record.IsOpen())
            m_context.Notifier.Rearm(record.AutoBackup);
    m_watching = true;
    m_watchTimer.start(WatchIntervalMs);
}

void Engine::CloseAllNotifications()
{
    m_watching = false;
    m_watchTimer.stop();
    m_setupTimer.stop();
    for (clsDetectFolder& record : m_detectFolders)
        if (record.IsOpen())
            record.ClassNotifyDelete(m_context.Notifier);
}

void Engine::WatchTimerProc()
{
    m_watchTimer.stop();
    ProgramState& state = m_context.State;
    if (m_sync.Running()) {
        // Nothing automatic while a synchronisation runs: signalled folders stay
        // signalled and keep their reference times, so the first tick after it
        // backs up what changed meanwhile. An exit waits too (no WatchStopped yet).
        ProcessedLastTick = true;
        m_watchTimer.start(WatchIntervalMs);
        return;
    }
    m_ticking = true;
    try {
        const std::optional<std::set<int>> signalled = m_context.Notifier.SignalledHandles();
        if (!ProcessedLastTick) {
            // Quiet tick: every reference time moves forward to now, except where
            // watches are still being added: a change in a folder without its watch
            // yet is found when the folder is reached, against the older reference.
            state.Detecting = false;
            // The text changes once a second: an idle tick in between has nothing
            // to move, and formatting it is most of what such a tick costs.
            const qint64 second = QDateTime::currentSecsSinceEpoch();
            if (second != m_lastQuietSecond || m_lastQuietDate.isEmpty() || m_recordsChanged) {
                const QString now = DateText::Now();
                const bool allInPlace = !m_setupTimer.isActive() && signalled && signalled->empty();
                for (clsDetectFolder& record : m_detectFolders)
                    if (allInPlace || record.DetectionDate.isEmpty() || !record.IsOpen() ||
                        m_context.Notifier.WatchesInPlace(record.AutoBackup))
                        record.DetectionDate = now;
                m_lastQuietDate = now;
                m_lastQuietSecond = second;
            }
        }
        ProcessedLastTick = false;
        const bool polled = pollFolders(signalled);
        if (polled || m_lastQuietDate != m_lastSweepDate) {
            // Records closed from outside go with the next poll or dating; never polled meanwhile.
            m_lastSweepDate = m_lastQuietDate;
            removeClosedRecords();
        }
        if (polled)
            continueSetupSoon(); // reading events may have found new folders to walk
        if (m_tickHook)
            m_tickHook();
    } catch (...) {
        // Swallowed: the timer must keep running.
    }

    m_ticking = false;
    if (state.Exiting) {
        // Only the program's exit stops watching for good; the exit sequence waits for this.
        state.WatchStopped = true;
        m_watching = false;
        return;
    }
    if (state.StopScanning) {
        // A pause stopped a scan, which may or may not have reached its end.
        state.StopScanning = false;
        state.Scanning = false;
    }
    armNextTick();
}

bool Engine::pollFolders(const std::optional<std::set<int>>& signalled)
{
    ProgramState& state = m_context.State;
    // An idle tick looks at no folder when the notifier can name the signalled ones.
    if (signalled && signalled->empty() && !m_recordsChanged)
        return false;
    m_recordsChanged = false;
    m_lastQuietDate.clear(); // the next quiet tick dates every record again
    // By folder, not by position: the interface runs during processing and may
    // set up or drop watched folders meanwhile.
    QStringList folders;
    for (const clsDetectFolder& record : m_detectFolders)
        if (!signalled || !record.IsOpen() || signalled->count(record.AutoBackup))
            folders.append(record.Folder);

    for (const QString& folder : folders) {
        clsDetectFolder* record = m_detectFolders.Item(folder);
        if (!record || !record->IsOpen())
            continue;
        const int handle = record->AutoBackup;
        record->Result = m_context.Notifier.Wait(handle, 0);
        if (record->Result != ChangeNotifier::WaitResult::Signalled)
            continue;
        // What changed where is read just before re-arming forgets it.
        const FolderChanges seen = m_context.Notifier.ChangesSinceRearm(handle);
        m_context.Notifier.Rearm(handle);
        if (state.Paused)
            continue; // re-armed but not processed: a pause does not back up

        m_scan.NewDetectionDate.clear();
        state.Detecting = true;
        const QString watched = record->Folder;
        const QString detectionDate = record->DetectionDate;
        m_scan.ProcessChangedFolder(watched, detectionDate, handle, seen);
        ProcessedLastTick = true;
        m_detectedFiles.Clear();
        // While watches are being added, a folder reached late is looked at against
        // the reference from before: it must not move on past what changed there.
        if (!m_scan.NewDetectionDate.isEmpty())
            if (clsDetectFolder* again = m_detectFolders.Item(folder))
                if (!again->IsOpen() || m_context.Notifier.WatchesInPlace(again->AutoBackup))
                    again->DetectionDate = m_scan.NewDetectionDate;
    }
    return true;
}

void Engine::removeClosedRecords()
{
    for (int position = m_detectFolders.Count(); position >= 1; --position)
        if (m_detectFolders.Item(position)->AutoBackup == clsDetectFolder::Closed)
            m_detectFolders.Remove(position);
}
