#pragma once

#include "platform/Drives.h"
#include "platform/MountTable.h"
#include "platform/VolumeLabels.h"

#include <QString>
#include <functional>

// Drives on Linux: the mount table, access() for readiness, and file-system
// labels. Every source can be redirected, so a test can describe any machine.
class LinuxDrives : public Drives
{
  public:
    struct Sources
    {
        QString MountInfoFile = QStringLiteral("/proc/self/mountinfo");
        QString LabelLinkFolder = QStringLiteral("/dev/disk/by-label");
        // Whether a mount point can be listed and entered; access(R_OK | X_OK) by default.
        std::function<bool(const QString& mountPoint)> Readable;
        // The file system's own label; FS_IOC_GETFSLABEL by default.
        std::function<VolumeLabels::FsLabel(const QString& mountPoint)> FileSystemLabel;
    };

    LinuxDrives();
    explicit LinuxDrives(Sources sources);
    ~LinuxDrives() override;
    LinuxDrives(const LinuxDrives&) = delete;
    LinuxDrives& operator=(const LinuxDrives&) = delete;

    // Drives come and go while the program runs, so every call sees the table
    // as it is now: the kernel's table is kept and read again only when it
    // announces a change; any other file is read again on every call.
    std::optional<MountEntry> MountOf(const QString& path) const override;
    // Mounted (in the table now) and readable.
    bool IsReady(const QString& mountPoint) const override;
    // Empty for a drive without a label and for one no longer mounted.
    QString Label(const QString& mountPoint) const override;
    // The kernel's UUID of a local file system, else udev's by-uuid link to its
    // device; empty for a network file system (its source names it) and for a
    // mount point no longer mounted.
    QString FileSystemId(const QString& mountPoint) const override;

    // The current table; an empty table with LastError set when it cannot be read.
    MountTable Table() const;
    // Why the last read of the table failed; empty after a good read.
    QString LastError() const { return m_lastError; }

    static bool AccessReadable(const QString& mountPoint);

  private:
    bool tableChanged() const;

    Sources m_sources;
    mutable QString m_lastError;
    mutable std::optional<MountTable> m_cached;
    mutable int m_watchFd = -1; // the kernel's table, open for its change notices
};
