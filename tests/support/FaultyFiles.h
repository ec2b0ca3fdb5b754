#pragma once

#include "platform/LinuxFileSystem.h"

#include <QString>

#include <cerrno>
#include <functional>
#include <map>
#include <vector>

// The real file system with failures a test scripts ("fail the write after N bytes with ENOSPC",
// "fail the 2nd rename with EIO"); every call is counted, failed or not.
class FaultyFiles : public LinuxFileSystem
{
  public:
    enum class Call {
        OpenRead,
        Create,
        Write,
        Flush,
        Close,
        Rename,
        Link,
        Remove,
        MakeFolder,
        RemoveFolder,
        SetPermissions
    };

    struct Fault
    {
        Call On;
        int Errno = EIO;
        int Nth = 1;               // the nth matching call from now fails
        int Times = 1;             // and this many in a row; -1: every one from then on
        QString PathContains = {}; // only calls on such a path (a rename's or link's: either); empty: any
        qint64 AfterBytes = 0;     // Write: so many bytes of the file are written first
        std::function<void()> Before = {}; // runs as the fault strikes; with Errno 0 the call then succeeds
    };

    std::vector<Fault> Script;
    // Flushes are counted but not made: on a busy disk one lets the interface run at unforeseen moments.
    std::map<Call, int> Calls;

    int Open(const QString& path, int flags, mode_t mode = 0) override;
    int Close(int fd) override;
    ssize_t CopyRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t length) override;
    ssize_t Send(int out, int in, off_t* inOffset, size_t length) override;
    ssize_t WriteAt(int fd, const char* data, size_t length, off_t offset) override;
    int SyncRange(int fd, off_t, off_t, unsigned) override { return flushed(fd); }
    int SyncData(int fd) override { return flushed(fd); }
    int Sync(int fd) override { return flushed(fd); } // also on a thread of the copier's
    int Rename(const QString& from, const QString& to) override;
    int Link(const QString& from, const QString& to) override;
    int Remove(const QString& path) override;
    int MakeFolder(const QString& path) override;
    int RemoveFolder(const QString& path) override;
    int SetPermissions(const QString& path, QFileDevice::Permissions permissions) override;

  private:
    // True when the call must fail; errno is set then.
    bool strikes(Call call, const QString& path);
    // Lets write pass what fits before a write fault strikes; -1 (errno set) when nothing does.
    ssize_t limited(int fd, size_t length, const std::function<ssize_t(size_t allowed)>& write);
    QString pathOf(int fd) const;
    int flushed(int fd) { return strikes(Call::Flush, pathOf(fd)) ? -1 : 0; }

    std::map<int, QString> m_paths;  // open files
    std::map<int, qint64> m_written; // bytes written to each
};
