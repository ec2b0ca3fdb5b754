#pragma once

#include <QString>

// Path text as Linux keeps it: "/" separates components, and names compare
// exactly (case matters). Every other character belongs to a name, the
// U+DC80..U+DCFF stand-ins FileNames uses for bytes that are not UTF-8 included,
// so nothing here folds, normalises or touches the disk; "." and ".." are left as
// they are (QDir::cleanPath resolves them where a path may hold them).
// Our own rather than QFileInfo/QDir: Qt has no whole-component containment test,
// and QFileInfo's path() and fileName() read a trailing "/" differently.
namespace FilePath {

// The path without its last character when that is "/" (one at most); "/" stays "/".
QString StripTrailingBackslash(const QString& path);
// "/" for an absolute local path; empty for a network form ("//server/share/..."),
// a relative path and an empty path.
QString GetPathRoot(const QString& path);
// Every trailing "/" dropped, but the root stays "/".
QString WithoutTrailingSlashes(const QString& path);
// The same path but for trailing "/".
bool SamePath(const QString& a, const QString& b);

// The part before the last "/": "/" for a top-level entry, "." for a bare name.
QString Parent(const QString& path);
// The last component, trailing "/" ignored; empty for "/".
QString FileName(const QString& path);
// folder and name joined by exactly one "/", never "//name" from the root (that
// would be a network form). An empty folder gives name as it is; an empty name, folder.
QString Join(const QString& folder, const QString& name);

// path is folder or lies below it on whole components: /data/Work/a is below
// /data/Work, /data/Work2 is not. Trailing "/" is ignored; an empty folder holds nothing.
bool IsSameOrBelow(const QString& path, const QString& folder);
// path names an entry directly in folder: not deeper, and not folder itself.
bool IsDirectlyIn(const QString& path, const QString& folder);
// The part of path below folder without a leading "/"; empty for folder itself.
// path must be IsSameOrBelow folder.
QString RelativePath(const QString& path, const QString& folder);

} // namespace FilePath
