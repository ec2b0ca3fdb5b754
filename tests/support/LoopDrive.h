#pragma once

// A small ext4 or NTFS (UTF-16 names) file system labelled BACKUP1, loop-mounted (at folder/mnt unless
// told otherwise) for the object's lifetime. Needs root; REQUIRE_LOOP_DRIVE skips the test otherwise.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <gtest/gtest.h>

#include <unistd.h>

struct LoopDrive
{
    QString Image, MountPoint, Error;
    bool Mounted = false;
    enum Kind { Ext4, Ntfs };
    Kind DriveKind;

    explicit LoopDrive(const QString& folder, Kind kind = Ext4, const QString& mountPoint = {})
        : Image(folder + "/disk.img"), MountPoint(mountPoint.isEmpty() ? folder + "/mnt" : mountPoint),
          DriveKind(kind)
    {
        QFile image(Image);
        if (geteuid() == 0 && QDir().mkpath(folder) && QDir().mkpath(MountPoint) &&
            image.open(QIODevice::WriteOnly) && image.resize(4 << 20))
            Mounted = (kind == Ext4 ? run("mkfs.ext4", {"-q", "-F", "-L", "BACKUP1", Image})
                                    : run("mkntfs", {"-q", "-F", "-f", "-L", "BACKUP1", Image})) &&
                      Mount();
    }
    // A busy mount is detached lazily, which frees its loop device once the last user lets go.
    ~LoopDrive()
    {
        if (!Unmount())
            run("umount", {"-l", MountPoint});
    }
    LoopDrive(const LoopDrive&) = delete;
    LoopDrive& operator=(const LoopDrive&) = delete;

    bool Mount()
    {
        Mounted = Mounted || (DriveKind == Ext4 ? run("mount", {"-o", "loop", Image, MountPoint})
                                                : run("ntfs-3g", {Image, MountPoint}));
        return Mounted;
    }
    bool Unmount()
    {
        if (Mounted && run("umount", {MountPoint}))
            Mounted = false;
        return !Mounted;
    }
    bool run(const QString& program, const QStringList& arguments)
    {
        QProcess p;
        p.start(program, arguments);
        if (p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            return true;
        Error = program + ": " + QString::fromLocal8Bit(p.readAllStandardError()) + p.errorString();
        return false;
    }
};

#define REQUIRE_LOOP_DRIVE(drive)                                                                            \
    if (geteuid() != 0)                                                                                      \
        GTEST_SKIP() << "needs root to loop-mount a small file system";                                      \
    if (!(drive).Mounted)                                                                                    \
        GTEST_SKIP() << "cannot loop-mount here: " << (drive).Error.toStdString();
