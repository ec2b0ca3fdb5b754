#pragma once

#include "platform/Drives.h"
#include "platform/FileResult.h"
#include "platform/FileSystem.h"

#include <QString>
#include <optional>

// Where in a destination the copy of a file goes, and making that folder.
class DestinationFolder
{
  public:
    // The destination's Path followed by the source folder's own name (or the
    // parent folder's name for a file association, or the drive letter for a
    // file in a drive's root) and the sub-folders below the source.
    static QString Compute(const QString& filePath, const QString& sourcePath, bool folderAssociation,
                           const QString& destinationPath, const Drives& drives);

    // A "//server/share/..." path in the form this machine opens: below the
    // mount of that share; none when mount is not it (the mount table folds a
    // leading "//" into "/", so the root file system would claim any such path).
    // Any other path is returned as it is.
    static std::optional<QString> LocalForm(const QString& path, const MountEntry& mount);

    // Creates every missing folder of folder below root (root itself must exist and
    // is never created). Goes on after a failed level; the first failure is the result.
    static FileResult CreateMissing(const QString& root, const QString& folder, FileSystem& files);
};
