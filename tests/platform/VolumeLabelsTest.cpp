#include "platform/VolumeLabels.h"

#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

TEST(VolumeLabels, UnescapeUdevUndoesHexEscapes)
{
    // the escapes byte by byte, each in either case; letters outside ASCII may be there as UTF-8
    for (const auto& [linkName, label] : {std::pair{"a\\x2fb", "a/b"},
                                          {"Caf\xc3\xa9", "Caf\xc3\xa9"},
                                          {"upper\\x2F", "upper/"},
                                          {"bad\\xzz", "bad\\xzz"},
                                          {"cut\\x2", "cut\\x2"}})
        EXPECT_EQ(VolumeLabels::UnescapeUdev(QString::fromUtf8(linkName)), QString::fromUtf8(label))
            << linkName;
}

TEST(VolumeLabelsLinks, FindsTheLabelWhoseLinkLeadsToTheDevice)
{
    QTemporaryDir dir;
    const QString dev = dir.filePath("dev");
    const QString links = dev + "/disk/by-label";
    ASSERT_TRUE(QDir(dev).mkpath("disk/by-label") && QDir(dev).mkpath("disk/by-uuid"));
    for (const char* device : {"sdb1", "sdc1", "sdd1", "sde1"})
        WriteFile(dev + "/" + device, "");
    ASSERT_TRUE(QFile::link("../../sdb1", links + "/My\\x20Backup"));
    ASSERT_TRUE(QFile::link("../../sdc1", links + "/Caf\\xc3\\xa9"));
    ASSERT_TRUE(QFile::link("../../sdb1", dev + "/disk/by-uuid/1234-ABCD"));
    // a name that is not UTF-8: Qt neither lists nor follows it
    ASSERT_EQ(::symlink("../../sdd1", QFile::encodeName(links) + "/Sicherung-\xe4"), 0);

    const VolumeLabels labels(links);
    EXPECT_EQ(labels.FromLinks(dev + "/sdb1"), QString("My Backup"));
    EXPECT_EQ(labels.FromLinks(dev + "/sdc1"), QString::fromUtf8("Caf\xc3\xa9"));
    // the mount table may name the device by another link
    EXPECT_EQ(labels.FromLinks(dev + "/disk/by-uuid/1234-ABCD"), QString("My Backup"));
    EXPECT_EQ(labels.FromLinks(dev + "/sdd1"), QString::fromUtf8("Sicherung-\xef\xbf\xbd"));
    // a device without a label, and sources that are no devices
    EXPECT_FALSE(labels.FromLinks(dev + "/sde1").has_value());
    EXPECT_FALSE(labels.FromLinks("tmpfs").has_value());
    EXPECT_FALSE(labels.FromLinks("").has_value());
    EXPECT_FALSE(VolumeLabels(dir.filePath("no-such-folder")).FromLinks(dev + "/sdb1").has_value());
}

TEST(VolumeLabelsFileSystem, SaysWhyThereIsNoLabel)
{
    EXPECT_EQ(VolumeLabels::FromFileSystem("/no/such/mount/point").Error, ENOENT);
    const VolumeLabels::FsLabel proc = VolumeLabels::FromFileSystem("/proc"); // which has no labels to give
    EXPECT_NE(proc.Error, 0);
    EXPECT_TRUE(proc.Label.isEmpty());
}
