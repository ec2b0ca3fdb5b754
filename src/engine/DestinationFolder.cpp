#include "engine/DestinationFolder.h"

#include "engine/WatchPaths.h"
#include "platform/LocalFiles.h"
#include "platform/MountTable.h"

#include <QDir>
#include <QStringList>

#include <cerrno>

namespace {
const QChar slash = QLatin1Char('/');

QString lastComponent(const QString& path)
{
    const QString trimmed = WatchPaths::WithoutTrailingSlash(path);
    return trimmed.mid(trimmed.lastIndexOf(slash) + 1);
}
} // namespace

QString DestinationFolder::ParentOf(const QString& path)
{
    const qsizetype at = path.lastIndexOf(slash);
    if (at <= 0)
        return QStringLiteral("/");
    return path.left(at);
}

bool DestinationFolder::IsWithin(const QString& path, const QString& folder)
{
    return MountTable::IsInside(QDir::cleanPath(path), QDir::cleanPath(folder));
}

QString DestinationFolder::Compute(const QString& filePath, const QString& sourcePath, bool folderAssociation,
                                   const QString& destinationPath, const Drives& drives)
{
    const QString parent = ParentOf(filePath);
    QString relative;
    // A drive mounted below a folder association's source is just another
    // sub-folder there: its files keep their place under the source's name, as
    // those of its own sub-folders do.
    const bool belowSource = folderAssociation && IsWithin(parent, sourcePath) &&
                             QDir::cleanPath(parent) != QDir::cleanPath(sourcePath);
    const std::optional<MountEntry> mount = belowSource ? std::nullopt : drives.MountOf(parent);
    if (mount && QDir::cleanPath(mount->MountPoint) == QDir::cleanPath(parent))
        relative = slash + MountTable::DriveName(parent);
    else if (folderAssociation)
        relative = slash + lastComponent(sourcePath) + parent.mid(sourcePath.size());
    else
        relative = slash + lastComponent(parent);

    if (destinationPath.endsWith(slash))
        relative.remove(0, 1);
    return destinationPath + relative;
}

std::optional<QString> DestinationFolder::LocalForm(const QString& path, const MountEntry& mount)
{
    if (!path.startsWith(QStringLiteral("//")))
        return path;
    if (!IsNetworkFileSystem(mount.FsType))
        return std::nullopt;
    const std::optional<QString> share = MountTable::NetworkRoot(mount);
    if (!share || !MountTable::IsInside(path, *share))
        return std::nullopt;
    QString base = mount.MountPoint;
    const QString rest = path.mid(share->size());
    if (base.endsWith(slash) && rest.startsWith(slash))
        base.chop(1);
    return base + rest;
}

FileResult DestinationFolder::CreateMissing(const QString& root, const QString& folder, FileSystem& files)
{
    if (!IsWithin(folder, root))
        return FileResult::Failed(FileError::Other, "mkdir (outside the destination)", folder);
    QString running = QDir::cleanPath(root);
    const QString below = QDir::cleanPath(folder).mid(running.size());
    FileResult result;
    for (const QString& part : below.split(slash, Qt::SkipEmptyParts)) {
        if (!running.endsWith(slash))
            running += slash;
        running += part;
        if (files.MakeFolder(running) != 0 && !(errno == EEXIST && LocalFiles::IsFolder(running)) && result)
            result = FileResult::Failed(errno, "mkdir", running);
    }
    return result;
}
