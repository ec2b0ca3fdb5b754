#pragma once

#include <QString>
#include <functional>

// NameNotAllowed: the target's file system cannot hold the name (NTFS, FAT and
// others keep names in a character set that bytes which are not UTF-8 have no place in).
enum class CopyError { None, AccessDenied, DiskFull, Other, SourceChanged, NameNotAllowed };

// Copies one file durably: into a temporary file beside the target, flushed,
// then renamed over it, so a failure never leaves a truncated target.
// betweenChunks runs between chunks so a long copy keeps the interface alive.
// SourceChanged: the source's size or modification time moved during the copy.
class FileCopier
{
public:
    virtual ~FileCopier() = default;
    virtual CopyError Copy(const QString& source, const QString& target,
                           const std::function<void()>& betweenChunks) = 0;
};
