#include "platform/SambaShares.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
void writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

QStringList describe(const std::vector<SambaShare>& shares)
{
    QStringList out;
    for (const SambaShare& s : shares)
        out << s.Name + "=" + s.Path;
    return out;
}
} // namespace

struct DefinitionRow
{
    const char* definition;
    const char* path;
    friend void PrintTo(const DefinitionRow& row, std::ostream* os) { *os << '"' << row.definition << '"'; }
};

class SambaSharesDefinition : public ::testing::TestWithParam<DefinitionRow>
{
};

TEST_P(SambaSharesDefinition, GetSharePathFromValueFindsThePath)
{
    EXPECT_EQ(SambaShares::GetSharePathFromValue(QString::fromUtf8(GetParam().definition)),
              QString::fromUtf8(GetParam().path));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SambaSharesDefinition,
    ::testing::Values(
        DefinitionRow{"path = /srv/data", "/srv/data"},
        DefinitionRow{"#VERSION 2\npath=/home/ann/Public\ncomment=\nsharename=Public\n", "/home/ann/Public"},
        DefinitionRow{"comment = x\n  Path=  /srv/My Files  \r\nread only = no", "/srv/My Files"},
        DefinitionRow{"directory = /srv/old", "/srv/old"}, DefinitionRow{"path = /a\npath = /b", "/b"},
        DefinitionRow{"comment = path = /not/this\n", ""},
        DefinitionRow{"# path = /commented\n; path = /also", ""}, DefinitionRow{"pathology = /x", ""},
        DefinitionRow{"path /missing/equals", ""}, DefinitionRow{"", ""}));

TEST(SambaSharesDefinition, AcceptsNulSeparatedData)
{
    const QString data = QStringLiteral("MaxUses=4294967295") + QChar(u'\0') + "Path=C:/x" + QChar(u'\0') +
                         "Type=0" + QChar(u'\0');
    EXPECT_EQ(SambaShares::GetSharePathFromValue(data), "C:/x");
}

class SambaSharesFiles : public ::testing::Test
{
protected:
    QString conf() const { return m_dir.filePath("smb.conf"); }
    QString users() const { return m_dir.filePath("usershares"); }
    SambaShares::ReadResult read() const { return SambaShares(conf(), users()).Read(); }

    QTemporaryDir m_dir;
};

TEST_F(SambaSharesFiles, NoSambaMeansNoShares)
{
    const auto result = read();
    EXPECT_TRUE(result.Shares.empty());
    EXPECT_TRUE(result.Problems.isEmpty());
}

TEST_F(SambaSharesFiles, ReadsSectionsSkippingGlobalHomesPrintersAndOffShares)
{
    writeFile(conf(), "# a comment\n"
                      "[global]\n"
                      "   workgroup = WORKGROUP\n"
                      "   path = /not/a/share\n"
                      "[homes]\n"
                      "   browseable = no\n"
                      "[printers]\n"
                      "   path = /var/spool/samba\n"
                      "[Data]\n"
                      "   path = /srv/data/\n"
                      "   read only = no\n"
                      "[Root]\n"
                      "   Path = /\n"
                      "[print$]\n"
                      "   path = /var/lib/samba/printers\n"
                      "[LaserJet]\n"
                      "   printable = yes\n"
                      "   path = /var/spool/lj\n"
                      "[Off]\n"
                      "   path = /srv/off\n"
                      "   available = no\n"
                      "[Per User]\n"
                      "   path = /srv/%U\n"
                      "[Long]\n"
                      "   path = /srv/a\\\n"
                      "very/long\n"
                      "[relative]\n"
                      "   path = srv/rel\n");
    const auto result = read();
    EXPECT_EQ(
        describe(result.Shares),
        QStringList({"Data=/srv/data", "Root=/", "print$=/var/lib/samba/printers", "Long=/srv/avery/long"}));
    EXPECT_TRUE(result.Problems.isEmpty());
}

TEST_F(SambaSharesFiles, FollowsIncludesAndStopsIncludeLoops)
{
    writeFile(conf(), "[global]\n include = " + m_dir.filePath("shares.conf").toUtf8() +
                          "\n include = missing.conf\n include = /etc/samba/%m.conf\n"
                          "[Main]\n path = /srv/main\n");
    // relative to the including file; includes itself back
    writeFile(m_dir.filePath("shares.conf"), "[Inc]\n path = /srv/inc\n include = loop.conf\n");
    writeFile(m_dir.filePath("loop.conf"), "[Loop]\n path = /srv/loop\n include = shares.conf\n");
    const auto result = read();
    EXPECT_EQ(describe(result.Shares), QStringList({"Inc=/srv/inc", "Loop=/srv/loop", "Main=/srv/main"}));
    ASSERT_EQ(result.Problems.size(), 1);
    EXPECT_TRUE(result.Problems[0].contains("loop")) << result.Problems[0].toStdString();
}

TEST_F(SambaSharesFiles, ASectionNamedTwiceIsOneShare)
{
    writeFile(conf(), "[data]\n comment = first\n[Other]\n path = /srv/other\n[DATA]\n path = /srv/data\n");
    EXPECT_EQ(describe(read().Shares), QStringList({"data=/srv/data", "Other=/srv/other"}));
}

TEST_F(SambaSharesFiles, ReadsUserSharesAfterTheConfiguration)
{
    writeFile(conf(), "[Public]\n path = /srv/public\n");
    ASSERT_TRUE(QDir().mkpath(users()));
    writeFile(users() + "/music", "#VERSION 2\npath=/home/ann/Music\ncomment=\nsharename=Music\n");
    writeFile(users() + "/docs", "#VERSION 2\npath=/home/ann/Docs\n");
    // a user share cannot replace a configured one
    writeFile(users() + "/public", "#VERSION 2\npath=/home/ann/Public\nsharename=public\n");
    writeFile(users() + "/broken", "#VERSION 2\ncomment=no path\n");
    EXPECT_EQ(describe(read().Shares),
              QStringList({"Public=/srv/public", "docs=/home/ann/Docs", "Music=/home/ann/Music"}));
}

TEST_F(SambaSharesFiles, HonoursTheConfiguredUserSharesFolder)
{
    const QString elsewhere = m_dir.filePath("elsewhere");
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    writeFile(elsewhere + "/pics", "path=/home/ann/Pictures\nsharename=Pics\n");
    writeFile(conf(), "[global]\n usershare path = " + elsewhere.toUtf8() + "\n");
    EXPECT_EQ(describe(read().Shares), QStringList({"Pics=/home/ann/Pictures"}));
}
