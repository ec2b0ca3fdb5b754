// BackupFile against the product's copier and mount table on real folders, and,
// as root, on a small loop-mounted ext4 that really fills up and really goes away.

#include "engine/FileBackup.h"

#include "platform/FileNames.h"
#include "platform/LinuxDrives.h"
#include "platform/LinuxFileCopier.h"
#include "platform/LocalFiles.h"
#include "platform/VolumeLabels.h"
#include "support/EngineFakes.h"
#include "support/LoopDrive.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <iostream>
#include <unistd.h>

namespace {
using Texts = std::vector<QString>;

// The fake rig, with the product's mount table and copier in place of the fakes.
struct RealWorld
{
    TestEnvironment Env;
    QTemporaryDir Tmp;
    EngineRig Rig;
    LinuxDrives DriveInfo;
    LinuxFileCopier Copier;
    EngineContext Context{Rig.State, Rig.Opts,     Rig.Recent, Rig.Notifiers, DriveInfo,
                          Copier,    Rig.Notifier, Rig.Wait,   Rig.Pump,      Rig.Hooks};
    FileBackup Backup{Context};
    QString SourcePath = Tmp.path() + "/src/Work";
    QString FilePath = SourcePath + "/f.txt";

    RealWorld() { WriteFile(FilePath, "one"); }
    QString LabelOf(const QString& path) const
    {
        return DriveInfo.Label(DriveInfo.MountOf(path)->MountPoint);
    }
    void Add(const QString& destination, bool keepBackup)
    {
        clsBackup& b = Rig.AddAssociation(SourcePath, true, false);
        b.KeepBackup = keepBackup;
        b.Versions = 3;
        b.Volume = LabelOf(SourcePath) + QString(2, QChar(0));
        Rig.State.Destinations.Add(destination, SourcePath, LabelOf(destination));
    }
    Texts Run()
    {
        Backup.BackupFile(SourcePath, 1, FilePath);
        return Rig.LogMessages();
    }
};

TEST(FileBackupReal, ReadOnlyCopyIsReplacedOnlyWithVersions)
{
    for (bool versions : {true, false}) {
        RealWorld w;
        const QString copy = w.Tmp.path() + "/dst/Work/f.txt";
        WriteFile(copy, "old");
        MakeReadOnly(copy);
        w.Add(w.Tmp.path() + "/dst", versions);
        w.Rig.Opts.BusyTimeout = 2;
        if (versions) {
            EXPECT_EQ(w.Run(), Texts{"Success: Copy saved & Previous version stored"});
            EXPECT_EQ(ReadFile(copy), "one");
            EXPECT_TRUE(IsReadOnly(w.Tmp.path() + "/dst/Work/~PrevSave-1/f.txt"));
        } else {
            EXPECT_EQ(w.Run(),
                      (Texts{"Delay: Permission required...", "Error: File was busy and timed out"}));
            EXPECT_EQ(ReadFile(copy), "old");
            EXPECT_EQ(w.Rig.Wait.Now, 2000);
        }
    }
}

TEST(FileBackupReal, TemporariesOfEarlierRunsAreRemovedBeforeCopying)
{
    RealWorld w;
    const QString work = w.Tmp.path() + "/dst/Work";
    for (const char* name : {".savenook-1f2e.tmp", ".savenook-notes.txt", "other.tmp"})
        WriteFile(work + "/" + name, "left over");
    w.Add(w.Tmp.path() + "/dst", false);
    EXPECT_EQ(w.Run(), Texts{"Success: Copy saved"});
    EXPECT_EQ(Entries(work), QStringList({".savenook-notes.txt", "f.txt", "other.tmp"}));
}

TEST(FileBackupLoopMount, FullDiskIsReportedAndLeavesNoPartialCopy)
{
    RealWorld w;
    LoopDrive drive(w.Tmp.path());
    REQUIRE_LOOP_DRIVE(drive);
    WriteFile(w.FilePath, QByteArray(8 << 20, 'x'));
    w.Add(drive.MountPoint, false);
    EXPECT_EQ(w.LabelOf(drive.MountPoint), QStringLiteral("BACKUP1"));
    EXPECT_EQ(w.Run(), Texts{"Error: Disk is full"});
    EXPECT_TRUE(Entries(drive.MountPoint + "/Work").isEmpty());
}

// A name the destination's file system cannot hold, for a file and for a
// sub-folder, is reported as such; other names still get through.
TEST(FileBackupLoopMount, NameTheDestinationCannotHoldIsReportedAsSuch)
{
    RealWorld w;
    LoopDrive drive(w.Tmp.path(), LoopDrive::Ntfs);
    REQUIRE_LOOP_DRIVE(drive);
    w.Add(drive.MountPoint, false);
    const QByteArray source = QFile::encodeName(w.SourcePath);
    ASSERT_EQ(::mkdir(source + "/d\xff", 0755), 0);
    for (const QByteArray& name : {QByteArray("caf\xe9.txt"), QByteArray("d\xff/x.txt")}) {
        WriteRawFile(source + '/' + name, "one");
        w.FilePath = FileNames::Decode(source + '/' + name);
        w.Run();
    }
    w.FilePath = w.SourcePath + "/f.txt";
    const QString refused = QStringLiteral("Error: Name not allowed at destination");
    EXPECT_EQ(w.Run(), (Texts{refused, refused, "Success: Copy saved"}));
    EXPECT_EQ(w.Rig.Recent.Item(1)->SourcePath, FileNames::Decode(source + "/caf\xe9.txt"));
    EXPECT_EQ(Entries(drive.MountPoint + "/Work"), QStringList{"f.txt"});
    LocalFiles::RemoveTree(w.SourcePath); // Qt cannot remove what it cannot list
}

TEST(FileBackupLoopMount, UnmountedDriveIsGoneAndNothingIsCreatedInItsPlace)
{
    RealWorld w;
    LoopDrive drive(w.Tmp.path());
    REQUIRE_LOOP_DRIVE(drive);
    const QString destination = drive.MountPoint + "/Backup";
    QDir().mkpath(destination);
    w.Add(destination, true);
    w.Run();
    EXPECT_EQ(ReadFile(destination + "/Work/f.txt"), "one");
    ASSERT_TRUE(drive.Unmount());
    WriteFile(w.FilePath, "two!");
    EXPECT_EQ(w.Run(), (Texts{"Success: Copy saved", "Error: Destination drive no longer exists"}));
    EXPECT_TRUE(Entries(drive.MountPoint).isEmpty());
}
// The destination is the mount point itself, whose empty folder stays behind.
TEST(FileBackupLoopMount, MountPointDestinationIsTiedToItsDrive)
{
    RealWorld w;
    LoopDrive drive(w.Tmp.path());
    REQUIRE_LOOP_DRIVE(drive);
    const QString gone = QStringLiteral("Error: Destination drive no longer exists");
    const bool uuids = !VolumeLabels::UuidFromFileSystem(drive.MountPoint).isEmpty();
    w.Add(drive.MountPoint, false);
    EXPECT_EQ(w.Run().back(), "Success: Copy saved");
    ASSERT_TRUE(drive.Unmount());
    WriteFile(w.FilePath, "two!");
    EXPECT_EQ(w.Run().back(), gone);
    EXPECT_TRUE(Entries(drive.MountPoint).isEmpty());

    // Another drive with the same label in its place: told apart by its UUID.
    if (uuids) {
        LoopDrive other(w.Tmp.path() + "/other", LoopDrive::Ext4, drive.MountPoint);
        ASSERT_TRUE(other.Mounted) << other.Error.toStdString();
        EXPECT_EQ(w.Run().back(), gone);
        EXPECT_FALSE(QFileInfo::exists(drive.MountPoint + "/Work"));
    } else {
        std::cout << "[ note ] this kernel gives no file-system UUID; a second drive is not tried\n";
    }

    ASSERT_TRUE(drive.Mount());
    EXPECT_EQ(w.Run().back(), "Success: Copy saved");
    EXPECT_EQ(ReadFile(drive.MountPoint + "/Work/f.txt"), "two!");
}
} // namespace
