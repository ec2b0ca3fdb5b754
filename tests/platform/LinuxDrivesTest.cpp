#include "platform/LinuxDrives.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
void writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}
} // namespace

// A machine described by files: a mount table, label links and which mount
// points can be read. The table can change between calls, as a real one does.
class LinuxDrivesFake : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir(m_dir.path()).mkpath("dev/disk/by-label"));
        for (const char* device : {"sdb1", "sdc1", "sdd1"})
            writeFile(m_dir.filePath("dev/") + device, "");
        ASSERT_TRUE(QFile::link("../../sdb1", m_dir.filePath("dev/disk/by-label/My\\x20Backup")));
        ASSERT_TRUE(QFile::link("../../sdc1", m_dir.filePath("dev/disk/by-label/\\xc3\\x9cbung")));
        setTable(table(true));
    }
    QString table(bool withStick) const
    {
        const QString dev = m_dir.filePath("dev/");
        QString text = QStringLiteral("1 0 8:1 / / rw - ext4 %1sdd1 rw\n"
                                      "2 1 8:2 / /mnt/backup rw - ext4 %1sdb1 rw\n"
                                      "3 1 8:3 / /mnt/photos rw - vfat %1sdc1 rw\n"
                                      "4 1 8:4 / /mnt/locked rw - ext4 /dev/sdx9 rw\n")
                           .arg(dev);
        if (withStick)
            text += "5 1 8:5 / /media/My\\040Stick rw - vfat /dev/sdy1 rw\n";
        return text;
    }
    void setTable(const QString& text) { writeFile(m_dir.filePath("mountinfo"), text.toUtf8()); }

    LinuxDrives drives()
    {
        LinuxDrives::Sources s;
        s.MountInfoFile = m_dir.filePath("mountinfo");
        s.LabelLinkFolder = m_dir.filePath("dev/disk/by-label");
        s.Readable = [this](const QString& mountPoint) { return !m_unreadable.contains(mountPoint); };
        s.FileSystemLabel = [this](const QString& mountPoint) {
            m_askedFileSystem.insert(mountPoint);
            if (mountPoint == "/media/My Stick")
                return VolumeLabels::FsLabel{"STICK", 0};
            return VolumeLabels::FsLabel{QString(), ENOTTY};
        };
        return LinuxDrives(s);
    }

    QTemporaryDir m_dir;
    QSet<QString> m_unreadable{QStringLiteral("/mnt/locked")};
    QSet<QString> m_askedFileSystem;
};

struct LabelRow
{
    const char* mountPoint;
    const char* label;
    friend void PrintTo(const LabelRow& row, std::ostream* os) { *os << '"' << row.mountPoint << '"'; }
};

class LinuxDrivesLabel : public LinuxDrivesFake, public ::testing::WithParamInterface<LabelRow>
{
};

TEST_P(LinuxDrivesLabel, LinksFirstThenTheFileSystemElseEmpty)
{
    EXPECT_EQ(drives().Label(QString::fromUtf8(GetParam().mountPoint)), QString::fromUtf8(GetParam().label));
}

INSTANTIATE_TEST_SUITE_P(Rows, LinuxDrivesLabel,
                         ::testing::Values(LabelRow{"/mnt/backup", "My Backup"},
                                           LabelRow{"/mnt/photos", "\xc3\x9c"
                                                                   "bung"},
                                           LabelRow{"/media/My Stick", "STICK"},
                                           LabelRow{"/", ""},         // no link, file system has none
                                           LabelRow{"/mnt/gone", ""}, // not mounted
                                           LabelRow{"/mnt/backup/sub", ""}));

TEST_F(LinuxDrivesFake, LinksAreAskedBeforeTheFileSystem)
{
    EXPECT_EQ(drives().Label("/mnt/backup"), "My Backup");
    EXPECT_FALSE(m_askedFileSystem.contains("/mnt/backup"));
}

TEST_F(LinuxDrivesFake, ReadyMeansMountedAndReadable)
{
    const LinuxDrives d = drives();
    EXPECT_TRUE(d.IsReady("/mnt/backup"));
    EXPECT_TRUE(d.IsReady("/media/My Stick"));
    EXPECT_FALSE(d.IsReady("/mnt/locked"));
    // a folder that is not a mount point is no drive
    EXPECT_FALSE(d.IsReady("/mnt/backup/sub"));
}

