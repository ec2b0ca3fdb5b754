#include "platform/SambaShares.h"

#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

TEST(SambaShares, GetSharePathFromValueFindsThePath)
{
    const QString nulSeparated = QString("MaxUses=4294967295|Path=C:/x|Type=0|").replace('|', QChar(0));
    for (const auto& [definition, path] :
         {std::pair<QString, QString>{"path = /srv/data", "/srv/data"},
          {"comment = x\n  Path=  /srv/My Files  \r\nread only = no", "/srv/My Files"},
          {"directory = /srv/old", "/srv/old"},
          {"path = /a\npath = /b", "/b"},
          {nulSeparated, "C:/x"},
          {"comment = path = /not/this\n", ""},
          {"# path = /commented\n; path = /also", ""},
          {"pathology = /x", ""},
          {"path /missing/equals", ""}})
        EXPECT_EQ(SambaShares::GetSharePathFromValue(definition), path) << definition.toStdString();
}

class SambaSharesFiles : public ::testing::Test
{
  protected:
    QString conf() const { return m_dir.filePath("smb.conf"); }
    QString users() const { return m_dir.filePath("usershares"); }
    QStringList shares(const QStringList& problems = {}) const
    {
        const SambaShares::ReadResult result = SambaShares(conf(), users()).Read();
        EXPECT_EQ(result.Problems.size(), problems.size());
        for (int i = 0; i < problems.size() && i < result.Problems.size(); ++i)
            EXPECT_TRUE(result.Problems[i].contains(problems[i])) << result.Problems[i].toStdString();
        QStringList out;
        for (const SambaShare& s : result.Shares)
            out << s.Name + "=" + s.Path;
        return out;
    }

    QTemporaryDir m_dir;
};

TEST_F(SambaSharesFiles, ReadsSectionsSkippingGlobalHomesPrintersAndOffShares)
{
    EXPECT_EQ(shares(), QStringList()) << "no Samba, no shares, no problem";
    WriteFile(conf(), "# a comment\n"
                      "[global]\n   workgroup = WORKGROUP\n   path = /not/a/share\n"
                      "[homes]\n   browseable = no\n"
                      "[printers]\n   path = /var/spool/samba\n"
                      "[Data]\n   path = /srv/data/\n   read only = no\n"
                      "[Root]\n   Path = /\n"
                      "[print$]\n   path = /var/lib/samba/printers\n"
                      "[LaserJet]\n   printable = yes\n   path = /var/spool/lj\n"
                      "[Off]\n   path = /srv/off\n   available = no\n"
                      "[Per User]\n   path = /srv/%U\n"
                      "[Long]\n   path = /srv/a\\\nvery/long\n"
                      "[relative]\n   path = srv/rel\n");
    EXPECT_EQ(shares(), QStringList({"Data=/srv/data", "Root=/", "print$=/var/lib/samba/printers",
                                     "Long=/srv/avery/long"}));
    // a section named twice is one share
    WriteFile(conf(), "[data]\n comment = first\n[Other]\n path = /srv/other\n[DATA]\n path = /srv/data\n");
    EXPECT_EQ(shares(), QStringList({"data=/srv/data", "Other=/srv/other"}));
}

TEST_F(SambaSharesFiles, FollowsIncludesAndStopsIncludeLoops)
{
    WriteFile(conf(), "[global]\n include = " + m_dir.filePath("shares.conf").toUtf8() +
                          "\n include = missing.conf\n include = /etc/samba/%m.conf\n"
                          "[Main]\n path = /srv/main\n");
    // relative to the including file; includes itself back
    WriteFile(m_dir.filePath("shares.conf"), "[Inc]\n path = /srv/inc\n include = loop.conf\n");
    WriteFile(m_dir.filePath("loop.conf"), "[Loop]\n path = /srv/loop\n include = shares.conf\n");
    EXPECT_EQ(shares({"loop"}), QStringList({"Inc=/srv/inc", "Loop=/srv/loop", "Main=/srv/main"}));
}

// A pipe or a device named by an include would hang the start-up for good.
TEST_F(SambaSharesFiles, IncludesOfPipesAndDevicesAreSkipped)
{
    const QByteArray fifo = m_dir.filePath("fifo").toUtf8();
    ASSERT_EQ(::mkfifo(fifo.constData(), 0644), 0);
    WriteFile(conf(), "[global]\n include = " + fifo + "\n include = /dev/zero\n[Main]\n path = /srv/main\n");
    EXPECT_EQ(shares({"Not a regular file", "Not a regular file"}), QStringList({"Main=/srv/main"}));
}

TEST_F(SambaSharesFiles, ReadsUserSharesAfterTheConfiguration)
{
    WriteFile(conf(), "[Public]\n path = /srv/public\n");
    ASSERT_TRUE(QDir().mkpath(users()));
    WriteFile(users() + "/music", "#VERSION 2\npath=/home/ann/Music\ncomment=\nsharename=Music\n");
    WriteFile(users() + "/docs", "#VERSION 2\npath=/home/ann/Docs\n");
    // a user share cannot replace a configured one
    WriteFile(users() + "/public", "#VERSION 2\npath=/home/ann/Public\nsharename=public\n");
    WriteFile(users() + "/broken", "#VERSION 2\ncomment=no path\n");
    EXPECT_EQ(shares(), QStringList({"Public=/srv/public", "docs=/home/ann/Docs", "Music=/home/ann/Music"}));

    // ... from the folder the configuration names, when it names one
    const QString elsewhere = m_dir.filePath("elsewhere");
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    WriteFile(elsewhere + "/pics", "path=/home/ann/Pictures\nsharename=Pics\n");
    WriteFile(conf(), "[global]\n usershare path = " + elsewhere.toUtf8() + "\n");
    EXPECT_EQ(shares(), QStringList({"Pics=/home/ann/Pictures"}));
}
