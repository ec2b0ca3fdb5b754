#include "engine/DestinationFolder.h"

#include "platform/LinuxFileSystem.h"
#include "support/EngineFakes.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
TEST(DestinationFolder, ComputeRepeatsTheSourceNameBelowTheDestination)
{
    FakeDrives drives;
    drives.AddMount(QStringLiteral("/mnt/usb"));
    drives.AddMount(QStringLiteral("/home/u/data"));
    const struct
    {
        const char *File, *Source;
        bool Folder;
        const char *Path, *Expected;
    } rows[] = {
        {"/d/Data/Projects/a/b/c.txt", "/d/Data/Projects", true, "/e/Backup", "/e/Backup/Projects/a/b"},
        {"/d/Data/Projects/b.txt", "/d/Data/Projects", true, "/e/Backup", "/e/Backup/Projects"},
        {"/c/Docs/x.doc", "/c/Docs/x.doc", false, "/e/Backup", "/e/Backup/Docs"},
        {"/d/Data/Projects/a/b.txt", "/d/Data/Projects", true, "/e/Backup/", "/e/Backup/Projects/a"},
        {"/d/Data/Projects/a/b.txt", "/d/Data/Projects", true, "/", "/Projects/a"},
        {"/mnt/usb/x.txt", "/mnt/usb/x.txt", false, "/e/Backup", "/e/Backup/usb"}, // a drive's root
        {"/mnt/usb/x.txt", "/mnt/usb", true, "/e/Backup", "/e/Backup/usb"},
        // A drive mounted inside a folder association keeps its path below the source.
        {"/home/u/data/x.txt", "/home/u", true, "/e/Backup", "/e/Backup/u/data"},
        {"/home/u/data/sub/x.txt", "/home/u", true, "/e/Backup", "/e/Backup/u/data/sub"},
        {"/x.txt", "/x.txt", false, "/e/Backup", "/e/Backup/root"},
        {"/d/Data/Projects/a/b.txt", "/d/Data/Projects", true, "//server/share/B",
         "//server/share/B/Projects/a"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(DestinationFolder::Compute(row.File, row.Source, row.Folder, row.Path, drives),
                  QString::fromUtf8(row.Expected))
            << row.File << " from " << row.Source;
}

TEST(DestinationFolder, LocalFormMatchesTheShareOnWholeComponents)
{
    const MountEntry share{"/mnt/nas", "/", "cifs", "//server/share"};
    const MountEntry nfs{"/mnt/nfs", "/", "nfs4", "fileserver:/export/home"};
    // The root file system never holds a "//" path, though the mount table says it does.
    const MountEntry root{"/", "/", "ext4", "/dev/sda1"};
    EXPECT_EQ(DestinationFolder::LocalForm("//server/share/B/Work", share),
              QStringLiteral("/mnt/nas/B/Work"));
    EXPECT_EQ(DestinationFolder::LocalForm("//server/share", share), QStringLiteral("/mnt/nas"));
    EXPECT_EQ(DestinationFolder::LocalForm("//server/shared/B", share), std::nullopt);
    EXPECT_EQ(DestinationFolder::LocalForm("/mnt/nas/B", share), QStringLiteral("/mnt/nas/B"));
    EXPECT_EQ(DestinationFolder::LocalForm("//fileserver/export/home/B", nfs), QStringLiteral("/mnt/nfs/B"));
    EXPECT_EQ(DestinationFolder::LocalForm("//server/share/B", root), std::nullopt);
}

TEST(DestinationFolder, CreateMissingMakesEveryMissingLevelBelowTheRootOnly)
{
    QTemporaryDir tmp;
    LinuxFileSystem files;
    const QString root = tmp.path() + "/dest";
    ASSERT_TRUE(QDir().mkdir(root));
    EXPECT_TRUE(DestinationFolder::CreateMissing(root, root + "/Work/a/b", files).Ok());
    EXPECT_TRUE(QFileInfo(root + "/Work/a/b").isDir());
    EXPECT_TRUE(DestinationFolder::CreateMissing(root, root + "/Work/a/b", files).Ok()); // all there already

    // A missing root is never made: it may be an unmounted drive's mount point.
    const QString gone = tmp.path() + "/gone";
    EXPECT_FALSE(DestinationFolder::CreateMissing(gone, gone + "/Work", files).Ok());
    EXPECT_FALSE(QFileInfo::exists(gone));

    // A file in the way fails that level and every level below.
    ASSERT_TRUE(WriteFile(root + "/Blocked", "x"));
    EXPECT_FALSE(DestinationFolder::CreateMissing(root, root + "/Blocked/a", files).Ok());
    EXPECT_TRUE(QFileInfo(root + "/Blocked").isFile());
}
} // namespace
