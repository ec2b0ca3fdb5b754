#pragma once

#include <QString>

// Path tests of the watching and the scan. They compare whole path components,
// so "/work/a" is neither the same as nor a parent of "/work/ab".
namespace WatchPaths {
// Drops trailing "/" except from the root itself.
QString WithoutTrailingSlash(const QString& path);
bool SamePath(const QString& a, const QString& b);
// path is folder itself or lies somewhere below it.
bool IsSameOrBelow(const QString& path, const QString& folder);
// path names an entry directly in folder, not in one of its sub-folders.
bool IsDirectlyIn(const QString& path, const QString& folder);
} // namespace WatchPaths
