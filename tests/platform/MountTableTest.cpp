#include "platform/MountTable.h"

#include <QDir>
#include <QFile>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
// A mountinfo line for a mount point (already escaped as the kernel writes it).
QString line(int id, const QString& root, const QString& mountPoint, const QString& fsType,
             const QString& source, const QString& optional = QStringLiteral("shared:1"))
{
    return QStringLiteral("%1 1 8:1 %2 %3 rw,relatime %4 - %5 %6 rw\n")
        .arg(QString::number(id), root, mountPoint, optional, fsType, source);
}

const QString kTable =
    line(20, "/", "/", "ext4", "/dev/vda1") + line(21, "/", "/mnt/a", "ext4", "/dev/sdb1") +
    line(22, "/", "/mnt/a/inner", "vfat", "/dev/sdc1") +
    line(23, "/", "/media/user/My\\040Stick", "vfat", "/dev/sdd1", "") +
    line(24, "/photos", "/srv/bound", "ext4", "/dev/sdb1") +
    line(25, "/", "/mnt/stacked", "ext4", "/dev/sde1") + line(26, "/", "/mnt/stacked", "xfs", "/dev/sdf1") +
    QStringLiteral("not a mount line\n");
} // namespace

struct UnescapeRow
{
    const char* field;
    const char* expected;
    friend void PrintTo(const UnescapeRow& row, std::ostream* os) { *os << '"' << row.field << '"'; }
};

class MountTableUnescape : public ::testing::TestWithParam<UnescapeRow>
{
};

TEST_P(MountTableUnescape, UndoesTheKernelsOctalEscapes)
{
    EXPECT_EQ(MountTable::Unescape(QString::fromUtf8(GetParam().field)),
              QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Rows, MountTableUnescape,
                         ::testing::Values(UnescapeRow{"/mnt/plain", "/mnt/plain"},
                                           UnescapeRow{"/mnt/My\\040Disk", "/mnt/My Disk"},
                                           UnescapeRow{"/a\\011b\\012c", "/a\tb\nc"},
                                           UnescapeRow{"/back\\134slash", "/back\\slash"},
                                           UnescapeRow{"/end\\040", "/end "},
                                           // escaped bytes of one UTF-8 letter join up again
                                           UnescapeRow{"/caf\\303\\251", "/caf\xc3\xa9"},
                                           UnescapeRow{"/not\\9escape", "/not\\9escape"},
                                           UnescapeRow{"/short\\04", "/short\\04"}));

TEST(MountTableParse, ReadsFieldsAroundOptionalFields)
{
    const auto entry = MountTable::ParseLine(
        QStringLiteral("36 35 98:0 /mnt1 /mnt/My\\040Disk rw,noatime master:1 shared:7 - ext3 /dev/root rw"));
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->Root, "/mnt1");
    EXPECT_EQ(entry->MountPoint, "/mnt/My Disk");
    EXPECT_EQ(entry->FsType, "ext3");
    EXPECT_EQ(entry->Source, "/dev/root");

    EXPECT_FALSE(MountTable::ParseLine("36 35 98:0 / /mnt rw").has_value());
    EXPECT_FALSE(MountTable::ParseLine("garbage").has_value());
    EXPECT_EQ(MountTable::FromText(kTable).Entries().size(), 7u);
}

struct MountOfRow
{
    const char* path;
    const char* mountPoint;
    const char* fsType;
    friend void PrintTo(const MountOfRow& row, std::ostream* os) { *os << '"' << row.path << '"'; }
};

class MountTableMountOf : public ::testing::TestWithParam<MountOfRow>
{
};

