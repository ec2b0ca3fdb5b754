#include "core/SchemeFiles.h"
#include "core/DataFolder.h"
#include "core/Stores.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

void addAssociation(ProgramState& state, const QString& source)
{
    clsBackup b;
    b.SourcePath = source;
    b.Enabled = true;
    state.Backups.Add(b, source);
    state.Destinations.Add(QStringLiteral("/backup"), source, QString());
}

TEST(SchemeFiles, NamesStayPlainFilesInsideTheSchemeFolder)
{
    const std::pair<const char*, const char*> rows[] = {{"Work", "Work.sch"},
                                                        {"  Work.sch ", "Work.sch"},
                                                        {"Work.SCH", "Work.SCH.sch"},
                                                        {"..", "...sch"},
                                                        {"../x", ""},
                                                        {"a\\b", ""},
                                                        {"   ", ""},
                                                        {"x:y", ""}};
    for (const auto& [typed, file] : rows)
        EXPECT_EQ(SchemeFiles::FileName(QString::fromUtf8(typed)), QString::fromUtf8(file)) << typed;
    for (const char* unsafe : {"..", ".", "../usrdatab", ""})
        EXPECT_FALSE(SchemeFiles::IsSafeFileName(QString::fromUtf8(unsafe))) << unsafe;
}

// The second store's temporary file cannot be made: nothing may have been deleted or replaced.
TEST(SchemeFiles, AFailedCopyLeavesTheStoresAsTheyWere)
{
    TestEnvironment env;
    ProgramState state;
    addAssociation(state, QStringLiteral("/data/Work"));
    ASSERT_TRUE(SaveBackups(state) && SaveDestinations(state));
    const QByteArray backups = ReadFile(DataFilePath("usrdatab"));
    const QByteArray destinations = ReadFile(DataFilePath("usrdatad"));
    QDir().mkpath(DataFilePath("usrdatadTEMP/blocked"));
    WriteFile(SchemeFiles::Folder() + "/Other.sch", "/data/Other\r\n");
    WriteFile(SchemeFiles::Folder() + "/Other.sch.dst", "/b\r\n/data/Other\r\n\r\n");
    QString error;
    EXPECT_EQ(SchemeFiles::Load(QStringLiteral("Other.sch"), &error), SchemeFiles::LoadResult::Failed);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(ReadFile(DataFilePath("usrdatab")), backups);
    EXPECT_EQ(ReadFile(DataFilePath("usrdatad")), destinations);
}

// A kill between the two renames of a scheme load must not leave one scheme's
// associations beside another's destinations: the next read finishes the pair,
// unless the marker naming it was not written whole (then no rename had begun).
TEST(SchemeFiles, LoadCutOffByACrashEndsWithBothStoresOfOneScheme)
{
    const std::tuple<bool, const char*, const char*> rows[] = {
        {true, "end\r\n", "/new"}, {false, "end\r\n", "/new"}, {false, "", "/old"}};
    for (const auto& [firstRenamed, marker, expected] : rows) {
        SCOPED_TRACE(testing::Message() << firstRenamed << marker);
        TestEnvironment env;
        ProgramState state;
        addAssociation(state, QStringLiteral("/old"));
        ASSERT_TRUE(SaveBackups(state) && SaveDestinations(state));
        WriteFile(DataFilePath(firstRenamed ? "usrdatab" : "usrdatabTEMP"),
                  "/new\r\n\r\nx\r\nNever\r\nNever\r\n1\r\n1\r\n1\r\n3\r\n1\r\n0\r\n0\r\n1\r\n");
        WriteFile(DataFilePath("usrdatadTEMP"), "/backup\r\n/new\r\n\r\n");
        WriteFile(DataFilePath("storesTEMP"),
                  (DataFilePath("usrdatab") + "\r\n" + DataFilePath("usrdatad") + "\r\n").toUtf8() + marker);

        LoadBackups(state);
        LoadDestinations(state);
        ASSERT_EQ(state.Backups.Count(), 1);
        EXPECT_EQ(state.Backups.Item(1)->SourcePath, expected);
        EXPECT_EQ(state.Destinations.Item(1)->Source, expected);
        EXPECT_FALSE(QFileInfo::exists(DataFilePath("storesTEMP")));
    }
}

} // namespace
