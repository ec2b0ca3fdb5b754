#include "core/StoreFile.h"
#include "core/DataFolder.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

class StoreFileTest : public testing::Test
{
  protected:
    TestEnvironment env;
};

TEST_F(StoreFileTest, DataFolderIsUnderTheDataHome)
{
    EXPECT_EQ(DataFolder(), env.dataFolder());
}

TEST_F(StoreFileTest, FirstWriteCreatesTheWholeMissingDataPath)
{
    // A fresh account may have no ~/.local/share at all.
    const QString deep = env.root() + QStringLiteral("/fresh/.local/share");
    qputenv("XDG_DATA_HOME", deep.toUtf8());
    ASSERT_FALSE(QFileInfo::exists(deep));
    ASSERT_TRUE(StoreFile::Write(QStringLiteral("pprefs"), {QStringLiteral("0")}));
    EXPECT_EQ(readBytes(deep + QStringLiteral("/Savenook/pprefs")), QByteArray("0\r\n"));
}

TEST_F(StoreFileTest, WritesUtf8LinesEndingInCrLfAndLeavesNoTempFile)
{
    const QStringList lines = {QStringLiteral("/data/Café"), QString(),
                               QStringLiteral("DATA") + QChar(0) + QStringLiteral("USB")};
    ASSERT_TRUE(StoreFile::Write(QStringLiteral("usrdatab"), lines));
    EXPECT_EQ(readBytes(DataFilePath(QStringLiteral("usrdatab"))),
              QByteArray("/data/Caf\xc3\xa9\r\n\r\nDATA\0USB\r\n", 25));
    EXPECT_FALSE(QFileInfo::exists(DataFilePath(QStringLiteral("usrdatabTEMP"))));
    EXPECT_EQ(StoreFile::Read(QStringLiteral("usrdatab")).Lines, lines);
}

TEST_F(StoreFileTest, LeftoverTempFileIsReplaced)
{
    writeBytes(DataFilePath(QStringLiteral("optsTEMP")), "stale stale stale stale\r\n");
    QFile::setPermissions(DataFilePath(QStringLiteral("optsTEMP")), QFileDevice::ReadOwner);
    ASSERT_TRUE(StoreFile::Write(QStringLiteral("opts"), {QStringLiteral("1")}));
    EXPECT_EQ(readBytes(DataFilePath(QStringLiteral("opts"))), QByteArray("1\r\n"));
    EXPECT_FALSE(QFileInfo::exists(DataFilePath(QStringLiteral("optsTEMP"))));
}

struct DecodeRow
{
    const char* name;
    QByteArray bytes;
    QStringList lines;
};

class StoreDecode : public testing::TestWithParam<DecodeRow>
{
};

TEST_P(StoreDecode, LinesAsWrittenByThisAndOlderVersions)
{
    EXPECT_EQ(StoreFile::DecodeLines(GetParam().bytes), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StoreDecode,
    testing::Values(DecodeRow{"CrLf", "a\r\nb\r\n", {"a", "b"}}, DecodeRow{"BareLf", "a\nb\n", {"a", "b"}},
                    DecodeRow{"NoFinalLineEnd", "a\r\nb", {"a", "b"}},
                    DecodeRow{"EmptyLines", "\r\n\r\nx\r\n", {"", "", "x"}}, DecodeRow{"EmptyFile", "", {}},
                    DecodeRow{"LoneCrStaysInLine", "a\rb\r\n", {"a\rb"}},
                    DecodeRow{"Utf8", "caf\xc3\xa9\r\n", {QString::fromUtf8("caf\xc3\xa9")}},
                    DecodeRow{"Latin1", "caf\xe9\r\n", {QString::fromUtf8("caf\xc3\xa9")}},
                    DecodeRow{"Windows1252",
                              "\x80 \x93q\x94\r\nna\xefve\r\n",
                              {QString::fromUtf8("\xe2\x82\xac \xe2\x80\x9cq\xe2\x80\x9d"),
                               QString::fromUtf8("na\xc3\xafve")}},
                    DecodeRow{"NulInLine",
                              QByteArray("DATA\0\0\r\nx\r\n", 11),
                              {QString(QStringLiteral("DATA") + QChar(0) + QChar(0)), "x"}}),
    [](const testing::TestParamInfo<DecodeRow>& info) { return std::string(info.param.name); });

// Failures at each step of a write: the old store must survive whole.
class StoreWriteFailure : public StoreFileTest
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(StoreFile::Write(QStringLiteral("usrdatad"), oldLines));
        oldBytes = readBytes(store());
    }
    QString store() const { return DataFilePath(QStringLiteral("usrdatad")); }
    QStringList newLines() const
    {
        return QStringList(200, QStringLiteral("/media/USB/a/rather/long/destination/path"));
    }

    const QStringList oldLines = {QStringLiteral("/media/USB/Work"), QStringLiteral("/data/Work"),
                                  QStringLiteral("USB")};
    QByteArray oldBytes;
};

TEST_F(StoreWriteFailure, TempFileCannotBeCreated)
{
    ASSERT_TRUE(QDir().mkpath(store() + QStringLiteral("TEMP/blocker")));
    QString error;
    EXPECT_FALSE(StoreFile::Write(QStringLiteral("usrdatad"), newLines(), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readBytes(store()), oldBytes);
}

TEST_F(StoreWriteFailure, DiskFillsUpWhileWriting)
{
    // A file-size limit makes write() fail half-way, as a full disk would.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit oldLimit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
    rlimit small = oldLimit;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = StoreFile::Write(QStringLiteral("usrdatad"), newLines());
    setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(readBytes(store()), oldBytes);
    EXPECT_EQ(StoreFile::Read(QStringLiteral("usrdatad")).Lines, oldLines);
    EXPECT_FALSE(QFileInfo::exists(store() + QStringLiteral("TEMP")));
}

TEST_F(StoreWriteFailure, RenameOverTheStoreFails)
{
    const QString other = DataFilePath(QStringLiteral("usrdatab"));
    ASSERT_TRUE(QDir().mkpath(other + QStringLiteral("/occupied")));
    EXPECT_FALSE(StoreFile::Write(QStringLiteral("usrdatab"), newLines()));
    EXPECT_TRUE(QFileInfo(other).isDir());
    EXPECT_FALSE(QFileInfo::exists(other + QStringLiteral("TEMP")));
}

TEST_F(StoreWriteFailure, ValueWithALineBreakIsRefusedNotWrittenAskew)
{
    for (const QString& path : {QStringLiteral("/data/a\nb"), QStringLiteral("/data/a\rb")}) {
        QString error;
        EXPECT_FALSE(StoreFile::Write(QStringLiteral("usrdatad"),
                                      {path, QStringLiteral("/data/x"), QString()}, &error));
        EXPECT_TRUE(error.contains(QStringLiteral("line break")));
        EXPECT_EQ(readBytes(store()), oldBytes);
    }
}

TEST_F(StoreWriteFailure, DataFolderCannotBeMade)
{
    const QString file = env.root() + QStringLiteral("/plainfile");
    writeBytes(file, "x");
    qputenv("XDG_DATA_HOME", file.toUtf8());
    EXPECT_FALSE(StoreFile::Write(QStringLiteral("usrdatad"), newLines()));
    EXPECT_EQ(readBytes(file), QByteArray("x"));
}

} // namespace