TEST_P(MountTableMountOf, LongestWholeComponentPrefixWins)
{
    const auto mount = MountTable::FromText(kTable).MountOf(QString::fromUtf8(GetParam().path));
    ASSERT_TRUE(mount.has_value());
    EXPECT_EQ(mount->MountPoint, QString::fromUtf8(GetParam().mountPoint));
    EXPECT_EQ(mount->FsType, QString::fromUtf8(GetParam().fsType));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MountTableMountOf,
    ::testing::Values(MountOfRow{"/home/user/a.txt", "/", "ext4"}, MountOfRow{"/", "/", "ext4"},
                      MountOfRow{"/mnt/a", "/mnt/a", "ext4"}, MountOfRow{"/mnt/a/", "/mnt/a", "ext4"},
                      MountOfRow{"/mnt/a/x/y", "/mnt/a", "ext4"},
                      // nested mount inside another
                      MountOfRow{"/mnt/a/inner/f", "/mnt/a/inner", "vfat"},
                      MountOfRow{"/mnt/a/innerer", "/mnt/a", "ext4"},
                      // text prefix is not enough
                      MountOfRow{"/mnt/a2/f", "/", "ext4"},
                      MountOfRow{"/media/user/My Stick/doc", "/media/user/My Stick", "vfat"},
                      MountOfRow{"/mnt/a/inner/../x", "/mnt/a", "ext4"},
                      // the later of two mounts on one point hides the earlier
                      MountOfRow{"/mnt/stacked/f", "/mnt/stacked", "xfs"}));

TEST(MountTableMountOf, BindMountKeepsItsRootAndEmptyTableHasNoMount)
{
    const auto bound = MountTable::FromText(kTable).MountOf("/srv/bound/2024/p.jpg");
    ASSERT_TRUE(bound.has_value());
    EXPECT_EQ(bound->Root, "/photos");
    EXPECT_EQ(bound->Source, "/dev/sdb1");

    EXPECT_FALSE(MountTable().MountOf("/anything").has_value());
    EXPECT_FALSE(MountTable::FromText(kTable).MountOf("").has_value());
}

namespace {
const QString kNetworkTable = line(1, "/", "/", "ext4", "/dev/vda1") +
                              line(2, "/", "/mnt/nas", "cifs", "//fileserver/Public") +
                              line(3, "/Sub/Dir", "/srv/bound", "cifs", "//fileserver/Public") +
                              line(4, "/", "/mnt/nfs", "nfs4", "storage:/export/home") +
                              line(5, "/", "/mnt/nfsroot", "nfs4", "storage:/") +
                              line(6, "/", "/mnt/sshhome", "fuse.sshfs", "ann@laptop:") +
                              line(7, "/", "/mnt/local", "ext4", "//looks/like/unc");
}

struct NetworkMountRow
{
    const char* path;
    const char* mountPoint; // empty: no mount holds it
    friend void PrintTo(const NetworkMountRow& row, std::ostream* os) { *os << '"' << row.path << '"'; }
};

class MountTableNetworkMountOf : public ::testing::TestWithParam<NetworkMountRow>
{
};

TEST_P(MountTableNetworkMountOf, FindsTheNetworkMountHoldingANetworkPath)
{
    const auto mount = MountTable::FromText(kNetworkTable).MountOf(QString::fromUtf8(GetParam().path));
    EXPECT_EQ(mount ? mount->MountPoint : QString(), QString::fromUtf8(GetParam().mountPoint));
}

INSTANTIATE_TEST_SUITE_P(Rows, MountTableNetworkMountOf,
                         ::testing::Values(NetworkMountRow{"//fileserver/Public/Docs/a.txt", "/mnt/nas"},
                                           NetworkMountRow{"//fileserver/Public", "/mnt/nas"},
                                           NetworkMountRow{"//fileserver/Public/", "/mnt/nas"},
                                           // host names ignore case, the rest does not
                                           NetworkMountRow{"//FileServer/Public/x", "/mnt/nas"},
                                           NetworkMountRow{"//fileserver/public/x", ""},
                                           NetworkMountRow{"//fileserver/Public2/x", ""},
                                           // the bind mount shows a deeper folder of the same share
                                           NetworkMountRow{"//fileserver/Public/Sub/Dir/f", "/srv/bound"},
                                           NetworkMountRow{"//fileserver/Public/Sub/Dirt", "/mnt/nas"},
                                           NetworkMountRow{"//storage/export/home/ann", "/mnt/nfs"},
                                           NetworkMountRow{"//storage/etc/x", "/mnt/nfsroot"},
                                           NetworkMountRow{"//laptop/~ann/notes", "/mnt/sshhome"},
                                           // only network file systems have a network form
                                           NetworkMountRow{"//looks/like/unc", ""},
                                           NetworkMountRow{"//unknown/x", ""}));

