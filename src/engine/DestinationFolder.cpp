#include "engine/DestinationFolder.h"

#include "platform/FilePath.h"
#include "platform/LocalFiles.h"
#include "platform/MountTable.h"

#include <QDir>
#include <QStringList>

#include <cerrno>

namespace {
const QChar slash = QLatin1Char('/');
} // namespace

QString DestinationFolder::Compute(const QString& filePath, const QString& sourcePath, bool folderAssociation,
                                   const QString& destinationPath, const Drives& drives)
{
    const QString parent = FilePath::Parent(filePath);
    QString relative;
    // A drive mounted below a folder association's source is just another
    // sub-folder there: its files keep their place under the source's name, as
    // those of its own sub-folders do.
    const bool belowSource = folderAssociation &&
                             FilePath::IsSameOrBelow(QDir::cleanPath(parent), QDir::cleanPath(sourcePath)) &&
                             QDir::cleanPath(parent) != QDir::cleanPath(sourcePath);
    const std::optional<MountEntry> mount = belowSource ? std::nullopt : drives.MountOf(parent);
    if (mount && QDir::cleanPath(mount->MountPoint) == QDir::cleanPath(parent))
        relative = slash + MountTable::DriveName(parent);
    else if (folderAssociation)
        relative = slash + FilePath::FileName(sourcePath) + parent.mid(sourcePath.size());
    else
        relative = slash + FilePath::FileName(parent);

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
    if (!share || !FilePath::IsSameOrBelow(path, *share))
        return std::nullopt;
    return FilePath::Join(mount.MountPoint, FilePath::RelativePath(path, *share));
}

FileResult DestinationFolder::CreateMissing(const QString& root, const QString& folder, FileSystem& files)
{
    QString running = QDir::cleanPath(root);
    const QString clean = QDir::cleanPath(folder);
    if (!FilePath::IsSameOrBelow(clean, running))
        return FileResult::Failed(FileError::Other, "mkdir (outside the destination)", folder);
    const QString below = FilePath::RelativePath(clean, running);
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
