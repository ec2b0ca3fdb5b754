#include "platform/MountTable.h"
#include "platform/FileNames.h"

#include <gtest/gtest.h>

namespace {
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
    line(24, "/photos", "/srv/bound", "ext4", "/dev/sdb1", "master:1 shared:7") +
    line(25, "/", "/mnt/stacked", "ext4", "/dev/sde1") + line(26, "/", "/mnt/stacked", "xfs", "/dev/sdf1") +
    QStringLiteral("36 35 98:0 / /mnt/cut rw\n"); // no separator, no entry
} // namespace

TEST(MountTable, UnescapeUndoesTheKernelsOctalEscapes)
{
    for (const auto& [field, expected] : {std::pair{"/back\\134slash", "/back\\slash"},
                                          // escaped bytes of one UTF-8 letter join up again
                                          {"/caf\\303\\251", "/caf\xc3\xa9"},
                                          // bytes that are not UTF-8 stay what they are
                                          {"/caf\\351", "/caf\xe9"},
                                          {"/raw\xe9\\040x", "/raw\xe9 x"},
                                          {"/not\\9escape", "/not\\9escape"},
                                          {"/short\\04", "/short\\04"}})
        EXPECT_EQ(MountTable::Unescape(FileNames::Decode(field)), FileNames::Decode(expected)) << field;
}

TEST(MountTable, MountOfTakesTheLongestWholeComponentPrefixFindTakesExactPoints)
{
    const MountTable table = MountTable::FromText(kTable);
    EXPECT_EQ(table.Entries().size(), 7u);
    for (const auto& [path, mountPoint, fsType] :
         {std::tuple{"/home/user/a.txt", "/", "ext4"},
          {"/", "/", "ext4"},
          {"/mnt/a/", "/mnt/a", "ext4"},
          {"/mnt/a/inner/f", "/mnt/a/inner", "vfat"},
          {"/mnt/a/innerer", "/mnt/a", "ext4"},
          {"/mnt/a2/f", "/", "ext4"}, // text prefix is not enough
          {"/media/user/My Stick/doc", "/media/user/My Stick", "vfat"},
          {"/mnt/a/inner/../x", "/mnt/a", "ext4"},
          // the later of two mounts on one point hides the earlier
          {"/mnt/stacked/f", "/mnt/stacked", "xfs"}}) {
        const auto mount = table.MountOf(QString::fromUtf8(path));
        ASSERT_TRUE(mount.has_value()) << path;
        EXPECT_EQ(mount->MountPoint, QString::fromUtf8(mountPoint)) << path;
        EXPECT_EQ(mount->FsType, QString::fromUtf8(fsType)) << path;
    }
    const auto bound = table.MountOf("/srv/bound/2024/p.jpg");
    ASSERT_TRUE(bound.has_value());
    EXPECT_EQ(bound->Root, "/photos");
    EXPECT_EQ(bound->Source, "/dev/sdb1");
    EXPECT_FALSE(MountTable().MountOf("/anything").has_value());
    EXPECT_FALSE(table.MountOf("").has_value());

    // Find takes mount points alone; a drive is named after the mount point's last component.
    EXPECT_TRUE(table.Find("/mnt/a/").has_value());
    EXPECT_FALSE(table.Find("/mnt/a/x").has_value());
    EXPECT_EQ(table.Find("/mnt/stacked")->FsType, "xfs");
    EXPECT_EQ(MountTable::DriveName("/"), "root");
    EXPECT_EQ(MountTable::DriveName("/media/user/My Stick/"), "My Stick");
}

TEST(MountTable, MountOfFindsTheNetworkMountHoldingANetworkPath)
{
    const MountTable table = MountTable::FromText(
        line(1, "/", "/", "ext4", "/dev/vda1") + line(2, "/", "/mnt/nas", "cifs", "//fileserver/Public") +
        line(3, "/Sub/Dir", "/srv/bound", "cifs", "//fileserver/Public") +
        line(4, "/", "/mnt/nfs", "nfs4", "storage:/export/home") +
        line(5, "/", "/mnt/nfsroot", "nfs4", "storage:/") +
        line(7, "/", "/mnt/local", "ext4", "//looks/like/unc"));
    for (const auto& [path, mountPoint] : {std::pair{"//fileserver/Public/", "/mnt/nas"},
                                           // host names ignore case, the rest does not
                                           {"//FileServer/Public/x", "/mnt/nas"},
                                           {"//fileserver/public/x", ""},
                                           {"//fileserver/Public2/x", ""},
                                           // the bind mount shows a deeper folder of the same share
                                           {"//fileserver/Public/Sub/Dir", "/srv/bound"},
                                           {"//fileserver/Public/Sub/Dirt", "/mnt/nas"},
                                           {"//storage/etc/x", "/mnt/nfsroot"},
                                           // only network file systems have a network form
                                           {"//looks/like/unc", ""}}) {
        const auto mount = table.MountOf(QString::fromUtf8(path));
        EXPECT_EQ(mount ? mount->MountPoint : QString(), QString::fromUtf8(mountPoint)) << path;
    }
}

TEST(MountTable, NetworkRootIsBuiltFromTheSource)
{
    const auto root = [](const char* fsType, const char* source, const char* mountRoot = "/") {
        return MountTable::NetworkRoot(MountEntry{"/mnt/x", mountRoot, fsType, source}).value_or("<none>");
    };
    EXPECT_EQ(root("cifs", "//server/share/"), "//server/share");
    EXPECT_EQ(root("nfs", "[fe80::1]:/vol"), "//[fe80::1]/vol");
    EXPECT_EQ(root("fuse.sshfs", "host:work/x"), "//host/~/work/x");
    EXPECT_EQ(root("davfs", "https://dav.example.org:8443/files/"), "//dav.example.org/files");
    // a cifs prefix path already in the source is not appended twice
    EXPECT_EQ(root("cifs", "//server/share/sub", "/sub"), "//server/share/sub");
    // relative folders are sshfs's alone; other shapes have no network form
    EXPECT_EQ(root("nfs", "server:relative"), "<none>");
    EXPECT_EQ(root("cifs", "//"), "<none>");
}
