#include "engine/DestinationFolder.h"

#include "engine/EngineFakes.h"
#include "engine/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
struct DestRow
{
    const char* File;
    const char* Source;
    bool Folder;
    const char* Path;
    const char* Expected;
};

class DestinationFolderCompute : public ::testing::TestWithParam<DestRow>
{
};

TEST_P(DestinationFolderCompute, RepeatsTheSourceNameBelowTheDestination)
{
    const DestRow& row = GetParam();
    FakeDrives drives;
    drives.AddMount(QStringLiteral("/mnt/usb"));
    EXPECT_EQ(DestinationFolder::Compute(QString::fromUtf8(row.File), QString::fromUtf8(row.Source),
                                         row.Folder, QString::fromUtf8(row.Path), drives),
              QString::fromUtf8(row.Expected));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DestinationFolderCompute,
    ::testing::Values(
        DestRow{"/d/Data/Projects/a/b.txt", "/d/Data/Projects", true, "/e/Backup", "/e/Backup/Projects/a"},
        DestRow{"/d/Data/Projects/a/b/c.txt", "/d/Data/Projects", true, "/e/Backup",
                "/e/Backup/Projects/a/b"},
        DestRow{"/d/Data/Projects/b.txt", "/d/Data/Projects", true, "/e/Backup", "/e/Backup/Projects"},
        DestRow{"/c/Docs/x.doc", "/c/Docs/x.doc", false, "/e/Backup", "/e/Backup/Docs"},
        DestRow{"/d/Data/Projects/a/b.txt", "/d/Data/Projects", true, "/e/Backup/", "/e/Backup/Projects/a"},
        DestRow{"/d/Data/Projects/a/b.txt", "/d/Data/Projects", true, "/", "/Projects/a"},
        DestRow{"/mnt/usb/x.txt", "/mnt/usb/x.txt", false, "/e/Backup", "/e/Backup/usb"}, // a drive's root
        DestRow{"/mnt/usb/x.txt", "/mnt/usb", true, "/e/Backup", "/e/Backup/usb"},
        DestRow{"/x.txt", "/x.txt", false, "/e/Backup", "/e/Backup/root"},
        DestRow{"/d/Data/Projects/a/b.txt", "/d/Data/Projects", true, "//server/share/B",
                "//server/share/B/Projects/a"}));

struct WithinRow
{
    const char* Path;
    const char* Folder;
    bool Within;
};

class PathWithin : public ::testing::TestWithParam<WithinRow>
{
};

TEST_P(PathWithin, ComparesWholeComponents)
{
    const WithinRow& row = GetParam();
    EXPECT_EQ(DestinationFolder::IsWithin(QString::fromUtf8(row.Path), QString::fromUtf8(row.Folder)),
              row.Within)
        << row.Path << " in " << row.Folder;
}

INSTANTIATE_TEST_SUITE_P(Rows, PathWithin,
                         ::testing::Values(WithinRow{"/data/Work2", "/data/Work", false},
                                           WithinRow{"/data/Work2/Work", "/data/Work", false},
                                           WithinRow{"/data/Work/a", "/data/Work", true},
                                           WithinRow{"/data/Work", "/data/Work", true},
                                           WithinRow{"/data/Work/", "/data/Work", true},
                                           WithinRow{"/data/work/a", "/data/Work", false}, // exact case
                                           WithinRow{"/data", "/data/Work", false},
                                           WithinRow{"/anything", "/", true}));

TEST(DestinationFolderNames, DriveLetterParentAndNetworkForm)
{
    EXPECT_EQ(DestinationFolder::DriveLetter(QStringLiteral("/")), QStringLiteral("root"));
    EXPECT_EQ(DestinationFolder::DriveLetter(QStringLiteral("/media/me/USB STICK")),
              QStringLiteral("USB STICK"));
    EXPECT_EQ(DestinationFolder::ParentOf(QStringLiteral("/a/b/c.txt")), QStringLiteral("/a/b"));
    EXPECT_EQ(DestinationFolder::ParentOf(QStringLiteral("/c.txt")), QStringLiteral("/"));

    const MountEntry share{QStringLiteral("/mnt/nas"), QStringLiteral("/"), QStringLiteral("cifs"),
                           QStringLiteral("//server/share")};
    EXPECT_EQ(DestinationFolder::LocalForm(QStringLiteral("//server/share/B/Work"), share),
              QStringLiteral("/mnt/nas/B/Work"));
    EXPECT_EQ(DestinationFolder::LocalForm(QStringLiteral("//server/share"), share),
              QStringLiteral("/mnt/nas"));
    EXPECT_EQ(DestinationFolder::LocalForm(QStringLiteral("//server/shared/B"), share), std::nullopt);
    EXPECT_EQ(DestinationFolder::LocalForm(QStringLiteral("/mnt/nas/B"), share),
              QStringLiteral("/mnt/nas/B"));
    const MountEntry nfs{QStringLiteral("/mnt/nfs"), QStringLiteral("/"), QStringLiteral("nfs4"),
                         QStringLiteral("fileserver:/export/home")};
    EXPECT_EQ(DestinationFolder::LocalForm(QStringLiteral("//fileserver/export/home/B"), nfs),
              QStringLiteral("/mnt/nfs/B"));
    // The root file system never holds a "//" path, though the mount table says it does.
    const MountEntry root{QStringLiteral("/"), QStringLiteral("/"), QStringLiteral("ext4"),
                          QStringLiteral("/dev/sda1")};
    EXPECT_EQ(DestinationFolder::LocalForm(QStringLiteral("//server/share/B"), root), std::nullopt);
}

TEST(DestinationFolderCreate, MakesEveryMissingLevelBelowTheRootOnly)
{
    QTemporaryDir tmp;
    const QString root = tmp.path() + "/dest";
    ASSERT_TRUE(QDir().mkdir(root));
    EXPECT_TRUE(DestinationFolder::CreateMissing(root, root + "/Work/a/b"));
    EXPECT_TRUE(QFileInfo(root + "/Work/a/b").isDir());
    EXPECT_TRUE(DestinationFolder::CreateMissing(root, root + "/Work/a/b")); // all there already

    // A missing root is never made: it may be an unmounted drive's mount point.
    const QString gone = tmp.path() + "/gone";
    EXPECT_FALSE(DestinationFolder::CreateMissing(gone, gone + "/Work"));
    EXPECT_FALSE(QFileInfo::exists(gone));

    // A file in the way fails that level and every level below, once.
    ASSERT_TRUE(WriteFile(root + "/Blocked", "x"));
    EXPECT_FALSE(DestinationFolder::CreateMissing(root, root + "/Blocked/a"));
    EXPECT_TRUE(QFileInfo(root + "/Blocked").isFile());
}
} // namespace
