#include "engine/VersionRotation.h"

#include "support/EngineFakes.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <tuple>

namespace {
const QString Base = QStringLiteral("~PrevSave");

class Rotation : public ::testing::Test
{
  protected:
    void SetUp() override { QDir().mkpath(D()); }
    QString D() const { return m_tmp.path() + "/Work"; }
    QString Current() const { return D() + "/f.txt"; }
    QString Version(int k, const QString& base = Base) const
    {
        return VersionRotation::VersionFolder(D(), base, k) + "/f.txt";
    }
    VersionRotation::Result Rotate(int versions, const QString& base = Base, const QString& name = "f.txt")
    {
        return VersionRotation::Rotate(D(), name, base, versions, m_copier);
    }
    // One backup as the engine does it: store the old copy, then replace the current one.
    void Save(const QByteArray& content, int versions, const QString& base = Base,
              const QString& name = "f.txt")
    {
        ASSERT_FALSE(Rotate(versions, base, name).Failed());
        ASSERT_TRUE(WriteFile(m_tmp.path() + "/source.txt", content));
        ASSERT_TRUE(m_copier.Copy(m_tmp.path() + "/source.txt", D() + "/" + name, {}));
    }

    QTemporaryDir m_tmp;
    FaultyFiles m_files;
    LinuxFileCopier m_copier{m_files};
};

TEST_F(Rotation, NoneOrOneVersionUsesOnlyTheFirstFolder)
{
    for (int versions : {0, 1}) {
        QDir(D()).removeRecursively();
        QDir().mkpath(D());
        for (int i = 1; i <= 3; ++i)
            Save("v" + QByteArray::number(i), versions);
        EXPECT_EQ(ReadFile(Version(1)), "v2") << versions;
        EXPECT_EQ(Entries(D()), QStringList({"f.txt", "~PrevSave-1"})) << versions;
    }
}

TEST_F(Rotation, LeftOverScratchFolderAndFoldersAboveTheCountAreLeftAlone)
{
    Save("v1", 2);
    ASSERT_TRUE(WriteFile(D() + "/~PrevSave-1-S/keep.txt", "left"));
    ASSERT_TRUE(WriteFile(Version(3), "from a larger setting"));
    Save("v2", 2);
    Save("v3", 2);
    EXPECT_EQ(ReadFile(D() + "/~PrevSave-1-S/keep.txt"), "left");
    EXPECT_FALSE(QFileInfo::exists(D() + "/~PrevSave-1-S-S"));
    EXPECT_EQ(ReadFile(Version(3)), "from a larger setting");
    EXPECT_EQ(ReadFile(Version(1)), "v2");
    EXPECT_EQ(ReadFile(Version(2)), "v1");
}

// A kill mid-rotation leaves the scratch folder (marked, or empty); each would
// otherwise stay for good. No file name may clash with the scratch's own entries.
TEST_F(Rotation, CrashLeftScratchGoesAndNoFileNameClashesWithTheScratch)
{
    for (const QString name : {"old-1", "new", ".savenook-scratch"}) {
        QDir(D()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(D() + "/~PrevSave-1-S"));
        if (name != "new") {
            ASSERT_TRUE(QDir().mkpath(D() + "/~PrevSave-1-S/.savenook-scratch"));
            ASSERT_TRUE(WriteFile(D() + "/~PrevSave-1-S/old/1", "stashed"));
        }
        for (const char* content : {"v1", "v2", "v3", "v4", "v5"})
            Save(content, 3, Base, name);
        for (int k = 1; k <= 3; ++k)
            EXPECT_EQ(ReadFile(D() + QStringLiteral("/~PrevSave-%1/").arg(k) + name),
                      "v" + QByteArray::number(5 - k))
                << name.toStdString() << " version " << k;
        EXPECT_EQ(Entries(D()), QStringList({name, "~PrevSave-1", "~PrevSave-2", "~PrevSave-3"}))
            << name.toStdString();
    }
}

TEST_F(Rotation, RenamedBaseStartsItsOwnSeries)
{
    Save("v1", 3);
    Save("v2", 3);
    Save("v3", 3, QStringLiteral("old"));
    Save("v4", 3, QStringLiteral("old"));
    EXPECT_EQ(ReadFile(Version(1, "old")), "v3");
    EXPECT_EQ(ReadFile(Version(2, "old")), "v2");
    EXPECT_EQ(ReadFile(Version(1)), "v1"); // the earlier series stays untouched
    EXPECT_FALSE(QFileInfo::exists(Version(2)));
}

TEST_F(Rotation, GapInTheNumberingStaysWhereItWas)
{
    // Without a file in version 1, version 2's file is copied up but also kept.
    ASSERT_TRUE(WriteFile(Current(), "current"));
    ASSERT_TRUE(WriteFile(Version(2), "two"));
    ASSERT_TRUE(Rotate(3).Stored);
    EXPECT_EQ(ReadFile(Version(1)), "current");
    EXPECT_EQ(ReadFile(Version(2)), "two");
    EXPECT_EQ(ReadFile(Version(3)), "two");
}

// A failed step names its call, paths and error and moves no version; a disk that
// takes neither links nor permissions still gets the version.
TEST_F(Rotation, FailureNamesItsStepAndNoLinkOrPermissionIsNeeded)
{
    using C = FaultyFiles::Call;
    // The faults, the failure told, what version 1 holds then.
    const std::tuple<std::vector<FaultyFiles::Fault>, QString, QByteArray> rows[] = {
        {{{C::Rename, EACCES}}, "rename " + Version(1) + " -> " + Version(2) + ": Permission denied", "v1"},
        {{{C::MakeFolder, EIO}}, "mkdir " + D() + "/~PrevSave-1: Input/output error", "v1"},
        {{{C::Link, EXDEV}, {C::SetPermissions, EPERM}}, "", "v2"},
    };
    for (const auto& [script, failure, version1] : rows) {
        Save("v1", 3);
        Save("v2", 3);
        m_files.Script = script;
        const VersionRotation::Result result = Rotate(3);
        EXPECT_TRUE(m_files.Script.empty()); // every fault struck
        EXPECT_EQ(result.Failure.Message(), failure);
        EXPECT_EQ(result.Stored, failure.isEmpty());
        EXPECT_EQ(ReadFile(Current()), "v2");
        EXPECT_EQ(ReadFile(Version(1)), version1);
        QDir(D()).removeRecursively();
        QDir().mkpath(D());
    }
}

} // namespace
