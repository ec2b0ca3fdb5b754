#include "platform/DurableFile.h"

#include "platform/FileNames.h"

#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace DurableFile {

FileResult WriteNew(const QString& path, const QByteArray& bytes, Existing existing)
{
    const QByteArray native = FileNames::Encode(path);
    if (existing == Existing::Replace && ::unlink(native.constData()) != 0 && errno != ENOENT)
        return FileResult::Failed(errno, "unlink", path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return FileResult::Failed(errno, "open", path);
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            return FileResult::Failed(error, "write", path);
        }
        data += written;
        left -= written;
    }
    if (::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        return FileResult::Failed(error, "fsync", path);
    }
    // close can report a delayed write error (on network file systems).
    if (::close(fd) != 0)
        return FileResult::Failed(errno, "close", path);
    return {};
}

FileResult RenameOver(const QString& from, const QString& to)
{
    if (::rename(FileNames::Encode(from).constData(), FileNames::Encode(to).constData()) != 0)
        return FileResult::Failed(errno, "rename", from, to);
    return SyncFolder(QFileInfo(to).absolutePath());
}

FileResult RenameNoReplace(const QString& from, const QString& to)
{
    const QByteArray source = FileNames::Encode(from);
    const QByteArray target = FileNames::Encode(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return SyncFolder(QFileInfo(to).absolutePath());
    if (errno != EINVAL && errno != ENOSYS)
        return FileResult::Failed(errno, "rename", from, to);
    // A file system without RENAME_NOREPLACE: a hard link cannot replace either.
    if (::link(source.constData(), target.constData()) != 0)
        return FileResult::Failed(errno, "link", from, to);
    if (::unlink(source.constData()) != 0)
        return FileResult::Failed(errno, "unlink", from);
    return SyncFolder(QFileInfo(to).absolutePath());
}

FileResult SyncFolder(const QString& folder)
{
    const int fd = ::open(FileNames::Encode(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return FileResult::Failed(errno, "open", folder);
    // Some file systems cannot flush a folder (EINVAL); the rename itself still stands.
    if (::fsync(fd) != 0 && errno != EINVAL) {
        const int error = errno;
        ::close(fd);
        return FileResult::Failed(error, "fsync", folder);
    }
    ::close(fd);
    return {};
}

} // namespace DurableFile
