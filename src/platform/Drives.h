#pragma once

#include <QString>
#include <optional>

// One line of the mount table.
struct MountEntry
{
    QString MountPoint; // where it is mounted, unescaped
    QString Root;       // the folder of the file system that is mounted there (bind mounts)
    QString FsType;     // e.g. ext4, cifs, nfs4, fuse.sshfs
    QString Source;     // e.g. /dev/sda1, //server/share, server:/export
};

// Drives as the engine and dialogs see them: a drive is a mount point.
class Drives
{
  public:
    virtual ~Drives() = default;
    // The mount whose mount point is the longest whole-component prefix of path;
    // for a "//server/share/..." path, the network mount that holds it.
    virtual std::optional<MountEntry> MountOf(const QString& path) const = 0;
    // Mounted and readable.
    virtual bool IsReady(const QString& mountPoint) const = 0;
    // The file system's label, empty when it has none.
    virtual QString Label(const QString& mountPoint) const = 0;
    // What tells this file system from any other mounted in its place (its
    // UUID), empty when nothing does.
    virtual QString FileSystemId(const QString& mountPoint) const
    {
        (void)mountPoint;
        return QString();
    }
};

// cifs, smb3, nfs, nfs4, sshfs and the like.
bool IsNetworkFileSystem(const QString& fsType);
