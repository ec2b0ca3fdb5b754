#include "platform/FilePath.h"
#include "platform/FileNames.h"

#include <gtest/gtest.h>

namespace {
// Paths of rows go through FileNames::Decode, so "\xe9" is a byte that is not UTF-8.
QString p(const char* text)
{
    return FileNames::Decode(text);
}

TEST(FilePath, TrailingSlashesRootsAndNames)
{
    const struct
    {
        const char *Path, *StripOne, *StripAll, *Root, *Parent, *Name;
    } rows[] = {
        {"/data/Work/", "/data/Work", "/data/Work", "/", "/data/Work", "Work"},
        {"/data/Work//", "/data/Work/", "/data/Work", "/", "/data/Work/", "Work"},
        {"/x.txt", "/x.txt", "/x.txt", "/", "/", "x.txt"},
        {"/", "/", "/", "/", "/", ""},
        {"//", "/", "/", "", "/", ""},
        {"", "", "", "", ".", ""},
        {"x", "x", "x", "", ".", "x"},
        {"//server/share/", "//server/share", "//server/share", "", "//server/share", "share"},
    };
    for (const auto& row : rows) {
        const QString path = p(row.Path);
        EXPECT_EQ(FilePath::StripTrailingBackslash(path), p(row.StripOne)) << row.Path;
        EXPECT_EQ(FilePath::WithoutTrailingSlashes(path), p(row.StripAll)) << row.Path;
        EXPECT_EQ(FilePath::GetPathRoot(path), p(row.Root)) << row.Path;
        EXPECT_EQ(FilePath::Parent(path), p(row.Parent)) << row.Path;
        EXPECT_EQ(FilePath::FileName(path), p(row.Name)) << row.Path;
    }
}

TEST(FilePath, JoinPutsExactlyOneSlashAndNeverANetworkFormFromTheRoot)
{
    for (const auto& [folder, name, joined] : {std::tuple{"/", "Work", "/Work"},
                                               {"/media/USB", "Work", "/media/USB/Work"},
                                               {"/media/USB/", "Work", "/media/USB/Work"},
                                               {"//host/", "/a/b", "//host/a/b"},
                                               {"//host", "", "//host"},
                                               {"", "/Projects", "/Projects"}})
        EXPECT_EQ(FilePath::Join(p(folder), p(name)), p(joined)) << folder << " + " << name;
}

TEST(FilePath, ContainmentComparesWholeComponentsExactly)
{
    const struct
    {
        const char *Path, *Folder;
        bool Below, Directly;
        const char* Relative;
    } rows[] = {
        {"/data/Work2", "/data/Work", false, false, nullptr},
        {"/data/work/a", "/data/Work", false, false, nullptr},
        {"/data", "/data/Work", false, false, nullptr},
        {"/data/Work/a", "/data/Work", true, true, "a"},
        {"/data/Work/a/b/", "/data/Work/", true, false, "a/b/"},
        {"/data/Work", "/data/Work", true, false, ""},
        {"/anything/x", "/", true, false, "anything/x"},
        {"/x", "/", true, true, "x"},
        {"/", "/", true, false, ""},
        {"/data/x", "", false, false, nullptr},
        {"//server/share/B", "//server/share", true, true, "B"},
        {"/caf\xe9/a", "/caf\xe9", true, true, "a"},
        // another byte that is not UTF-8 is another name
        {"/caf\xe8/a", "/caf\xe9", false, false, nullptr},
    };
    for (const auto& row : rows) {
        const QString path = p(row.Path), folder = p(row.Folder);
        EXPECT_EQ(FilePath::IsSameOrBelow(path, folder), row.Below) << row.Path << " in " << row.Folder;
        EXPECT_EQ(FilePath::IsDirectlyIn(path, folder), row.Directly) << row.Path << " in " << row.Folder;
        if (row.Below) {
            EXPECT_EQ(FilePath::RelativePath(path, folder), p(row.Relative))
                << row.Path << " in " << row.Folder;
        }
    }
    EXPECT_TRUE(FilePath::SamePath(p("/data/Work//"), p("/data/Work")));
    EXPECT_FALSE(FilePath::SamePath(p("/data/Work"), p("/data/work")));
}
} // namespace
