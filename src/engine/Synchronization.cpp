#include "engine/Synchronization.h"

#include "core/DateText.h"
#include "platform/FilePath.h"

#include <QFileInfo>
#include <QStringList>

namespace {

// Holds the running mark for as long as it lives, whatever way the work ends.
class RunningMark
{
  public:
    explicit RunningMark(int& count) : m_count(count) { ++m_count; }
    ~RunningMark() { --m_count; }
    RunningMark(const RunningMark&) = delete;
    RunningMark& operator=(const RunningMark&) = delete;

  private:
    int& m_count;
};

} // namespace

Synchronization::Synchronization(EngineContext& context, ChangedFolderScan& scan, FileBackup& backup,
                                 colDetectedFiles& detected)
    : m_context(context), m_scan(scan), m_backup(backup), m_detected(detected)
{
}

void Synchronization::warn(const QString& text)
{
    if (Ui.Warn)
        Ui.Warn(text);
}

bool Synchronization::refuseWhileBusy()
{
    // A scan holds nothing across the interface, but its detected-file list and
    // the program-wide ManualSync would be shared with this run.
    if (m_context.State.Scanning) {
        warn(QStringLiteral("Savenook is scanning for updated files right now.\n"
                            "Please synchronize again when the scan has finished."));
        return true;
    }
    if (Running()) {
        warn(QStringLiteral("A synchronization is already running.\n"
                            "Please wait until it has finished."));
        return true;
    }
    return false;
}

Synchronization::Result Synchronization::SynchronizeBackup(const QString& path)
{
    if (refuseWhileBusy())
        return Result::Busy;
    RunningMark mark(m_running);
    return synchronizeOne(path);
}

Synchronization::Result Synchronization::SynchronizeAll()
{
    if (refuseWhileBusy())
        return Result::Busy;
    RunningMark mark(m_running);
    // By source path: the interface runs meanwhile and may change the list.
    QStringList sources;
    for (const clsBackup& b : m_context.State.Backups)
        sources << b.SourcePath;
    for (const QString& source : sources) {
        if (m_context.State.Exiting)
            break;
        if (m_context.State.Backups.Item(source))
            synchronizeOne(source);
    }
    return Result::Done;
}

Synchronization::Result Synchronization::synchronizeOne(const QString& path)
{
    ProgramState& state = m_context.State;
    QString key = path;
    if (!state.Backups.Item(key))
        key = FilePath::WithoutTrailingSlashes(path);
    if (!state.Backups.Item(key)) {
        warn(QStringLiteral(
                 "%1\nis not a backed-up file or folder itself, so there is nothing to synchronize.\n"
                 "Select a file or folder that has an association.")
                 .arg(path));
        return Result::NotAnAssociation;
    }

    state.ManualSync = true;
    if (Ui.ShowRecentActivity)
        Ui.ShowRecentActivity();
    if (!QFileInfo::exists(key)) {
        state.ManualSync = false;
        warn(QStringLiteral("File or folder: %1\r\nno longer exists\r\n...Continuing with synchronization")
                 .arg(key));
        return Result::SourceMissing;
    }
    const QString remembered = state.Status ? state.Status->PanelText(QStringLiteral("Running")) : QString();
    state.SetRunningText(RunningText);

    const int position = state.Backups.PositionOf(key);
    const clsBackup* backup = state.Backups.Item(key);
    if (backup && backup->Enabled) {
        try {
            if (backup->Folder)
                m_scan.ScanFolder(key, position, key, DateText::Now(), backup->Recursive, true);
            else
                m_backup.BackupFile(key, position, key);
        } catch (...) {
            // An unexpected failure ends this association only.
        }
    }
    m_detected.Clear();

    // Pausing or exiting meanwhile wrote their own text, which stays.
    if (state.Status && state.Status->PanelText(QStringLiteral("Running")) == RunningText)
        state.SetRunningText(remembered);
    state.ManualSync = false;
    return Result::Done;
}
