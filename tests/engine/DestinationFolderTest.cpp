#include "engine/DestinationFolder.h"

#include "support/EngineFakes.h"

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

} // namespace
