// Listing held copies and putting one back, on real folders with fake drives.

#include "engine/PreviousVersions.h"
#include "engine/VersionRestore.h"

#include "engine/FileBackup.h"
#include "platform/FileNames.h"
#include "platform/LinuxFileCopier.h"
#include "platform/LocalFiles.h"
#include "support/EngineFakes.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
const QDateTime T0 = QDateTime(QDate(2026, 3, 1), QTime(9, 0));

struct World
{
    TestEnvironment Env;
    QTemporaryDir Tmp;
    EngineRig Rig;
    FileBackup Backup{Rig.Context};
    DestinationMounts Mounts;
    PreviousVersions Versions{Rig.State, Rig.DriveInfo, Mounts, Rig.Opts.PrevSaveName};
    QString Source = Tmp.path() + "/src/Work";
    QString Dst1 = Tmp.path() + "/d1", Dst2 = Tmp.path() + "/d2";
    clsBackup* Association = nullptr;

    World()
    {
        QDir().mkpath(Source);
        QDir().mkpath(Dst1);
        QDir().mkpath(Dst2);
        Association = &Rig.AddAssociation(Source, true, true, {Dst1, Dst2});
        Association->KeepBackup = true;
        Association->Versions = 3;
    }
    // QTemporaryDir cannot remove names that are not UTF-8.
    ~World() { LocalFiles::RemoveTree(Tmp.path()); }
    // Saves content at minute m and backs it up.
    void Save(const QString& path, const QByteArray& content, int m)
    {
        WriteFile(path, content, T0.addSecs(60 * m));
        Backup.BackupFile(Association->SourcePath, 1, path);
    }
};

TEST(PreviousVersions, ListsEveryCopyNewestFirstAndUnreachableDestinations)
{
    World w;
    const QString f = w.Source + "/f.txt";
    for (int m = 0; m < 3; ++m)
        w.Save(f, QByteArray("v") + QByteArray::number(m), m);
    QDir(w.Dst2).removeRecursively(); // its drive is gone: only the empty mount point would remain
    const PreviousVersions::Listing l = w.Versions.List(*w.Association, f);
    ASSERT_EQ(l.Copies.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(l.Copies[i].Version, i);
        EXPECT_EQ(l.Copies[i].Size, 2);
        EXPECT_EQ(l.Copies[i].ModifiedMs, T0.addSecs(60 * (2 - i)).toMSecsSinceEpoch());
    }
    ASSERT_EQ(l.Missing.size(), 1u);
    EXPECT_EQ(l.Missing[0].Destination, w.Dst2);
    // Another drive with the wrong label mounted at the first destination.
    w.Rig.DriveInfo.AddMount(w.Dst1, "ext4", "OTHER");
    EXPECT_EQ(w.Versions.List(*w.Association, f).Missing.size(), 2u);
}

