#include "core/Stores.h"

#include "core/DataFolder.h"
#include "core/StoreFile.h"
#include "core/StoreValues.h"
#include "platform/FileNames.h"

#include <algorithm>
#include <optional>

namespace {

const QString kBackupsStore = QStringLiteral("usrdatab");
const QString kDestinationsStore = QStringLiteral("usrdatad");
const QString kPausedStore = QStringLiteral("pprefs");
constexpr int kBackupLines = 13;
constexpr int kDestinationLines = 3;

// A store that did not load whole would be overwritten by the next save, and
// whatever was not loaded would be gone: keep the file as it was read and tell the user.
void reportPartialLoad(ProgramState& state, const QString& store, const QString& what,
                       const StoreContent& content, const QStringList& problems)
{
    QString message = QStringLiteral("Not all %1 could be loaded from %2: %3.")
                          .arg(what, DataFilePath(store), problems.join(QStringLiteral("; ")));
    if (content.Status == StoreContent::State::Read) {
        const QString copy = StoreFile::KeepCopy(store, content.Bytes);
        if (!copy.isEmpty())
            message += QStringLiteral("\n\nThe file as it was read is kept as %1.").arg(copy);
        else
            message += QStringLiteral(
                "\n\nNo copy of the file could be kept; it will be replaced at the next save.");
    }
    state.PendingWarnings.append(message);
}

// A store that exists but cannot be read would be replaced by the next save with
// only what was loaded, that is nothing: it goes aside first, or is held.
void setAsideUnreadable(ProgramState& state, const QString& store, const QString& what, const QString& why)
{
    QString error;
    const QString aside = StoreFile::MoveAside(store, &error);
    QString message = QStringLiteral("The %1 could not be loaded: %2 could not be read (%3).")
                          .arg(what, DataFilePath(store), why);
    if (!aside.isEmpty()) {
        message += QStringLiteral("\n\nIt was moved aside, as it is, to %1.").arg(aside);
    } else {
        state.HeldStores.insert(store);
        message += QStringLiteral("\n\nIt could not be moved aside either (%1). Savenook will not save "
                                  "over it, so changes to the %2 are not kept until it can be read.")
                       .arg(error, what);
    }
    state.PendingWarnings.append(message);
}

// The store as read; none when it is missing or could not be read (reported).
std::optional<StoreContent> readStore(ProgramState& state, const QString& store, const QString& what)
{
    StoreContent content = StoreFile::Read(store);
    if (content.Status == StoreContent::State::Missing) {
        if (StoreFile::IsBrokenLink(store))
            setAsideUnreadable(state, store, what, QStringLiteral("it is a link to something missing"));
        return std::nullopt;
    }
    if (content.Status == StoreContent::State::Unreadable) {
        setAsideUnreadable(state, store, what, content.Error);
        return std::nullopt;
    }
    // Read now: whatever was held before is in memory and may be saved over.
    state.HeldStores.remove(store);
    return content;
}

// Tells the user once; key says what was told.
void tellOnce(ProgramState& state, const QString& key, const QString& text)
{
    if (state.StoreProblemsTold.contains(key))
        return;
    state.StoreProblemsTold.insert(key);
    state.Warn(text);
}

// A record with a line break in a value would shift every later line onto the
// wrong field, and one that is not UTF-8 would make the whole store unwritable:
// that record alone stays out of the store, and the user hears of it.
void appendRecord(ProgramState& state, QStringList& lines, const QString& store, const QStringList& record,
                  const QString& name)
{
    if (std::all_of(record.begin(), record.end(), StoreValues::FitsOnALine)) {
        lines << record;
        return;
    }
    // Keyed by name, not content: its last-activity time changes with every backup.
    tellOnce(state, store + u'\n' + name,
             QStringLiteral("%1 cannot be saved: one of its values holds a line break or a name that is not "
                            "valid UTF-8, which %2 cannot keep. It works until Savenook ends, but will be "
                            "missing at the next start.")
                 .arg(FileNames::ForDisplay(name), DataFilePath(store)));
}

bool writeStore(ProgramState& state, const QString& store, const QString& what, const QStringList& lines)
{
    if (state.HeldStores.contains(store)) {
        QString error;
        const QString aside = StoreFile::MoveAside(store, &error);
        if (aside.isEmpty() && !error.isEmpty()) {
            tellOnce(state, store,
                     QStringLiteral("The %1 could not be saved: %2 could not be read and is kept as it "
                                    "is (%3).")
                         .arg(what, DataFilePath(store), error));
            return false;
        }
        state.HeldStores.remove(store);
        if (!aside.isEmpty())
            state.Warn(QStringLiteral("%1, which could not be read, was moved aside, as it is, to %2.")
                           .arg(DataFilePath(store), aside));
    }
    QString error;
    if (!StoreFile::Write(store, lines, &error)) {
        tellOnce(state, store,
                 QStringLiteral("The %1 could not be saved to %2 (%3). Savenook tries again at the next "
                                "save; until one succeeds, changes since the last save end with the program.")
                     .arg(what, DataFilePath(store), error));
        return false;
    }
    // Told again should it fail again later.
    state.StoreProblemsTold.remove(store);
    return true;
}

QString incompleteEntry(qsizetype lineCount, int linesPerEntry)
{
    return QStringLiteral("the last entry is incomplete (%1 of %2 lines)")
        .arg(lineCount % linesPerEntry)
        .arg(linesPerEntry);
}

} // namespace