TEST_F(LinuxDrivesFake, AVanishedMountIsNoLongerADrive)
{
    const LinuxDrives d = drives();
    ASSERT_EQ(d.MountOf("/media/My Stick/doc.txt")->MountPoint, "/media/My Stick");
    ASSERT_TRUE(d.IsReady("/media/My Stick"));

    setTable(table(false)); // the stick is pulled out

    EXPECT_EQ(d.MountOf("/media/My Stick/doc.txt")->MountPoint, "/");
    EXPECT_FALSE(d.IsReady("/media/My Stick"));
    EXPECT_EQ(d.Label("/media/My Stick"), "");
}

TEST_F(LinuxDrivesFake, UnreadableTableMeansNoDrivesAndSaysWhy)
{
    QFile::remove(m_dir.filePath("mountinfo"));
    const LinuxDrives d = drives();
    EXPECT_FALSE(d.MountOf("/mnt/backup").has_value());
    EXPECT_FALSE(d.IsReady("/"));
    EXPECT_FALSE(d.LastError().isEmpty());
}

TEST(LinuxDrivesReal, AccessReadableDeniesAnUnprivilegedUser)
{
    QTemporaryDir dir;
    const QString locked = dir.filePath("locked");
    ASSERT_TRUE(QDir().mkdir(locked));
    ASSERT_TRUE(QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                      QFile::ReadOther | QFile::ExeOther));
    if (::geteuid() != 0) {
        EXPECT_TRUE(LinuxDrives::AccessReadable(locked));
        EXPECT_FALSE(LinuxDrives::AccessReadable(dir.filePath("missing")));
        return;
    }
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
    EXPECT_TRUE(LinuxDrives::AccessReadable(locked));
    EXPECT_EQ(asNobody(locked), 1);
    EXPECT_EQ(asNobody(dir.path()), 0);
}

// A real labelled file system on a loop device; needs root.
class LinuxDrivesLoopMount : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "loop mounts need root; run the tests as root to read a real label";
        m_image = m_dir.filePath("img");
        m_mountPoint = m_dir.filePath("mnt point");
        ASSERT_TRUE(QDir().mkpath(m_mountPoint));
        ASSERT_EQ(QProcess::execute("truncate", {"-s", "20M", m_image}), 0);
        ASSERT_EQ(QProcess::execute("mkfs.ext4", {"-q", "-L", "My Backup", m_image}), 0);
        if (QProcess::execute("mount", {"-o", "loop", m_image, m_mountPoint}) != 0)
            GTEST_SKIP() << "this machine refuses loop mounts even to root";
        m_mounted = true;
    }
    void TearDown() override
    {
        if (m_mounted)
            QProcess::execute("umount", {m_mountPoint});
    }
    bool setMounted(bool mounted)
    {
        const int rc = mounted ? QProcess::execute("mount", {"-o", "loop", m_image, m_mountPoint})
                               : QProcess::execute("umount", {m_mountPoint});
        if (rc == 0)
            m_mounted = mounted;
        return rc == 0;
    }

    QTemporaryDir m_dir;
    QString m_image, m_mountPoint;
    bool m_mounted = false;
};

TEST_F(LinuxDrivesLoopMount, ReadsTheRealMountAndLabel)
{
    const LinuxDrives d; // the real table, no udev links needed
    const auto mount = d.MountOf(m_mountPoint + "/some/file.txt");
    ASSERT_TRUE(mount.has_value());
    EXPECT_EQ(mount->MountPoint,
              QDir(m_mountPoint).canonicalPath()); // a blank in the path, escaped by the kernel
    EXPECT_EQ(mount->FsType, "ext4");
    EXPECT_TRUE(d.IsReady(mount->MountPoint));
    EXPECT_EQ(d.Label(mount->MountPoint), "My Backup");
    EXPECT_EQ(VolumeLabels::FromFileSystem(mount->MountPoint).Label, "My Backup");
}

TEST_F(LinuxDrivesLoopMount, SeesMountsComeAndGoWhileItKeepsTheTable)
{
    const LinuxDrives d;
    const QString mountPoint = QDir(m_mountPoint).canonicalPath();
    EXPECT_EQ(d.MountOf(mountPoint)->MountPoint, mountPoint);
    EXPECT_EQ(d.MountOf(mountPoint)->MountPoint, mountPoint); // kept copy

    ASSERT_TRUE(setMounted(false));
    EXPECT_NE(d.MountOf(mountPoint)->MountPoint, mountPoint);
    EXPECT_FALSE(d.IsReady(mountPoint));
    EXPECT_EQ(d.Label(mountPoint), "");

    ASSERT_TRUE(setMounted(true));
    EXPECT_EQ(d.MountOf(mountPoint)->MountPoint, mountPoint);
    EXPECT_EQ(d.Label(mountPoint), "My Backup");
}