// The current file is kept through a backup; a failed rename of the restored copy
// changes nothing, leaving not even a file kept beside.
TEST(PreviousVersions, RestoreKeepsTheCurrentFileAndFailureChangesNothing)
{
    for (const bool failCommit : {false, true}) {
        World w;
        const QString f = w.Source + "/f.txt";
        for (int m = 0; m < 4; ++m)
            w.Save(f, QByteArray("v") + QByteArray::number(m), m);
        WriteFile(f, "changed", T0.addSecs(600)); // not backed up yet
        const PreviousVersions::Listing l = w.Versions.List(*w.Association, f);
        const auto v2 = std::find_if(l.Copies.begin(), l.Copies.end(), [&](const auto& c) {
            return c.Version == 2 && c.Destination == w.Dst1;
        });
        ASSERT_NE(v2, l.Copies.end());
        FaultyFiles files;
        LinuxFileCopier copier(files);
        if (failCommit)
            files.Script = {{FaultyFiles::Call::Rename, ENOSPC, 1, 1, ">" + f}};
        std::function<bool(const QString&)> keep; // failing: kept beside
        if (!failCommit)
            keep = [&](const QString& target) {
                w.Backup.BackupFile(w.Association->SourcePath, 1, target);
                return true;
            };
        const VersionRestore::Result r = VersionRestore::Restore(v2->Path, f, copier, true, keep);
        VersionRestore::Log(w.Rig.Recent, f, v2->Path, r);
        if (failCommit) {
            EXPECT_FALSE(r.Restored);
            EXPECT_EQ(ReadFile(f), "changed");
            EXPECT_EQ(w.Rig.LogMessages().back(), "Error: Restore failed (disk is full)");
        } else {
            EXPECT_TRUE(r.Restored);
            EXPECT_EQ(ReadFile(f), "v1");
            EXPECT_EQ(ReadFile(w.Dst1 + "/Work/f.txt"), "changed");
            EXPECT_TRUE(w.Rig.LogMessages().back().startsWith("Success: Previous version restored"));
        }
        EXPECT_EQ(Entries(w.Source), QStringList{"f.txt"}); // nothing staged left
    }
    EXPECT_EQ(VersionRestore::BesideName("/a/.rc", T0), "/a/.rc (before restore 2026-03-01 090000)");
}

TEST(PreviousVersions, DeletedFilesWithAwkwardNamesAreFoundAndRestored)
{
    World w;
    const QString odd = FileNames::Decode("sub/caf\xe9 Zw\xc3\xb6lf.txt");
    QDir().mkpath(w.Source + "/sub");
    const QString gone = w.Source + "/" + odd;
    WriteRawFile(FileNames::Encode(gone), "first");
    w.Backup.BackupFile(w.Source, 1, gone);
    WriteRawFile(FileNames::Encode(gone), "second!");
    w.Backup.BackupFile(w.Source, 1, gone);
    w.Save(w.Source + "/kept.txt", "k", 9);
    ASSERT_TRUE(LocalFiles::RemoveTree(w.Source + "/sub")); // its folder went with it
    EXPECT_EQ(w.Versions.Deleted(*w.Association), QStringList{gone});

    const PreviousVersions::Listing l = w.Versions.List(*w.Association, gone);
    ASSERT_FALSE(l.Copies.empty());
    const VersionRestore::Result r =
        VersionRestore::Restore(l.Copies.front().Path, gone, w.Rig.Copier, true, nullptr);
    EXPECT_TRUE(r.Restored);
    EXPECT_TRUE(r.KeptBeside.isEmpty()); // nothing was there to keep
    EXPECT_TRUE(w.Versions.Deleted(*w.Association).isEmpty());
    const auto bytes = w.Versions.VersionBytes(*w.Association);
    ASSERT_EQ(bytes.size(), 2u);
    EXPECT_GT(bytes[0].second.value_or(0), 0);
}
} // namespace

#include "engine/TextDiff.h"

TEST(TextDiff, UnifiedHunksOfTwoVersions)
{
    struct Row
    {
        QString Old, New, Expected;
    };
    const QString h = "--- v2\n+++ now\n";
    for (const Row& r : {
             Row{"a\nb\nc\n", "a\nb\nc\n", ""},
             Row{"a\nb\nc\n", "a\nB\nc\n", h + "@@ -1,3 +1,3 @@\n a\n-b\n+B\n c\n"},
             Row{"", "x\n", h + "@@ -0,0 +1,1 @@\n+x\n"},
             Row{"1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n", "0\n1\n2\n3\n4\n5\n6\n7\n8\n9\n",
                 h + "@@ -1,3 +1,4 @@\n+0\n 1\n 2\n 3\n@@ -7,4 +8,3 @@\n 7\n 8\n 9\n-10\n"},
         })
        EXPECT_EQ(TextDiff::Unified(r.Old, r.New, "v2", "now", 3).toStdString(), r.Expected.toStdString());
}
