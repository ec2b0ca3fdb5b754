#include "engine/VersionRotation.h"

#include "platform/FilePath.h"
#include "platform/LocalFiles.h"

#include <algorithm>
#include <cerrno>
#include <vector>

namespace {
bool isFile(const QString& path)
{
    return LocalFiles::IsFile(path);
}

FileResult makeFolder(FileSystem& files, const QString& path)
{
    if (files.MakeFolder(path) == 0)
        return {};
    const int error = errno;
    return error == EEXIST && LocalFiles::IsFolder(path) ? FileResult()
                                                         : FileResult::Failed(error, "mkdir", path);
}

// Every change to a version file is a rename or a new link, recorded so that a
// failure half-way can put every version back where it was.
class Journal
{
  public:
    explicit Journal(FileSystem& files) : m_files(files) {}
    FileResult Rename(const QString& from, const QString& to)
    {
        if (m_files.Rename(from, to) != 0)
            return FileResult::Failed(errno, "rename", from, to);
        m_steps.push_back(Step{from, to, false});
        return {};
    }
    void Created(const QString& path) { m_steps.push_back(Step{QString(), path, true}); }
    // The first step that could not be undone: what it moved is still where it went.
    FileResult Undo()
    {
        FileResult first;
        for (auto it = m_steps.rbegin(); it != m_steps.rend(); ++it) {
            FileResult step;
            if (it->Created && m_files.Remove(it->To) != 0 && errno != ENOENT)
                step = FileResult::Failed(errno, "unlink", it->To);
            else if (!it->Created && m_files.Rename(it->To, it->From) != 0)
                step = FileResult::Failed(errno, "rename", it->To, it->From);
            if (first)
                first = step;
        }
        m_steps.clear();
        return first;
    }

  private:
    struct Step
    {
        QString From, To;
        bool Created;
    };
    FileSystem& m_files;
    std::vector<Step> m_steps;
};

// A second name for the same content: a hard link where the file system has
// them, else a durable copy with the same permissions where the disk keeps them.
FileResult duplicate(const QString& from, const QString& to, FileCopier& copier,
                     const std::function<void()>& betweenChunks)
{
    if (copier.Files().Link(from, to) == 0)
        return {};
    const FileResult copied = copier.Copy(from, to, betweenChunks);
    if (copied)
        copier.Files().SetPermissions(to, VersionRotation::ModeOf(from));
    return copied;
}

// An empty folder inside marks a scratch folder as made here, so one that a crash left behind can go.
const QString kScratchMarker = QStringLiteral("/.savenook-scratch");

void removeFiles(FileSystem& files, const QString& folder)
{
    if (const auto entries = LocalFiles::List(folder))
        for (const LocalFiles::Entry& entry : *entries)
            files.Remove(FilePath::Join(folder, entry.Name));
    files.RemoveFolder(folder);
}

// The scratch folder and what is left in it (stashed versions past the count).
// The marker goes last, so a kill part-way leaves a folder still known as ours,
// or an empty one. True when nothing is left.
bool removeScratch(FileSystem& files, const QString& scratch)
{
    removeFiles(files, scratch + QStringLiteral("/new"));
    removeFiles(files, scratch + QStringLiteral("/old"));
    files.RemoveFolder(scratch + kScratchMarker);
    files.RemoveFolder(scratch);
    return !LocalFiles::Exists(scratch);
}

// A leftover of a killed rotation: a real folder holding the marker, or an empty
// one (killed before the marker was made, or after it went). Anything else is the user's.
bool removeLeftoverScratch(FileSystem& files, const QString& scratch)
{
    const auto entries = LocalFiles::List(FilePath::Parent(scratch));
    const QString name = FilePath::FileName(scratch);
    const bool realFolder =
        entries && std::any_of(entries->begin(), entries->end(), [&name](const LocalFiles::Entry& entry) {
            return entry.Name == name && entry.Type == LocalFiles::Entry::Kind::Folder;
        });
    if (!realFolder)
        return false;
    if (LocalFiles::IsFolder(scratch + kScratchMarker))
        return removeScratch(files, scratch);
    return files.RemoveFolder(scratch) == 0;
}

FileResult makeScratch(FileSystem& files, const QString& scratch)
{
    for (const QString& path : {scratch, scratch + kScratchMarker, scratch + QStringLiteral("/new"),
                                scratch + QStringLiteral("/old")})
        if (files.MakeFolder(path) != 0)
            return FileResult::Failed(errno, "mkdir", path);
    return {};
}
} // namespace

