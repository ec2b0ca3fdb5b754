#pragma once

#include "platform/LinuxFileSystem.h"

#include <QString>

#include <cerrno>
#include <functional>
#include <map>
#include <utility>
#include <vector>

// The real file system with failures a test scripts: "fail the write after N
// bytes with ENOSPC", "fail the 2nd rename with EIO", "fail making a folder".
// Every call is counted, failed or not.
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
        int Errno;
        int Nth;                      // the nth matching call from now fails
        int Times;                    // and this many in a row; -1: every one from then on
        QString PathContains;         // only calls on such a path (a rename's or link's: either); empty: any
        qint64 AfterBytes;            // Write: so many bytes of the file are written first
        std::function<void()> Before; // runs as the fault strikes; with Errno 0 the call then succeeds

        Fault(Call on, int error = EIO, int nth = 1, int times = 1, const QString& pathContains = {},
              qint64 afterBytes = 0, std::function<void()> before = {})
            : On(on), Errno(error), Nth(nth), Times(times), PathContains(pathContains),
              AfterBytes(afterBytes), Before(std::move(before))
        {
        }
    };

    std::vector<Fault> Script;
    // Flushes are counted but not made: no test needs them on the disk, and a flush on a busy disk lets
    // the interface run at moments a test cannot foresee.
    std::map<Call, int> Calls;

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

  private:
    // True when the call must fail; errno is set then.
    bool strikes(Call call, const QString& path);
    // How many of length bytes may go to fd before a write fault strikes; -1
    // (errno set) when none may.
    ssize_t allowed(int fd, size_t length);
    void wrote(int fd, ssize_t bytes);
    QString pathOf(int fd) const;

    std::map<int, QString> m_paths;  // open files
    std::map<int, qint64> m_written; // bytes written to each
};
