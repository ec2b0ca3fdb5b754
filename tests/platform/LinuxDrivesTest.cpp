#include "platform/LinuxDrives.h"

#include "support/LoopDrive.h"
#include "support/TestFiles.h"

#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

// A machine of files: a mount table that may change between calls, label links, readable mount points.
class LinuxDrivesFake : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir(m_dir.path()).mkpath("dev/disk/by-label"));
        for (const char* device : {"sdb1", "sdd1"})
            WriteFile(m_dir.filePath("dev/") + device, "");
        ASSERT_TRUE(QFile::link("../../sdb1", m_dir.filePath("dev/disk/by-label/My\\x20Backup")));
        setTable(true);
    }
    void setTable(bool withStick)
    {
        QString text = QStringLiteral("1 0 8:1 / / rw - ext4 %1sdd1 rw\n"
                                      "2 1 8:2 / /mnt/backup rw - ext4 %1sdb1 rw\n"
                                      "3 1 8:3 / /mnt/locked rw - ext4 /dev/sdx9 rw\n")
                           .arg(m_dir.filePath("dev/"));
        if (withStick)
            text += "4 1 8:4 / /media/My\\040Stick rw - vfat /dev/sdy1 rw\n";
        WriteFile(m_dir.filePath("mountinfo"), text.toUtf8());
    }
    LinuxDrives drives()
    {
        LinuxDrives::Sources s;
        s.MountInfoFile = m_dir.filePath("mountinfo");
        s.LabelLinkFolder = m_dir.filePath("dev/disk/by-label");
        s.Readable = [](const QString& mountPoint) { return mountPoint != "/mnt/locked"; };
        s.FileSystemLabel = [this](const QString& mountPoint) {
            m_askedFileSystem.insert(mountPoint);
            return mountPoint == "/media/My Stick" ? VolumeLabels::FsLabel{"STICK", 0}
                                                   : VolumeLabels::FsLabel{QString(), ENOTTY};
        };
        return LinuxDrives(s);
    }

    QTemporaryDir m_dir;
    QSet<QString> m_askedFileSystem;
};

TEST_F(LinuxDrivesFake, LabelComesFromLinksFirstThenTheFileSystemElseEmpty)
{
    const LinuxDrives d = drives();
    for (const auto& [mountPoint, label] : {std::pair{"/mnt/backup", "My Backup"},
                                            {"/media/My Stick", "STICK"},
                                            {"/", ""},         // no link, file system has none
                                            {"/mnt/gone", ""}, // not mounted
                                            {"/mnt/backup/sub", ""}})
        EXPECT_EQ(d.Label(QString::fromUtf8(mountPoint)), QString::fromUtf8(label)) << mountPoint;
    EXPECT_FALSE(m_askedFileSystem.contains("/mnt/backup"));
}

TEST_F(LinuxDrivesFake, ReadyMeansMountedAndReadableNow)
{
    const LinuxDrives d = drives();
    EXPECT_TRUE(d.IsReady("/mnt/backup"));
    EXPECT_FALSE(d.IsReady("/mnt/locked"));
    EXPECT_FALSE(d.IsReady("/mnt/backup/sub")) << "a folder that is not a mount point is no drive";
    ASSERT_EQ(d.MountOf("/media/My Stick/doc.txt")->MountPoint, "/media/My Stick");
    ASSERT_TRUE(d.IsReady("/media/My Stick"));

    setTable(false); // the stick is pulled out
    EXPECT_EQ(d.MountOf("/media/My Stick/doc.txt")->MountPoint, "/");
    EXPECT_FALSE(d.IsReady("/media/My Stick"));
    EXPECT_EQ(d.Label("/media/My Stick"), "");

    QFile::remove(m_dir.filePath("mountinfo")); // an unreadable table: no drives, and why
    EXPECT_FALSE(d.MountOf("/mnt/backup").has_value());
    EXPECT_FALSE(d.IsReady("/"));
    EXPECT_FALSE(d.LastError().isEmpty());
}

TEST(LinuxDrivesReal, AccessReadableDeniesAnUnprivilegedUser)
{
    QTemporaryDir dir;
    const QString locked = dir.filePath("locked");
    ASSERT_TRUE(QDir().mkdir(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                      QFile::ReadOther | QFile::ExeOther));
    EXPECT_TRUE(LinuxDrives::AccessReadable(locked));
    EXPECT_FALSE(LinuxDrives::AccessReadable(dir.filePath("missing")));
    if (::geteuid() != 0)
        return;
    // Root may read anything, so ask from a child that has given root up.
    const auto asNobody = [](const QString& path) {
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
                ::setresuid(65534, 65534, 65534) != 0)
                ::_exit(2);
            ::_exit(LinuxDrives::AccessReadable(path) ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
    };
    EXPECT_EQ(asNobody(locked), 1);
    EXPECT_EQ(asNobody(dir.path()), 0);
}

// A real labelled file system, mounted at a path with a blank (which the kernel escapes in its table).
TEST(LinuxDrivesLoopMount, ReadsTheRealTableAndLabel)
{
    QTemporaryDir dir;
    LoopDrive drive(dir.path(), LoopDrive::Ext4, dir.filePath("mnt point"));
    REQUIRE_LOOP_DRIVE(drive);
    const LinuxDrives d; // the real table, no udev links needed
    const QString canonical = QDir(drive.MountPoint).canonicalPath();
    const auto entry = d.MountOf(drive.MountPoint + "/some/file.txt");
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->MountPoint, canonical);
    EXPECT_TRUE(d.IsReady(canonical));
    EXPECT_EQ(d.Label(canonical), "BACKUP1");
}
