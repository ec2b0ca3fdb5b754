#pragma once

#include "engine/EngineContext.h"
#include "engine/colDetectedFiles.h"
#include "platform/FolderChanges.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

// Finds the changed files of a signalled folder and hands each of them, once
// per modification, to the file backup.
//
// The interface runs between files (associations and destinations may be
// removed or changed meanwhile), so no position, reference or iterator into
// colBackups is kept across a pump or a backup: the association is looked up
// again by its source path every time.
struct FileStamp;

class ChangedFolderScan
{
  public:
    // SourcePath, Position (1-based in colBackups), FilePath: FileBackup::BackupFile.
    using BackupFunction = std::function<void(const QString&, int, const QString&)>;

    // Fixed pacing, waited through the context's Waiter so tests can shorten it.
    static constexpr int TopFolderWaitMs = 500; // lets a writer finish, at most
    // Once no file is open for writing any more, this much quiet ends the wait
    // early, so that a burst of saves is taken in one look.
    static constexpr int WritersQuietMs = 30;
    static constexpr int SettleSliceMs = 10;
    static constexpr int PacingFiles = 15;
    static constexpr int PacingWaitMs = 50;
    static constexpr int ResignalWaitMs = 10;

    ChangedFolderScan(EngineContext& context, colDetectedFiles& detectedFiles, BackupFunction backup);

    // Handles the file associations directly in Folder and the folder
    // associations rooted at it, again and again while the folder is signalled
    // anew. Returns early, leaving Scanning set, when StopScanning is raised.
    void ProcessChangedFolder(const QString& Folder, const QString& DetectionDate, int handle);
    // The same, told where the folder's tree changed (read before the handle was
    // re-armed): a folder association with its sub-folders then visits only those
    // folders, and new folders whole. Without that knowledge it walks everything.
    void ProcessChangedFolder(const QString& Folder, const QString& DetectionDate, int handle,
                              const FolderChanges& seen);

    // Walks one folder of the folder association whose source path is Folder.
    // Manual: every regular file is handed over, with no time, hidden or
    // duplicate test (manual synchronisation).
    void ScanFolder(const QString& Folder, int Position, const QString& Path, const QString& DetectionDate,
                    bool Recursive, bool Manual);

    // The changed test: modified no more than a second before the reference,
    // and in the reference's clock hour or the next one. Whole seconds.
    static bool IsChanged(const QString& modified, const QString& reference);
    static bool IsChanged(const QDateTime& modified, const QDateTime& reference);

    // The time just after the newest changed file seen; the watch tick resets
    // it before and reads it after each processed folder.
    QString NewDetectionDate;
    // Files enumerated since the last pacing wait, shared by all scans.
    int PacingCount = 0;

  private:
    struct Reference
    {
        bool Valid = false;
        qint64 Seconds = 0;   // whole seconds since the epoch
        qint64 HourIndex = 0; // whole local clock hours since a fixed origin
    };
    enum class Pass { Quiet, Resignalled, Stopped };

    static Reference referenceAt(const QDateTime& when);
    static Reference makeReference(const QString& text);
    static bool isChanged(qint64 modifiedMs, const Reference& reference);
    bool stopRequested() const;
    // The scanning bar and a turn for the interface before a sub-folder; false to stop.
    bool enterSubFolder();
    // unserved: changes seen at the re-arms that no folder pass has served yet.
    Pass fileAssociations(const QString& folder, const Reference& reference, int handle,
                          FolderChanges& unserved);
    Pass folderAssociations(const QString& folder, const Reference& reference, int handle,
                            FolderChanges& unserved);
    Pass checkResignalled(int handle, FolderChanges& unserved);
    void scanChanged(const QString& folder, const FolderChanges& changes, const Reference& reference,
                     int handle);
    // settleHandle: none = no wait; 0 = the full wait; else the wait ends when the
    // handle's writers have finished.
    void scanLevel(const QString& folder, const QString& path, const Reference& reference, bool recursive,
                   bool manual, std::optional<int> settleHandle);
    void settle(int handle);
    void recordNewReference(qint64 modifiedMs);
    // Changed since the reference and not handed over yet in this processing;
    // the next reference moves past it either way.
    bool isNewChange(const QString& path, const FileStamp& stamp, const Reference& reference);
    // The file's change was handed over already in this processing; records it otherwise.
    bool seenBefore(const QString& path, const FileStamp& stamp);

    EngineContext& m_context;
    colDetectedFiles& m_detected;
    BackupFunction m_backup;
};
