#include "engine/ChangedFolderScan.h"

#include "core/DateText.h"
#include "platform/FilePath.h"
#include "platform/FileStamp.h"
#include "platform/LocalFiles.h"

#include <QStringList>
#include <set>
#include <utility>
#include <vector>

namespace {

qint64 floorSeconds(qint64 ms)
{
    return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

qint64 hourIndex(const QDateTime& when)
{
    const QDateTime local = when.toLocalTime();
    return local.date().toJulianDay() * 24 + local.time().hour();
}

// Hidden on Linux means a name starting with a dot.
bool isHidden(const QString& fileName)
{
    return fileName.startsWith(QLatin1Char('.'));
}

} // namespace

ChangedFolderScan::ChangedFolderScan(EngineContext& context, colDetectedFiles& detectedFiles,
                                     BackupFunction backup)
    : m_context(context), m_detected(detectedFiles), m_backup(std::move(backup))
{
}

bool ChangedFolderScan::IsChanged(const QString& modified, const QString& reference)
{
    if (modified == reference)
        return true;
    const auto m = DateText::Parse(modified);
    const auto r = DateText::Parse(reference);
    return m && r && IsChanged(*m, *r);
}

bool ChangedFolderScan::IsChanged(const QDateTime& modified, const QDateTime& reference)
{
    return modified.isValid() && isChanged(modified.toMSecsSinceEpoch(), referenceAt(reference));
}

ChangedFolderScan::Reference ChangedFolderScan::referenceAt(const QDateTime& when)
{
    Reference r;
    if (!when.isValid())
        return r;
    r.Valid = true;
    r.Seconds = floorSeconds(when.toMSecsSinceEpoch());
    r.HourIndex = hourIndex(QDateTime::fromSecsSinceEpoch(r.Seconds));
    return r;
}

ChangedFolderScan::Reference ChangedFolderScan::makeReference(const QString& text)
{
    const auto parsed = DateText::Parse(text);
    return parsed ? referenceAt(*parsed) : Reference();
}

bool ChangedFolderScan::isChanged(qint64 modifiedMs, const Reference& reference)
{
    if (!reference.Valid)
        return false;
    const qint64 seconds = floorSeconds(modifiedMs);
    // Most files of a scan are old: reject them before any local-time conversion.
    if (seconds - reference.Seconds < -1)
        return false;
    if (seconds == reference.Seconds)
        return true;
    const qint64 hours = hourIndex(QDateTime::fromSecsSinceEpoch(seconds)) - reference.HourIndex;
    return hours == 0 || hours == 1;
}

bool ChangedFolderScan::stopRequested() const
{
    return m_context.State.StopScanning;
}

bool ChangedFolderScan::enterSubFolder()
{
    if (m_context.Opts.ShowScanning && !m_context.State.NotifyDismissed)
        m_context.Hooks.ShowScanningPopup();
    m_context.Pump.ProcessPendingMessages();
    return !stopRequested();
}

void ChangedFolderScan::recordNewReference(qint64 modifiedMs)
{
    const qint64 seconds = floorSeconds(modifiedMs);
    if (!NewDetectionDate.isEmpty()) {
        const auto current = DateText::Parse(NewDetectionDate);
        if (current && floorSeconds(current->toMSecsSinceEpoch()) > seconds)
            return;
    }
    NewDetectionDate = DateText::Format(QDateTime::fromSecsSinceEpoch(seconds + 1));
}

bool ChangedFolderScan::isNewChange(const QString& path, const FileStamp& stamp, const Reference& reference)
{
    if (!isChanged(stamp.ModifiedMs(), reference))
        return false;
    recordNewReference(stamp.ModifiedMs());
    return !seenBefore(path, stamp);
}

bool ChangedFolderScan::seenBefore(const QString& path, const FileStamp& stamp)
{
    // Keyed on the full-precision time and the size, not the whole-second text:
    // a second save within the same second is a new change.
    if (m_detected.Contains(path, stamp.ModifiedNs, stamp.Size))
        return true;
    clsDetectedFile file;
    file.Path = path;
    file.ModifiedDate = DateText::Format(QDateTime::fromMSecsSinceEpoch(stamp.ModifiedMs()));
    file.ModifiedNs = stamp.ModifiedNs;
    file.Size = stamp.Size;
    m_detected.Add(file);
    return false;
}

void ChangedFolderScan::ProcessChangedFolder(const QString& Folder, const QString& DetectionDate, int handle)
{
    ProcessChangedFolder(Folder, DetectionDate, handle, FolderChanges());
}

void ChangedFolderScan::ProcessChangedFolder(const QString& Folder, const QString& DetectionDate, int handle,
                                             const FolderChanges& seen)
{
    ProgramState& state = m_context.State;
    bool anyDestination = false;
    for (const clsDestination& d : state.Destinations)
        anyDestination = anyDestination || FilePath::IsSameOrBelow(d.Source, Folder);
    if (!anyDestination)
        return;

    state.Scanning = true;
    state.SetRunningText(QStringLiteral("Scanning... "));
    try {
        const Reference reference = makeReference(DetectionDate);
        FolderChanges unserved = seen;
        // A loop, not a recursion: a file written without pause must not
        // exhaust the stack.
        for (;;) {
            Pass pass = fileAssociations(Folder, reference, handle, unserved);
            if (pass == Pass::Stopped)
                return; // abandon: whoever stopped us owns the panel text
            if (pass == Pass::Resignalled)
                continue;
            pass = folderAssociations(Folder, reference, handle, unserved);
            if (pass == Pass::Stopped)
                return;
            if (pass == Pass::Quiet)
                break;
        }
    } catch (...) {
        // An unexpected failure ends this folder's processing like a normal end.
    }
    state.SetRunningText(QStringLiteral("Waiting... "));
    state.Scanning = false;
}

ChangedFolderScan::Pass ChangedFolderScan::checkResignalled(int handle, FolderChanges& unserved)
{
    if (handle <= 0)
        return Pass::Quiet;
    if (stopRequested())
        return Pass::Stopped;
    m_context.Wait.Sleep(ResignalWaitMs);
    if (stopRequested())
        return Pass::Stopped;
    if (m_context.Notifier.Wait(handle, 0) != ChangeNotifier::WaitResult::Signalled)
        return Pass::Quiet;
    if (stopRequested())
        return Pass::Stopped;
    // Re-arm before looking again, so a change during the next look signals anew.
    unserved.Merge(m_context.Notifier.ChangesSinceRearm(handle));
    m_context.Notifier.Rearm(handle);
    return Pass::Resignalled;
}

ChangedFolderScan::Pass ChangedFolderScan::fileAssociations(const QString& folder, const Reference& reference,
                                                            int handle, FolderChanges& unserved)
{
    QStringList sources;
    for (const clsBackup& b : m_context.State.Backups)
        if (!b.Folder && b.Enabled && FilePath::IsDirectlyIn(b.SourcePath, folder))
            sources.append(b.SourcePath);

    for (const QString& source : sources) {
        const int position = m_context.State.Backups.PositionOf(source);
        const clsBackup* backup = m_context.State.Backups.Item(position);
        if (!backup || backup->Folder || !backup->Enabled)
            continue;
        // A file association names its file explicitly: a link to a file is followed.
        const FileStamp stamp = FileStamp::Of(source, true);
        if (!stamp.Regular)
            continue;
        if (!isNewChange(source, stamp, reference))
            continue;
        m_backup(source, position, source);
        const Pass pass = checkResignalled(handle, unserved);
        if (pass != Pass::Quiet)
            return pass;
    }
    return Pass::Quiet;
}

ChangedFolderScan::Pass ChangedFolderScan::folderAssociations(const QString& folder,
                                                              const Reference& reference, int handle,
                                                              FolderChanges& unserved)
{
    QStringList sources;
    for (const clsBackup& b : m_context.State.Backups)
        if (b.Folder && b.Enabled && FilePath::SamePath(b.SourcePath, folder))
            sources.append(b.SourcePath);

    const FolderChanges changes = std::exchange(unserved, FolderChanges::None());
    for (qsizetype i = 0; i < sources.size(); ++i) {
        const QString& source = sources[i];
        const clsBackup* backup = m_context.State.Backups.Item(source);
        if (!backup || !backup->Folder || !backup->Enabled)
            continue;
        const bool recursive = backup->Recursive;
        try {
            if (recursive && changes.Known)
                scanChanged(source, changes, reference, handle);
            else
                scanLevel(source, source, reference, recursive, false, handle);
        } catch (...) {
            // An unexpected failure ends only that scan.
        }
        if (stopRequested())
            return Pass::Stopped;
        const Pass pass = checkResignalled(handle, unserved);
        if (pass != Pass::Quiet) {
            if (i + 1 < sources.size()) {
                // The associations not reached yet still need what this pass was to serve.
                FolderChanges both = changes;
                both.Merge(unserved);
                unserved = both;
            }
            return pass;
        }
    }
    return Pass::Quiet;
}

namespace {

// path lies in one of the folders or below it.
bool isWithinAny(const QString& path, const std::set<QString>& folders)
{
    for (qsizetype end = path.size(); end > 0; end = path.lastIndexOf(QLatin1Char('/'), end - 1)) {
        if (folders.count(path.left(end)))
            return true;
    }
    return folders.count(QStringLiteral("/")) > 0;
}

} // namespace

void ChangedFolderScan::scanChanged(const QString& folder, const FolderChanges& changes,
                                    const Reference& reference, int handle)
{
    const QString top = FilePath::WithoutTrailingSlashes(folder);
    // A new folder is walked whole: its files may have been written before its
    // watch was added. Folders inside one already walked whole are not visited twice.
    std::vector<std::pair<QString, bool>> visits; // path, whole subtree
    std::set<QString> roots;
    for (const QString& created : changes.Created) {
        if (!FilePath::IsSameOrBelow(created, top) || isWithinAny(created, roots))
            continue;
        roots.insert(created);
        visits.emplace_back(created, true);
    }
    for (const QString& changed : changes.Changed)
        if (FilePath::IsSameOrBelow(changed, top) && !isWithinAny(changed, roots))
            visits.emplace_back(changed, false);

    bool settled = false;
    for (const auto& [path, whole] : visits) {
        if (stopRequested())
            return;
        if (!LocalFiles::IsFolder(path))
            continue;
        const bool isTop = path == top;
        // As before each sub-folder of a full walk.
        if (!isTop && !enterSubFolder())
            return;
        try {
            scanLevel(folder, path, reference, whole, !isTop && m_context.State.ManualSync,
                      settled ? std::nullopt : std::optional<int>(handle));
        } catch (...) {
            // That folder ends; the next one follows.
        }
        settled = true;
    }
}

void ChangedFolderScan::settle(int handle)
{
    using State = ChangeNotifier::WritersState;
    if (handle <= 0 || m_context.Notifier.WritersDone(handle).State == State::Unknown) {
        m_context.Wait.Sleep(TopFolderWaitMs);
        return;
    }
    // A file kept open (a log, a database) still gets the full wait.
    const qint64 start = m_context.Wait.ElapsedMs();
    for (;;) {
        const qint64 left = TopFolderWaitMs - (m_context.Wait.ElapsedMs() - start);
        if (left <= 0)
            return;
        m_context.Wait.Sleep(int(qMin<qint64>(left, SettleSliceMs)));
        m_context.Pump.ProcessPendingMessages();
        if (stopRequested())
            return;
        const ChangeNotifier::Writers writers = m_context.Notifier.WritersDone(handle);
        if (writers.State == State::Unknown) {
            const qint64 rest = TopFolderWaitMs - (m_context.Wait.ElapsedMs() - start);
            if (rest > 0)
                m_context.Wait.Sleep(int(rest));
            return;
        }
        if (writers.State == State::Done && writers.QuietMs >= WritersQuietMs)
            return;
    }
}

void ChangedFolderScan::ScanFolder(const QString& Folder, int /*Position: looked up again by Folder*/,
                                   const QString& Path, const QString& DetectionDate, bool Recursive,
                                   bool Manual)
{
    try {
        scanLevel(Folder, Path, makeReference(DetectionDate), Recursive, Manual,
                  FilePath::SamePath(Path, Folder) ? std::optional<int>(0) : std::nullopt);
    } catch (...) {
        // An unexpected failure ends only this call; the caller goes on.
    }
}

void ChangedFolderScan::scanLevel(const QString& folder, const QString& path, const Reference& reference,
                                  bool recursive, bool manual, std::optional<int> settleHandle)
{
    if (!LocalFiles::IsFolder(path))
        return;
    if (settleHandle) {
        settle(*settleHandle);
        if (stopRequested())
            return;
    }

    // Listed by the names' bytes: Qt's listing leaves out names that are not UTF-8.
    const auto listing = LocalFiles::List(path);
    if (!listing)
        return;
    using Kind = LocalFiles::Entry::Kind;
    // Regular files only: no link (its target is backed up where it lives, if
    // at all), and never a pipe, socket or device, which could block or never end.
    for (const LocalFiles::Entry& entry : *listing) {
        if (entry.Type != Kind::File)
            continue;
        const QString filePath = FilePath::Join(path, entry.Name);
        m_context.Pump.ProcessPendingMessages();
        if (++PacingCount >= PacingFiles) {
            m_context.Wait.Sleep(PacingWaitMs);
            PacingCount = 0;
        }
        if (stopRequested())
            return;
        // The association may have gone while the interface ran.
        const int position = m_context.State.Backups.PositionOf(folder);
        const clsBackup* backup = m_context.State.Backups.Item(position);
        if (!backup)
            return;
        // Looked at as it is now, after the interface ran; its type too, since
        // the listing's type may be stale.
        const FileStamp stamp = FileStamp::Of(filePath, false);
        if (!stamp.Regular)
            continue;
        if (manual) {
            clsDetectedFile file;
            file.Path = filePath;
            m_detected.Add(file);
            m_backup(folder, position, filePath);
            continue;
        }
        if (!backup->CopyHidden && isHidden(entry.Name))
            continue;
        if (!isNewChange(filePath, stamp, reference))
            continue;
        m_backup(folder, position, filePath);
    }

    if (!recursive)
        return;
    // Listed again: sub-folders made while the files were copied are walked too.
    // Links to folders are not followed: a link to a parent would never end.
    const auto folders = LocalFiles::List(path);
    if (!folders)
        return;
    for (const LocalFiles::Entry& entry : *folders) {
        if (stopRequested())
            return;
        if (entry.Type != Kind::Folder)
            continue;
        const QString sub = FilePath::Join(path, entry.Name);
        if (!enterSubFolder())
            return;
        try {
            scanLevel(folder, sub, reference, recursive, m_context.State.ManualSync, std::nullopt);
        } catch (...) {
            // That folder level ends; the next sub-folder follows.
        }
    }
}
