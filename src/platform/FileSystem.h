#pragma once

#include <QFileDevice>
#include <QString>
#include <sys/types.h>

// Every call that changes what a backup disk holds: the copier, the version
// rotation and the destination folders write only through here, so a test can
// make any of them fail part-way (a full disk after N bytes, an I/O error, the
// k-th rename). Each behaves as the system call it stands for: -1 with errno
// set on failure.
class FileSystem
{
  public:
    virtual ~FileSystem() = default;

    virtual int Open(const QString& path, int flags, mode_t mode = 0) = 0; // open(2)
    virtual int Close(int fd) = 0;
    // copy_file_range(2); sendfile(2) from *inOffset to out's position; pwrite(2)
    virtual ssize_t CopyRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t length) = 0;
    virtual ssize_t Send(int out, int in, off_t* inOffset, size_t length) = 0;
    virtual ssize_t WriteAt(int fd, const char* data, size_t length, off_t offset) = 0;
    // sync_file_range(2), fdatasync(2), fsync(2)
    virtual int SyncRange(int fd, off_t offset, off_t length, unsigned flags) = 0;
    virtual int SyncData(int fd) = 0;
    virtual int Sync(int fd) = 0;

    virtual int Rename(const QString& from, const QString& to) = 0;
    virtual int Link(const QString& from, const QString& to) = 0;
    virtual int Remove(const QString& path) = 0;       // unlink(2)
    virtual int MakeFolder(const QString& path) = 0;   // mkdir(2), for everyone as the umask allows
    virtual int RemoveFolder(const QString& path) = 0; // rmdir(2)
    // chmod(2); a "current user" flag counts as the owner's, as with QFile::setPermissions
    virtual int SetPermissions(const QString& path, QFileDevice::Permissions permissions) = 0;
};
