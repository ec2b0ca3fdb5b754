#pragma once

#include <QString>
#include <functional>

// Abandoned: the caller's keepGoing said stop (the program is closing).
// NameNotAllowed: the target's file system cannot hold the name (NTFS, FAT and
// others keep names in a character set that bytes which are not UTF-8 have no place in).
enum class CopyError { None, AccessDenied, DiskFull, Other, SourceChanged, Abandoned, NameNotAllowed };

// Copies one file durably in two steps: Stage writes the whole copy into a hidden
// temporary file beside the target and flushes it, leaving the target as it was;
// Commit then renames it over the target. Whatever must happen only once the
// new copy is sure (keeping the replaced copy as a previous version) goes between
// the two. A failed or abandoned Stage leaves nothing behind.
// keepGoing runs between chunks so a long copy keeps the interface alive; false
// abandons the copy. SourceChanged: the source's size or modification time moved
// during the copy.
class FileCopier
{
  public:
    virtual ~FileCopier() = default;
    // On success staged names the temporary file, for Commit or Discard.
    virtual CopyError Stage(const QString& source, const QString& target,
                            const std::function<bool()>& keepGoing, QString& staged) = 0;
    // keepGoing serves the interface while the rename is made durable; the copy
    // is in place by then, so it can no longer be stopped.
    virtual CopyError Commit(const QString& staged, const QString& target,
                             const std::function<bool()>& keepGoing = {}) = 0;
    virtual void Discard(const QString& staged) = 0;
    // Removes the temporary files that copies of earlier runs left in folder (a
    // kill or a power cut mid-copy); never one this run still uses.
    virtual void RemoveLeftovers(const QString& folder) { (void)folder; }

    // Both steps at once; betweenChunks as keepGoing that never stops.
    CopyError Copy(const QString& source, const QString& target, const std::function<void()>& betweenChunks)
    {
        QString staged;
        const CopyError staging = Stage(
            source, target,
            [&betweenChunks] {
                if (betweenChunks)
                    betweenChunks();
                return true;
            },
            staged);
        if (staging != CopyError::None)
            return staging;
        const CopyError committed = Commit(staged, target);
        if (committed != CopyError::None)
            Discard(staged);
        return committed;
    }
};
