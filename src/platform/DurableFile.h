#pragma once

#include "platform/FileResult.h"

#include <QByteArray>
#include <QString>

// Writing that survives a crash or a power cut: the data is flushed before it
// counts, and a file is replaced by renaming, never by copying over it.
namespace DurableFile {

enum class Existing { Replace, Keep };

// Creates path anew with exactly these bytes, flushed to the disk before it
// returns. A file already there is removed first (Replace), or makes the call
// fail with EEXIST (Keep).
FileResult WriteNew(const QString& path, const QByteArray& bytes, Existing existing = Existing::Replace);

// Renames from over to, replacing it atomically: a crash leaves either the old
// or the new file, never a mix. Then flushes the folder so the rename lasts.
FileResult RenameOver(const QString& from, const QString& to);

// Renames from to to, failing with EEXIST when to exists already (a link
// counts, also one to nowhere). A link is moved itself, not what it leads to.
FileResult RenameNoReplace(const QString& from, const QString& to);

// Flushes a folder's entries (names created, renamed or removed in it).
FileResult SyncFolder(const QString& folder);

} // namespace DurableFile
