#pragma once

#include <QString>
#include <optional>

// Reads a mounted file system's label. QStorageInfo::name() only knows labels
// through udev's by-label links, which a machine without udev lacks, so the
// kernel is asked directly when no link names the device.
class VolumeLabels
{
  public:
    explicit VolumeLabels(QString labelLinkFolder = QStringLiteral("/dev/disk/by-label"))
        : m_linkFolder(std::move(labelLinkFolder))
    {
    }

    // The label whose link in the link folder leads to the device (symbolic
    // links on either side resolved); none when no link does.
    std::optional<QString> FromLinks(const QString& device) const;

    struct FsLabel
    {
        QString Label;
        int Error = 0; // errno of the open or ioctl; 0 on success
    };
    // FS_IOC_GETFSLABEL on a folder of the file system (ext4, btrfs, xfs, ...).
    static FsLabel FromFileSystem(const QString& mountPoint);

    // The file system's UUID as the kernel keeps it (FS_IOC_GETFSUUID, Linux 6.5
    // and later), in the usual 8-4-4-4-12 form; empty when it gives none.
    static QString UuidFromFileSystem(const QString& mountPoint);

    // udev writes a label into a link name with bytes outside its safe set as
    // \xNN (a blank becomes \x20); the bytes are UTF-8.
    static QString UnescapeUdev(const QString& linkName);

  private:
    QString m_linkFolder;
};
