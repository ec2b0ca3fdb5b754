#include "platform/LinuxFileSystem.h"

#include "platform/FileNames.h"
#include "platform/LocalFiles.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

int LinuxFileSystem::Open(const QString& path, int flags, mode_t mode)
{
    return ::open(FileNames::Encode(path).constData(), flags | O_CLOEXEC, mode);
}

int LinuxFileSystem::Close(int fd)
{
    return ::close(fd);
}

ssize_t LinuxFileSystem::CopyRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t length)
{
    return ::copy_file_range(in, inOffset, out, outOffset, length, 0);
}

ssize_t LinuxFileSystem::Send(int out, int in, off_t* inOffset, size_t length)
{
    return ::sendfile(out, in, inOffset, length);
}

ssize_t LinuxFileSystem::WriteAt(int fd, const char* data, size_t length, off_t offset)
{
    return ::pwrite(fd, data, length, offset);
}

int LinuxFileSystem::SyncRange(int fd, off_t offset, off_t length, unsigned flags)
{
    return ::sync_file_range(fd, offset, length, flags);
}

int LinuxFileSystem::SyncData(int fd)
{
    return ::fdatasync(fd);
}

int LinuxFileSystem::Sync(int fd)
{
    return ::fsync(fd);
}

int LinuxFileSystem::Rename(const QString& from, const QString& to)
{
    return ::rename(FileNames::Encode(from).constData(), FileNames::Encode(to).constData());
}

int LinuxFileSystem::Link(const QString& from, const QString& to)
{
    return ::link(FileNames::Encode(from).constData(), FileNames::Encode(to).constData());
}

int LinuxFileSystem::Remove(const QString& path)
{
    return ::unlink(FileNames::Encode(path).constData());
}

int LinuxFileSystem::MakeFolder(const QString& path)
{
    return ::mkdir(FileNames::Encode(path).constData(), 0777);
}

int LinuxFileSystem::RemoveFolder(const QString& path)
{
    return ::rmdir(FileNames::Encode(path).constData());
}

int LinuxFileSystem::SetPermissions(const QString& path, QFileDevice::Permissions permissions)
{
    return LocalFiles::SetPermissions(path, permissions) ? 0 : -1;
}
