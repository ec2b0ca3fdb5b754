#include "platform/VolumeLabels.h"

#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

TEST(VolumeLabels, UnescapeUdevUndoesHexEscapes)
{
    for (const auto& [linkName, label] : {std::pair{"BACKUP1", "BACKUP1"},
                                          {"My\\x20Backup", "My Backup"},
                                          {"a\\x2fb", "a/b"},
                                          // non-ASCII letters, escaped byte by byte or kept as UTF-8
                                          {"Caf\\xc3\\xa9", "Caf\xc3\xa9"},
                                          {"Caf\xc3\xa9", "Caf\xc3\xa9"},
                                          {"upper\\x2F", "upper/"},
                                          {"bad\\xzz", "bad\\xzz"},
                                          {"cut\\x2", "cut\\x2"}})
        EXPECT_EQ(VolumeLabels::UnescapeUdev(QString::fromUtf8(linkName)), QString::fromUtf8(label))
            << linkName;
}

// A fake /dev with by-label links, as udev would lay it out.
class VolumeLabelsLinks : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir(dev()).mkpath("disk/by-label"));
        ASSERT_TRUE(QDir(dev()).mkpath("disk/by-uuid"));
        for (const char* device : {"sdb1", "sdc1", "sdd1", "sde1"})
            WriteFile(dev() + "/" + device, "");
        link("../../sdb1", "disk/by-label/My\\x20Backup");
        link("../../sdc1", "disk/by-label/Caf\\xc3\\xa9");
        link("../../sdb1", "disk/by-uuid/1234-ABCD");
        // a name that is not UTF-8: Qt neither lists nor follows it
        ASSERT_EQ(::symlink("../../sdd1", QFile::encodeName(labels()) + "/Sicherung-\xe4"), 0);
    }
    QString dev() const { return m_dir.filePath("dev"); }
    QString labels() const { return dev() + "/disk/by-label"; }
    void link(const QString& target, const QString& name)
    {
        ASSERT_TRUE(QFile::link(target, dev() + "/" + name));
    }

    QTemporaryDir m_dir;
};

TEST_F(VolumeLabelsLinks, FindsTheLabelWhoseLinkLeadsToTheDevice)
{
    const VolumeLabels labels(this->labels());
    EXPECT_EQ(labels.FromLinks(dev() + "/sdb1"), QString("My Backup"));
    EXPECT_EQ(labels.FromLinks(dev() + "/sdc1"), QString::fromUtf8("Caf\xc3\xa9"));
    // the mount table may name the device by another link
    EXPECT_EQ(labels.FromLinks(dev() + "/disk/by-uuid/1234-ABCD"), QString("My Backup"));
    EXPECT_EQ(labels.FromLinks(dev() + "/sdd1"), QString::fromUtf8("Sicherung-\xef\xbf\xbd"));
    // a device without a label, and sources that are no devices
    EXPECT_FALSE(labels.FromLinks(dev() + "/sde1").has_value());
    EXPECT_FALSE(labels.FromLinks("tmpfs").has_value());
    EXPECT_FALSE(labels.FromLinks("").has_value());
    EXPECT_FALSE(VolumeLabels(m_dir.filePath("no-such-folder")).FromLinks(dev() + "/sdb1").has_value());
}

TEST(VolumeLabelsFileSystem, SaysWhyThereIsNoLabel)
{
    EXPECT_EQ(VolumeLabels::FromFileSystem("/no/such/mount/point").Error, ENOENT);
    const VolumeLabels::FsLabel proc = VolumeLabels::FromFileSystem("/proc"); // which has no labels to give
    EXPECT_NE(proc.Error, 0);
    EXPECT_TRUE(proc.Label.isEmpty());
}
