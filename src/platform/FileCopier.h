#pragma once

#include "platform/FileResult.h"
#include "platform/FileSystem.h"

#include <QString>
#include <functional>

// Copies one file durably in two steps: Stage writes the whole copy into a hidden
// temporary file beside the target and flushes it, leaving the target as it was;
// Commit then renames it over the target. Whatever must happen only once the
// new copy is sure (keeping the replaced copy as a previous version) goes between
// the two. A failed or abandoned Stage leaves nothing behind.
// keepGoing runs between chunks so a long copy keeps the interface alive; false
// abandons the copy.
class FileCopier
{
  public:
    virtual ~FileCopier() = default;
    // On success staged names the temporary file, for Commit or Discard.
    virtual FileResult Stage(const QString& source, const QString& target,
                             const std::function<bool()>& keepGoing, QString& staged) = 0;
    // keepGoing serves the interface while the rename is made durable; the copy
    // is in place by then, so it can no longer be stopped.
    virtual FileResult Commit(const QString& staged, const QString& target,
                              const std::function<bool()>& keepGoing = {}) = 0;
    virtual void Discard(const QString& staged) = 0;
    // Removes the temporary files that copies of earlier runs left in folder (a
    // kill or a power cut mid-copy); never one this run still uses.
    virtual void RemoveLeftovers(const QString& folder) { (void)folder; }
    // What the copies are written through; the versions and folders beside
    // them are made through it too.
    virtual FileSystem& Files() = 0;

    // Both steps at once; betweenChunks as keepGoing that never stops.
    FileResult Copy(const QString& source, const QString& target, const std::function<void()>& betweenChunks)
    {
        QString staged;
        const FileResult staging = Stage(
            source, target,
            [&betweenChunks] {
                if (betweenChunks)
                    betweenChunks();
                return true;
            },
            staged);
        if (!staging)
            return staging;
        FileResult committed = Commit(staged, target);
        if (!committed)
            Discard(staged);
        return committed;
    }
};