TEST(MountTableNetworkRoot, BuildsTheNetworkFormFromTheSource)
{
    const auto root = [](const char* fsType, const char* source, const char* mountRoot = "/") {
        return MountTable::NetworkRoot(MountEntry{"/mnt/x", mountRoot, fsType, source}).value_or("<none>");
    };
    EXPECT_EQ(root("cifs", "//server/share/"), "//server/share");
    EXPECT_EQ(root("cifs", "\\\\server\\share"), "//server/share");
    EXPECT_EQ(root("nfs", "server:/export/"), "//server/export");
    EXPECT_EQ(root("nfs", "[fe80::1]:/vol"), "//[fe80::1]/vol");
    EXPECT_EQ(root("fuse.sshfs", "ann@host:"), "//host/~ann");
    EXPECT_EQ(root("fuse.sshfs", "host:work/x"), "//host/~/work/x");
    EXPECT_EQ(root("fuse.sshfs", "ann@host:/srv"), "//host/srv");
    EXPECT_EQ(root("davfs", "https://dav.example.org:8443/files/"), "//dav.example.org/files");
    // a cifs prefix path already in the source is not appended twice
    EXPECT_EQ(root("cifs", "//server/share/sub", "/sub"), "//server/share/sub");
    EXPECT_EQ(root("cifs", "//server/share", "/sub"), "//server/share/sub");
    // relative folders are sshfs's alone; other shapes have no network form
    EXPECT_EQ(root("nfs", "server:relative"), "<none>");
    EXPECT_EQ(root("ceph", "10.0.0.1:6789,10.0.0.2:6789:/"), "<none>");
    EXPECT_EQ(root("9p", "hostshare"), "<none>");
    EXPECT_EQ(root("cifs", "//"), "<none>");
}

TEST(MountTableFind, FindsOnlyExactMountPoints)
{
    const MountTable table = MountTable::FromText(kTable);
    EXPECT_TRUE(table.Find("/mnt/a").has_value());
    EXPECT_TRUE(table.Find("/mnt/a/").has_value());
    EXPECT_FALSE(table.Find("/mnt/a/x").has_value());
    EXPECT_FALSE(table.Find("/mnt/gone").has_value());
    EXPECT_EQ(table.Find("/mnt/stacked")->FsType, "xfs");
}

TEST(MountTableDriveName, IsTheLastComponentOrRoot)
{
    EXPECT_EQ(MountTable::DriveName("/"), "root");
    EXPECT_EQ(MountTable::DriveName("/media/user/My Stick"), "My Stick");
    EXPECT_EQ(MountTable::DriveName("/mnt/a/"), "a");
}

TEST(MountTableLoad, ReadsAFileAndSaysWhyItCannot)
{
    QTemporaryDir dir;
    QFile file(dir.filePath("mountinfo"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(kTable.toUtf8());
    file.close();

    const MountTableLoad good = MountTable::Load(file.fileName());
    ASSERT_TRUE(good.Table.has_value());
    EXPECT_TRUE(good.Error.isEmpty());
    EXPECT_EQ(good.Table->Entries().size(), 7u);

    const MountTableLoad bad = MountTable::Load(dir.filePath("missing"));
    EXPECT_FALSE(bad.Table.has_value());
    EXPECT_TRUE(bad.Error.contains("missing")) << bad.Error.toStdString();
}

TEST(MountTableLoad, AgreesWithQStorageInfoOnThisMachine)
{
    const MountTableLoad real = MountTable::Load();
    ASSERT_TRUE(real.Table.has_value()) << real.Error.toStdString();
    for (const QString& path : {QDir::tempPath(), QDir::homePath(), QStringLiteral("/")}) {
        const QString canonical = QDir(path).canonicalPath();
        const auto mount = real.Table->MountOf(canonical);
        ASSERT_TRUE(mount.has_value()) << canonical.toStdString();
        const QStorageInfo info(canonical);
        EXPECT_EQ(mount->MountPoint, info.rootPath()) << canonical.toStdString();
        EXPECT_EQ(mount->FsType.toUtf8(), info.fileSystemType()) << canonical.toStdString();
    }
}
