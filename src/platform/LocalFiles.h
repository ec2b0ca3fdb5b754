#pragma once

#include <QFileDevice>
#include <QString>
#include <optional>
#include <vector>

// Files and folders on this machine, reached by the exact bytes of their names
// (see FileNames): QFile, QDir and QFileInfo cannot open, and QDirIterator does
// not even list, a name that is not valid UTF-8.
namespace LocalFiles {

struct Entry
{
    enum class Kind { File, Folder, SymLink, Other };
    QString Name; // through FileNames::Decode
    Kind Type = Kind::Other;
};

// The entries of folder, without "." and "..", in the order the file system gives
// them; a link is a SymLink, never what it points to. Nothing when the folder
// cannot be opened.
std::optional<std::vector<Entry>> List(const QString& folder);

bool Exists(const QString& path);   // anything, a dangling link too
bool IsFile(const QString& path);   // a regular file, after following links
bool IsFolder(const QString& path); // a folder, after following links

// Makes one folder; true when a folder is there afterwards. On failure errno
// is mkdir's.
bool MakeFolder(const QString& path);
// Removes a folder and everything in it, without following links.
bool RemoveTree(const QString& path);

// The permission bits as owner/group/other flags; none of Qt's "current user"
// flags, which say what this process may do (everything, for root).
QFileDevice::Permissions Permissions(const QString& path);
// A "current user" flag counts as the owner's, as with QFile::setPermissions.
bool SetPermissions(const QString& path, QFileDevice::Permissions permissions);

} // namespace LocalFiles