QFileDevice::Permissions VersionRotation::ModeOf(const QString& path)
{
    return LocalFiles::Permissions(path);
}

QString VersionRotation::VersionFolder(const QString& folder, const QString& baseName, int k)
{
    return folder + QLatin1Char('/') + baseName + QLatin1Char('-') + QString::number(k);
}

VersionRotation::Result VersionRotation::Rotate(const QString& folder, const QString& fileName,
                                                const QString& baseName, int versions, FileCopier& copier,
                                                const std::function<void()>& betweenChunks,
                                                const std::function<bool()>& commit)
{
    Result result;
    const QString current = folder + QLatin1Char('/') + fileName;
    if (!isFile(current)) {
        result.NewCopy = true;
        return result;
    }
    result.Attributes = ModeOf(current);
    auto versionFile = [&](int k) {
        return VersionFolder(folder, baseName, k) + QLatin1Char('/') + fileName;
    };

    FileSystem& files = copier.Files();
    const QString first = VersionFolder(folder, baseName, 1);
    result.Failure = makeFolder(files, first);
    if (result.Failed())
        return result;
    // The scratch folder takes the first free name, so a folder of the user's is
    // never touched; one that a kill left goes first, or every kill would leave
    // one more for good. The copy and the stashed versions each get a sub-folder:
    // no file name can then clash with the marker or with a stash.
    QString scratch = first + QStringLiteral("-S");
    while (LocalFiles::Exists(scratch) && !removeLeftoverScratch(files, scratch))
        scratch += QStringLiteral("-S");
    result.Failure = makeScratch(files, scratch);
    if (result.Failed()) {
        removeScratch(files, scratch);
        return result;
    }

    Journal journal(files);
    int stashed = 0;
    // A version about to be overwritten moves into the scratch folder first: it
    // is discarded with that folder on success and put back on failure.
    auto stash = [&](const QString& path) {
        return LocalFiles::Exists(path)
                   ? journal.Rename(path, scratch + QStringLiteral("/old/") + QString::number(++stashed))
                   : FileResult();
    };

    const QString staged = scratch + QStringLiteral("/new/") + fileName;
    FileResult step = duplicate(current, staged, copier, betweenChunks);
    for (int k = versions - 1; step && k >= 1; --k) {
        const QString from = versionFile(k);
        if (!isFile(from))
            continue;
        const QString to = versionFile(k + 1);
        step = makeFolder(files, VersionFolder(folder, baseName, k + 1));
        if (step)
            step = stash(to);
        if (!step)
            break;
        // A version that nothing below will refill keeps its file (a gap in the
        // numbering stays where it was); otherwise it simply moves up.
        if (k >= 2 && !isFile(versionFile(k - 1))) {
            step = duplicate(from, to, copier, betweenChunks);
            if (step)
                journal.Created(to);
        } else {
            step = journal.Rename(from, to);
        }
    }
    if (step)
        step = stash(versionFile(1));
    if (step)
        step = journal.Rename(staged, versionFile(1));
    const bool committed = step && (!commit || commit());

    if (committed) {
        result.Stored = true;
    } else {
        const FileResult undone = journal.Undo();
        const bool restored = undone.Ok();
        result.Failure = step ? undone : step;
        result.Undone = step && restored;
        // A version that could not be put back is still in the scratch folder,
        // which then stays, unmarked, so that no later rotation clears it away.
        if (!restored) {
            files.RemoveFolder(scratch + kScratchMarker);
            return result;
        }
    }
    removeScratch(files, scratch);
    return result;
}
