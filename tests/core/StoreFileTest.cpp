#include "core/StoreFile.h"
#include "core/DataFolder.h"
#include "platform/FileNames.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

class StoreFileTest : public testing::Test
{
  protected:
    TestEnvironment env;
};

// Written through a temporary file and a rename; a leftover one from a crash, even read-only, is replaced
// and none is left behind. Read back, so are the forms of older versions.
TEST_F(StoreFileTest, WritesUtf8CrLfLinesThroughATempFileAndReadsOlderForms)
{
    const QString temp = DataFilePath(QStringLiteral("usrdatabTEMP"));
    WriteFile(temp, "stale stale stale stale\r\n");
    QFile::setPermissions(temp, QFileDevice::ReadOwner);
    const QStringList lines = {QStringLiteral("/data/Café"), QString(),
                               QStringLiteral("DATA") + QChar(0) + QStringLiteral("USB")};
    ASSERT_TRUE(StoreFile::Write(QStringLiteral("usrdatab"), lines));
    EXPECT_EQ(ReadFile(DataFilePath(QStringLiteral("usrdatab"))),
              QByteArray("/data/Caf\xc3\xa9\r\n\r\nDATA\0USB\r\n", 25));
    EXPECT_FALSE(QFileInfo::exists(temp));
    EXPECT_EQ(StoreFile::Read(QStringLiteral("usrdatab")).Lines, lines);

    const std::vector<std::pair<QByteArray, QStringList>> rows = {
        {"a\nb", {"a", "b"}},              // bare LF, no final line end
        {"\r\n\r\nx\r\n", {"", "", "x"}},  // empty lines
        {"", {}},                          // empty file
        {"a\rb\r\n", {"a\rb"}},            // a lone CR stays in its line
        {"\x80 \x93q\x94\r\nna\xefve\r\n", // Windows-1252
         {QString::fromUtf8("\xe2\x82\xac \xe2\x80\x9cq\xe2\x80\x9d"), QString::fromUtf8("na\xc3\xafve")}}};
    for (const auto& [bytes, decoded] : rows)
        EXPECT_EQ(StoreFile::DecodeLines(bytes), decoded) << bytes.toStdString();
}

// A store that is a link (into a synchronised folder, say) stays a link: the
// content goes where it leads, through a temporary file beside the target.
TEST_F(StoreFileTest, AStoreThatIsALinkIsWrittenWhereItLeads)
{
    const QString sync = env.root() + QStringLiteral("/Sync/Savenook");
    const QString target = sync + QStringLiteral("/usrdatab");
    const QString store = DataFilePath(QStringLiteral("usrdatab"));
    for (const QString& link : {target, QStringLiteral("../../Sync/Savenook/usrdatab")}) {
        SCOPED_TRACE(link.toStdString());
        WriteFile(target, "old\r\n");
        QDir().mkpath(DataFolder());
        QFile::remove(store);
        std::filesystem::create_symlink(link.toStdString(), store.toStdString());
        ASSERT_TRUE(StoreFile::Write(QStringLiteral("usrdatab"), {QStringLiteral("new")}));
        EXPECT_TRUE(QFileInfo(store).isSymLink());
        EXPECT_EQ(ReadFile(target), QByteArray("new\r\n"));
        EXPECT_EQ(Entries(sync), QStringList{QStringLiteral("usrdatab")});
        EXPECT_EQ(Entries(DataFolder()), QStringList{QStringLiteral("usrdatab")});
    }
}

// Failures at each step of a write: the old store must survive whole, and no temporary file stay.
class StoreWriteFailure : public StoreFileTest
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(StoreFile::Write(QStringLiteral("usrdatad"), {QStringLiteral("old")}));
    }

    void ExpectOldStoreWhole() const
    {
        EXPECT_EQ(ReadFile(DataFilePath(QStringLiteral("usrdatad"))), QByteArray("old\r\n"));
        EXPECT_FALSE(QFileInfo::exists(DataFilePath(QStringLiteral("usrdatadTEMP"))));
    }
};

TEST_F(StoreWriteFailure, DiskFillsUpWhileWriting)
{
    // A file-size limit makes write() fail half-way, as a full disk would.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit oldLimit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
    rlimit small = oldLimit;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = StoreFile::Write(QStringLiteral("usrdatad"), QStringList(200, QString(40, u'x')));
    setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    ExpectOldStoreWhole();
}

// The store's name taken by a folder, or the data folder's by a plain file: what is there stays.
TEST_F(StoreWriteFailure, RenameOverTheStoreOrMakingTheDataFolderFails)
{
    const QString other = DataFilePath(QStringLiteral("usrdatab"));
    ASSERT_TRUE(QDir().mkpath(other + QStringLiteral("/occupied")));
    EXPECT_FALSE(StoreFile::Write(QStringLiteral("usrdatab"), {QStringLiteral("new")}));
    EXPECT_TRUE(QFileInfo(other).isDir());
    EXPECT_FALSE(QFileInfo::exists(other + QStringLiteral("TEMP")));

    const QString file = env.root() + QStringLiteral("/plainfile");
    WriteFile(file, "x");
    qputenv("XDG_DATA_HOME", file.toUtf8());
    QString error;
    EXPECT_FALSE(StoreFile::Write(QStringLiteral("usrdatad"), {QStringLiteral("new")}, &error));
    EXPECT_EQ(error, QStringLiteral("cannot create the folder %1/Savenook").arg(file));
    EXPECT_EQ(ReadFile(file), QByteArray("x"));
}

// A line break would shift every later value by a line; a name that is not UTF-8 would come back altered.
TEST_F(StoreWriteFailure, ValueWithALineBreakIsRefusedNotWrittenAskew)
{
    const std::pair<QString, QString> rows[] = {
        {QStringLiteral("/data/a\nb"), QStringLiteral("a value holds a line break: /data/a\nb")},
        {QStringLiteral("/data/a\rb"), QStringLiteral("a value holds a line break: /data/a\rb")},
        {FileNames::Decode("/data/caf\xe9"),
         QString::fromUtf8("a name is not valid UTF-8 and cannot be stored: /data/caf\xef\xbf\xbd")}};
    for (const auto& [value, message] : rows) {
        QString error;
        EXPECT_FALSE(
            StoreFile::Write(QStringLiteral("usrdatad"), {value, QStringLiteral("/data/x")}, &error));
        EXPECT_EQ(error, message);
        ExpectOldStoreWhole();
    }
}

} // namespace