bool SaveBackups(ProgramState& state)
{
    using namespace StoreValues;
    QStringList lines;
    lines.reserve(state.Backups.Count() * kBackupLines);
    for (const clsBackup& b : state.Backups) {
        const QStringList record = {b.SourcePath,
                                    b.Volume,
                                    b.DateCreated,
                                    b.DateLastModified,
                                    b.DateLastActivity,
                                    WriteBool(b.Folder),
                                    WriteBool(b.Enabled),
                                    WriteBool(b.KeepBackup),
                                    QString::number(b.Versions),
                                    WriteBool(b.Recursive),
                                    WriteBool(b.CopyHidden),
                                    WriteBool(b.NotifyOnSuccess),
                                    WriteBool(b.NotifyOnError)};
        appendRecord(state, lines, kBackupsStore, record,
                     QStringLiteral("The association %1").arg(b.SourcePath));
    }
    return writeStore(state, kBackupsStore, QStringLiteral("associations"), lines);
}

void LoadBackups(ProgramState& state, const std::function<void(const clsBackup&)>& onLoaded)
{
    using namespace StoreValues;
    // Emptying the associations purges their destinations too.
    state.Backups.Clear();

    const QString what = QStringLiteral("associations");
    const std::optional<StoreContent> content = readStore(state, kBackupsStore, what);
    if (!content)
        return;

    QStringList problems;
    const QStringList& lines = content->Lines;
    const int records = static_cast<int>(lines.size()) / kBackupLines;
    for (int r = 0; r < records; ++r) {
        const auto line = [&](int n) { return lines.at(r * kBackupLines + n - 1); };
        const std::optional<qint16> versions = ReadInt16(line(9));
        if (!versions) {
            problems << QStringLiteral("%1 was skipped: its number of versions \"%2\" is out of range")
                            .arg(line(1), line(9));
            continue;
        }
        clsBackup b;
        b.SourcePath = line(1);
        b.Volume = line(2);
        b.DateCreated = line(3);
        b.DateLastModified = line(4);
        b.DateLastActivity = line(5);
        b.Folder = ReadBool(line(6));
        b.Enabled = ReadBool(line(7));
        b.KeepBackup = ReadBool(line(8));
        b.Versions = *versions;
        b.Recursive = ReadBool(line(10));
        b.CopyHidden = ReadBool(line(11));
        b.NotifyOnSuccess = ReadBool(line(12));
        b.NotifyOnError = ReadBool(line(13));
        const clsBackup* added = state.Backups.Add(b, b.SourcePath);
        if (!added) {
            problems << QStringLiteral("%1 was skipped: it is already backed up by an earlier entry")
                            .arg(b.SourcePath);
            continue;
        }
        if (onLoaded)
            onLoaded(*added);
    }
    if (lines.size() % kBackupLines != 0)
        problems << incompleteEntry(lines.size(), kBackupLines);
    if (!problems.isEmpty())
        reportPartialLoad(state, kBackupsStore, what, *content, problems);
}

bool SaveDestinations(ProgramState& state)
{
    QStringList lines;
    lines.reserve(state.Destinations.Count() * kDestinationLines);
    for (const clsDestination& d : state.Destinations)
        appendRecord(state, lines, kDestinationsStore, {d.Path, d.Source, d.Volume},
                     QStringLiteral("The destination %1 of %2").arg(d.Path, d.Source));
    return writeStore(state, kDestinationsStore, QStringLiteral("destinations"), lines);
}

void LoadDestinations(ProgramState& state)
{
    state.Destinations.Clear();

    const QString what = QStringLiteral("destinations");
    const std::optional<StoreContent> content = readStore(state, kDestinationsStore, what);
    if (!content)
        return;
    const QStringList& lines = content->Lines;
    const int records = static_cast<int>(lines.size()) / kDestinationLines;
    for (int r = 0; r < records; ++r) {
        const int at = r * kDestinationLines;
        // A destination whose association is missing stays until the next purge.
        state.Destinations.Add(lines.at(at), lines.at(at + 1), lines.at(at + 2));
    }
    if (lines.size() % kDestinationLines != 0)
        reportPartialLoad(state, kDestinationsStore, what, *content,
                          {incompleteEntry(lines.size(), kDestinationLines)});
}

bool SavePausedState(ProgramState& state)
{
    return writeStore(state, kPausedStore, QStringLiteral("paused state"),
                      {StoreValues::WriteBool(state.Paused)});
}

bool LoadPausedState()
{
    const StoreContent content = StoreFile::Read(kPausedStore);
    return content.Status == StoreContent::State::Read && !content.Lines.isEmpty() &&
           StoreValues::ReadBool(content.Lines.first());
}
