#include "engine/FileBackup.h"

#include "core/DateText.h"
#include "engine/BusyCopy.h"
#include "engine/DestinationFolder.h"
#include "engine/DestinationMounts.h"
#include "engine/Filters.h"
#include "engine/VersionRotation.h"
#include "platform/FilePath.h"
#include "platform/FileStamp.h"
#include "platform/LocalFiles.h"

#include <QDir>
#include <QStringList>

#include <optional>

namespace {
const QChar slash = QLatin1Char('/');

} // namespace

bool FileBackup::VolumeAccepted(const QString& list, const QString& volume)
{
    const QChar nul(0);
    if (list.contains(QString(2, nul)) && volume.isEmpty())
        return true;
    if (list.isEmpty())
        return false;
    for (const QString& name : list.split(nul))
        if (!name.isEmpty() && name.compare(volume, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// One call of BackupFile: the per-call state lives here rather than in
// FileBackup, so a call that starts while another waits cannot disturb it.
class FileBackup::Run
{
  public:
    Run(FileBackup& owner, const QString& sourcePath, const QString& filePath)
        : m_owner(owner), m_c(owner.m_context), m_sourcePath(sourcePath), m_filePath(filePath)
    {
    }

    void Execute()
    {
        clsBackup* association = find();
        if (!association)
            return;
        association->DateLastActivity = DateText::Now();
        // A copy of the settings: no reference is held while the interface runs.
        m_backup = *association;
        m_notifyErr = m_backup.NotifyOnError && !m_c.Opts.NotifyErrorDisabled;
        m_notifySucc = m_backup.NotifyOnSuccess && !m_c.Opts.NotifySuccessDisabled;
        if (m_filePath.isEmpty())
            return;

        m_fileName = m_filePath.mid(m_filePath.lastIndexOf(slash) + 1);
        if (!PassesFilters(m_fileName, m_c.Opts)) {
            m_c.Recent.Add(DateText::Now(), m_filePath, NotApplicable, NotApplicable, NotApplicable,
                           FilterSkipped);
            return;
        }

        for (const clsDestination& destination : m_c.State.Destinations.ForSource(m_sourcePath)) {
            if (stopped() || !backUpTo(destination))
                break;
        }

        m_c.Recent.Trim();
        if (m_anySuccess && m_anyError)
            m_c.Hooks.StartTrayAnimation(TrayAnimation::Shrug);
        else if (m_anySuccess)
            m_c.Hooks.StartTrayAnimation(TrayAnimation::Nod);
        else if (m_anyError)
            m_c.Hooks.StartTrayAnimation(TrayAnimation::Shake);
        if (m_c.Notifiers.Count() > 0)
            m_c.Hooks.ShowNotifications();
    }

  private:
    // The association as it stands now, by its key: positions shift when the
    // interface removes an association. Null once it has been removed.
    clsBackup* find() { return m_c.State.Backups.Item(m_sourcePath); }

    // The interface ran and removed the association, or the program is closing:
    // the rest of this file's work no longer matters.
    bool stopped() { return m_c.State.Exiting || !find(); }

    void report(bool popup, const QString& popupText, const QString& logText)
    {
        if (popup)
            m_c.Notifiers.Add(m_filePath, m_destFolder, popupText);
        m_c.Recent.Add(DateText::Now(), m_filePath, m_sourceVolume, m_destFolder, m_destVolume, logText);
    }
    bool fail(bool option, const QString& text)
    {
        report(m_notifyErr && option, text, text);
        m_anyError = true;
        return true;
    }

    // False when the work on this file must stop altogether.
    bool backUpTo(const clsDestination& destination)
    {
        m_copiedNow = false;
        const Options& o = m_c.Opts;
        if (!LocalFiles::IsFile(m_filePath))
            return fail(o.ErrorNoSource, QStringLiteral("Error: Source file no longer exists"));

        m_destFolder = DestinationFolder::Compute(m_filePath, m_sourcePath, m_backup.Folder, destination.Path,
                                                  m_c.DriveInfo);
        // Copying into the file's own folder, or anywhere inside a watched tree,
        // would make every copy trigger the next one.
        const bool ownFolder = QDir::cleanPath(m_destFolder) == QDir::cleanPath(FilePath::Parent(m_filePath));
        const bool insideTree =
            m_backup.Folder && m_backup.Recursive &&
            FilePath::IsSameOrBelow(QDir::cleanPath(m_destFolder), QDir::cleanPath(m_sourcePath));
        const bool loop = ownFolder || insideTree;
        if (loop)
            return fail(o.ErrorLoop, QStringLiteral("Error: Would save into recursive source folder"));

        const std::optional<MountEntry> sourceDrive = m_c.DriveInfo.MountOf(m_filePath);
        if (!sourceDrive)
            return fail(o.ErrorNoSource, QStringLiteral("Error: Source drive no longer exists"));
        if (!m_c.DriveInfo.IsReady(sourceDrive->MountPoint))
            return fail(o.ErrorNoSource, QStringLiteral("Error: Source drive not ready"));
        m_sourceVolume = m_c.DriveInfo.Label(sourceDrive->MountPoint);
        if (!VolumeAccepted(m_backup.Volume, m_sourceVolume))
            return fail(o.ErrorSourceVol, QStringLiteral("Error: Source volume name mismatch"));

        // A destination tied to one drive is never filled on another (see
        // DestinationMounts): its drive is gone as far as this copy goes.
        std::optional<DestinationMounts::Record> holder;
        if (!destination.Path.startsWith(QStringLiteral("//"))) {
            holder = DestinationMounts::Describe(destination.Path, m_c.DriveInfo);
            if (holder && !m_owner.m_mounts.Matches(destination.Path, *holder))
                return fail(o.ErrorNoDest, QStringLiteral("Error: Destination drive no longer exists"));
        }

        std::optional<MountEntry> destDrive = m_c.DriveInfo.MountOf(m_destFolder);
        // The destination folder as this machine opens it.
        std::optional<QString> local;
        if (destDrive)
            local = DestinationFolder::LocalForm(m_destFolder, *destDrive);
        if (!local)
            destDrive.reset();
        const bool network = m_destFolder.startsWith(QStringLiteral("//")) ||
                             (destDrive && IsNetworkFileSystem(destDrive->FsType));
        QString folder;
        if (network) {
            if (!destDrive)
                return fail(o.ErrorNoDest, QStringLiteral("Error: Remote destination drive does not exist"));
            if (!m_c.DriveInfo.IsReady(destDrive->MountPoint)) {
                report(m_notifyErr && o.ErrorNoDest,
                       QStringLiteral("Error: Remote destination drive is not ready"), RemoteNotReadyLog);
                m_anyError = true;
                return true;
            }
            m_destVolume = m_c.DriveInfo.Label(destDrive->MountPoint);
            if (destination.Volume != m_destVolume)
                return fail(o.ErrorDestVol, QStringLiteral("Error: Destination volume name mismatch"));
            if (!LocalFiles::IsFolder(destDrive->MountPoint))
                return fail(o.ErrorNoDest, QStringLiteral("Error: Destination network share does not exist"));
            folder = *local;
            if (!createFolders(destDrive->MountPoint, folder))
                return true;
        } else {
            // A destination folder that has vanished usually means its drive was
            // unmounted, leaving the empty mount point: creating it there would
            // fill the wrong disk.
            if (!destDrive || !LocalFiles::IsFolder(destination.Path))
                return fail(o.ErrorNoDest, QStringLiteral("Error: Destination drive no longer exists"));
            if (!m_c.DriveInfo.IsReady(destDrive->MountPoint))
                return fail(o.ErrorNoDest, QStringLiteral("Error: Destination drive not ready"));
            m_destVolume = m_c.DriveInfo.Label(destDrive->MountPoint);
            if (destination.Volume.compare(m_destVolume, Qt::CaseInsensitive) != 0)
                return fail(o.ErrorDestVol, QStringLiteral("Error: Destination volume name mismatch"));
            folder = m_destFolder;
            if (!createFolders(destination.Path, folder))
                return true;
        }
        const bool copied = copyTo(folder);
        if (m_copiedNow && holder) {
            QStringList paths;
            for (const clsDestination& d : m_c.State.Destinations)
                paths.append(d.Path);
            m_owner.m_mounts.Remember(destination.Path, *holder, paths);
        }
        return copied;
    }

    // Reports a failure: false when the folder is not there for the copy.
    bool createFolders(const QString& root, const QString& folder)
    {
        const FileResult made = DestinationFolder::CreateMissing(root, folder, m_c.Copier.Files());
        if (made)
            return true;
        fail(true, made.Error == FileError::NameNotAllowed
                       ? BusyCopy::NameNotAllowedText
                       : QStringLiteral("Error: Can't create destination folders"));
        return false;
    }

    bool copyTo(const QString& folder)
    {
        const QString target = folder + slash + m_fileName;
        // Size and modification time to the nanosecond: a destination's own time
        // stamps may be coarser, so they alone cannot tell an unchanged source.
        const FileStamp source = FileStamp::Of(m_filePath, true);
        const auto stamp =
            source.Exists ? std::optional(std::make_pair(source.Size, source.ModifiedNs)) : std::nullopt;
        const auto key = std::make_pair(m_filePath, folder);
        auto& remembered = m_owner.m_lastCopied;

        // Automatic mode: a file handed over again without having changed since
        // its last copy needs no backup, and gets no report.
        if (!m_c.State.ManualSync && stamp && LocalFiles::IsFile(target)) {
            const auto* known = remembered.object(key);
            if (known && *known == *stamp)
                return true;
        }

        // Temporary files of earlier runs (a kill or a power cut mid-copy) can be
        // large: gone before this run adds its own. Once per folder and run.
        auto& cleaned = m_owner.m_cleanedFolders;
        if (!cleaned.contains(folder)) {
            if (cleaned.size() >= RememberedFolders)
                cleaned.clear();
            cleaned.insert(folder);
            m_c.Copier.RemoveLeftovers(folder);
        }

        const bool versionsOn = m_backup.KeepBackup && !m_c.State.ManualSync;
        const bool replacing = versionsOn && LocalFiles::IsFile(target);
        const QFileDevice::Permissions sourceAttributes = VersionRotation::ModeOf(m_filePath);
        const QFileDevice::Permissions replacedAttributes =
            replacing ? VersionRotation::ModeOf(target) : QFileDevice::Permissions();
        // With versions kept a read-only copy is replaced all the same: it becomes
        // the newest version.
        if (replacing && !(replacedAttributes & QFileDevice::WriteOwner))
            m_c.Copier.Files().SetPermissions(target, replacedAttributes | QFileDevice::WriteOwner);

        // The new copy is made in full first: a copy that fails (busy, changing,
        // disk full) must not cost a previous version, so the versions move only
        // once it is sure, and the rename puts it in place last.
        BusyCopy::Result copy = BusyCopy::Stage(
            m_c, m_filePath, target, [this] { reportDelay(); }, [this] { return !stopped(); });
        VersionRotation::Result rotation;
        bool rotated = false;
        if (copy.Status == BusyCopy::Outcome::Done) {
            FileResult committed;
            bool commitTried = false;
            const auto commit = [&] {
                commitTried = true;
                committed = m_c.Copier.Commit(copy.Staged, target, [this] {
                    m_c.Pump.ProcessPendingMessages();
                    return true;
                });
                return committed.Ok();
            };
            if (versionsOn) {
                rotation = VersionRotation::Rotate(
                    folder, m_fileName, m_c.Opts.PrevSaveName, m_backup.Versions, m_c.Copier,
                    [this] { m_c.Pump.ProcessPendingMessages(); }, commit);
                // A copy that could not be put in place gave its versions back.
                rotated = !rotation.Undone;
            }
            if (!commitTried) // no versions kept, none due yet, or they could not move
                commit();
            if (!committed) {
                m_c.Copier.Discard(copy.Staged);
                copy.Status = BusyCopy::Outcome::Failed;
                copy.CopyError = BusyCopy::TextOf(committed.Error);
            }
        }

        if (replacing) {
            m_c.Copier.Files().SetPermissions(
                target, copy.Status == BusyCopy::Outcome::Done ? sourceAttributes : replacedAttributes);
            // The stored version may share its content with the replaced copy
            // (a hard link), so it gets its own attributes back last.
            if (rotation.Stored)
                m_c.Copier.Files().SetPermissions(
                    VersionRotation::VersionFolder(folder, m_c.Opts.PrevSaveName, 1) + slash + m_fileName,
                    replacedAttributes);
        }
        if (copy.Status == BusyCopy::Outcome::Abandoned)
            return false;

        m_copiedNow = copy.Status == BusyCopy::Outcome::Done;
        if (copy.Status == BusyCopy::Outcome::Done && stamp)
            remembered.insert(key, new std::pair(*stamp));
        else
            remembered.remove(key);

        // A copy that failed before the versions were touched stored none.
        reportCopy(rotated, rotation, copy.Status == BusyCopy::Outcome::Failed, copy.CopyError);
        return true;
    }

    void reportDelay()
    {
        if (!m_c.Opts.SourceIsBusy)
            return;
        if (m_notifySucc || m_notifyErr) {
            m_c.Notifiers.Add(m_filePath, m_destFolder, DelayText);
            // Shown now: the wait may last a while.
            m_c.Hooks.ShowNotifications();
        }
        m_c.Recent.Add(DateText::Now(), m_filePath, m_sourceVolume, m_destFolder, m_destVolume, DelayText);
    }

    void reportCopy(bool versionsOn, const VersionRotation::Result& rotation, bool copyFailed,
                    const QString& copyError)
    {
        const Options& o = m_c.Opts;
        const QString stored = QStringLiteral("Previous version stored");
        const QString unstored = QStringLiteral("Error: Previous version store unsuccessful");
        const bool err = m_notifyErr, succ = m_notifySucc;

        if (!versionsOn || rotation.NewCopy) { // versions off, or no earlier copy to keep
            if (!copyFailed) {
                report(succ, QStringLiteral("Copy saved"), QStringLiteral("Success: Copy saved"));
                m_anySuccess = true;
            } else {
                report(err && o.ErrorCopyFailed, copyError, copyError);
                m_anyError = true;
            }
        } else if (!rotation.Failed()) { // the replaced copy is stored as a version
            if (!copyFailed) {
                report(succ, QStringLiteral("Copy saved && Previous version stored"),
                       QStringLiteral("Success: Copy saved & Previous version stored"));
                m_anySuccess = true;
            } else {
                QString popup;
                if (err && succ)
                    popup = o.ErrorCopyFailed ? copyError + QStringLiteral("... ") + stored : stored;
                else if (err && o.ErrorCopyFailed)
                    popup = copyError;
                else if (succ)
                    popup = stored;
                report(!popup.isEmpty(), popup, copyError + QStringLiteral("... ") + stored);
                m_anySuccess = true;
                m_anyError = true;
            }
        } else if (!copyFailed) { // the copy is saved, its version is not
            QString popup;
            if (err && succ)
                popup = o.ErrorPrevSave ? QStringLiteral("Copy saved... ") + unstored
                                        : QStringLiteral("Copy saved");
            else if (err && o.ErrorPrevSave)
                popup = unstored;
            else if (succ)
                popup = QStringLiteral("Copy saved");
            report(!popup.isEmpty(), popup, VersionNotStoredLog);
            m_anySuccess = true;
            m_anyError = true;
        } else { // neither the copy nor its version
            QString popup;
            if (err && o.ErrorCopyFailed && o.ErrorPrevSave)
                popup = copyError + QStringLiteral("... ") + unstored;
            else if (err && o.ErrorPrevSave)
                popup = unstored;
            else if (err && o.ErrorCopyFailed)
                popup = copyError;
            report(!popup.isEmpty(), popup, copyError + QStringLiteral("... ") + unstored);
            m_anyError = true;
        }
    }

    FileBackup& m_owner;
    EngineContext& m_c;
    const QString m_sourcePath;
    const QString m_filePath;
    clsBackup m_backup;
    QString m_fileName;
    bool m_notifyErr = false, m_notifySucc = false;
    bool m_anySuccess = false, m_anyError = false;
    bool m_copiedNow = false; // the last destination's copy succeeded
    QString m_sourceVolume, m_destVolume, m_destFolder;
};

void FileBackup::BackupFile(const QString& SourcePath, int /*Position: looked up again by SourcePath*/,
                            const QString& FilePath)
{
    Run(*this, SourcePath, FilePath).Execute();
}
