#pragma once

#include "platform/FileSystem.h"

// The file system as the kernel offers it, paths through FileNames.
class LinuxFileSystem : public FileSystem
{
  public:
    int Open(const QString& path, int flags, mode_t mode = 0) override;
    int Close(int fd) override;
    ssize_t CopyRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t length) override;
    ssize_t Send(int out, int in, off_t* inOffset, size_t length) override;
    ssize_t WriteAt(int fd, const char* data, size_t length, off_t offset) override;
    int SyncRange(int fd, off_t offset, off_t length, unsigned flags) override;
    int SyncData(int fd) override;
    int Sync(int fd) override;
    int Rename(const QString& from, const QString& to) override;
    int Link(const QString& from, const QString& to) override;
    int Remove(const QString& path) override;
    int MakeFolder(const QString& path) override;
    int RemoveFolder(const QString& path) override;
    int SetPermissions(const QString& path, QFileDevice::Permissions permissions) override;
};
