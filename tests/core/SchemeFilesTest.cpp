#include "core/SchemeFiles.h"
#include "core/DataFolder.h"
#include "core/Stores.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

// The stores' lines of one association and of its destination.
QByteArray association(const char* source)
{
    return source + QByteArray("\r\n\r\nx\r\nNever\r\nNever\r\n1\r\n1\r\n1\r\n3\r\n1\r\n0\r\n0\r\n1\r\n");
}

QByteArray destination(const char* source)
{
    return "/backup\r\n" + QByteArray(source) + "\r\n\r\n";
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
    WriteFile(DataFilePath("usrdatab"), association("/data/Work"));
    WriteFile(DataFilePath("usrdatad"), destination("/data/Work"));
    QDir().mkpath(DataFilePath("usrdatadTEMP/blocked"));
    WriteFile(SchemeFiles::Folder() + "/Other.sch", "/data/Other\r\n");
    WriteFile(SchemeFiles::Folder() + "/Other.sch.dst", "/b\r\n/data/Other\r\n\r\n");
    QString error;
    EXPECT_EQ(SchemeFiles::Load(QStringLiteral("Other.sch"), &error), SchemeFiles::LoadResult::Failed);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(ReadFile(DataFilePath("usrdatab")), association("/data/Work"));
    EXPECT_EQ(ReadFile(DataFilePath("usrdatad")), destination("/data/Work"));
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
        WriteFile(DataFilePath("usrdatab"), association("/old"));
        WriteFile(DataFilePath("usrdatad"), destination("/old"));
        WriteFile(DataFilePath(firstRenamed ? "usrdatab" : "usrdatabTEMP"), association("/new"));
        WriteFile(DataFilePath("usrdatadTEMP"), destination("/new"));
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
