// File systems that fill up, go away and come back under the running engine:
// small loop-mounted ext4 drives, as root (CI); skipped otherwise.

#include "LiveEngine.h"

#include "support/LoopDrive.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

// Fills the drive to the last block.
void Fill(const QString& mountPoint)
{
    QFile filler(mountPoint + "/filler");
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    const QByteArray chunk(64 << 10, 'f');
    while (filler.write(chunk) == chunk.size() && filler.flush()) {
    }
    while (filler.write("f", 1) == 1 && filler.flush()) {
    }
}

TEST(MountChanges, FullDestinationKeepsTheLastCopyAndTakesTheNextSaveOnceFreed)
{
    LiveEngine live;
    LoopDrive drive(live.Tmp.path() + "/drive");
    REQUIRE_LOOP_DRIVE(drive);
    const QString copy = drive.MountPoint + "/Work/a.txt";
    live.Associate(live.Root, true, false, drive.MountPoint);
    ASSERT_TRUE(live.Start());
    WriteFile(live.Root + "/a.txt", "one");
    ASSERT_TRUE(runUntil([&] { return ReadFile(copy) == "one"; }));

    Fill(drive.MountPoint);
    WriteFile(live.Root + "/a.txt", QByteArray(256 << 10, '2'));
    ASSERT_TRUE(runUntil([&] { return live.Log().size() == 2 && !live.State.Scanning; }));
    EXPECT_EQ(live.Log().back(), "Error: Disk is full");
    EXPECT_EQ(ReadFile(copy), "one");
    EXPECT_EQ(filesBelow(drive.MountPoint), (std::set<QByteArray>{"Work/a.txt", "filler"}));

    ASSERT_TRUE(QFile::remove(drive.MountPoint + "/filler"));
    ::sync(); // ext4 reuses freed blocks only once the journal has committed
    WriteFile(live.Root + "/a.txt", "three");
    ASSERT_TRUE(runUntil([&] { return ReadFile(copy) == "three"; }));
    EXPECT_EQ(live.Log().back(), "Success: Copy saved & Previous version stored");
    EXPECT_EQ(ReadFile(drive.MountPoint + "/Work/~PrevSave-1/a.txt"), "one");
}

// Unmounted under the running program, whether the destination is the mount
// point or a folder on the drive: reported, nothing written to the folder
// underneath, and backed up again once the drive is back.
TEST(MountChanges, UnmountedDestinationIsReportedAndResumesWhenMounted)
{
    for (const QString& below : {QString(), QStringLiteral("/Backup")}) {
        SCOPED_TRACE(below.isEmpty() ? "mount point" : "folder on the drive");
        LiveEngine live;
        LoopDrive drive(live.Tmp.path() + "/drive");
        REQUIRE_LOOP_DRIVE(drive);
        const QString copy = drive.MountPoint + below + "/Work/a.txt";
        QDir().mkpath(drive.MountPoint + below);
        live.Associate(live.Root, true, false, drive.MountPoint + below);
        ASSERT_TRUE(live.Start());
        WriteFile(live.Root + "/a.txt", "one");
        ASSERT_TRUE(runUntil([&] { return ReadFile(copy) == "one"; }));

        ASSERT_TRUE(drive.Unmount());
        WriteFile(live.Root + "/a.txt", "two");
        ASSERT_TRUE(runUntil([&] { return live.Log().size() == 2 && !live.State.Scanning; }));
        EXPECT_EQ(live.Log().back(), "Error: Destination drive no longer exists");
        EXPECT_TRUE(Entries(drive.MountPoint).isEmpty());

        ASSERT_TRUE(drive.Mount());
        WriteFile(live.Root + "/a.txt", "three");
        ASSERT_TRUE(runUntil([&] { return ReadFile(copy) == "three"; }));
        EXPECT_EQ(live.Log().back(), "Success: Copy saved & Previous version stored");
    }
}

// The source's drive goes away while it is watched (the source being its mount
// point or a folder on it): nothing is copied from the empty folder left
// behind, no copy is touched, and saves are backed up again once it is back.
TEST(MountChanges, SourceDriveThatGoesAwayIsWatchedAgainWhenBack)
{
    for (const QString& below : {QString(), QStringLiteral("/Work")}) {
        SCOPED_TRACE(below.isEmpty() ? "mount point" : "folder on the drive");
        LiveEngine live;
        LoopDrive drive(live.Tmp.path() + "/drive");
        REQUIRE_LOOP_DRIVE(drive);
        const QString source = drive.MountPoint + below;
        const QString copies = live.Backup + "/" + QFileInfo(source).fileName();
        QDir().mkpath(source);
        live.Associate(source, true, true, live.Backup);
        ASSERT_TRUE(live.Start());
        WriteFile(source + "/a.txt", "one");
        ASSERT_TRUE(runUntil([&] { return ReadFile(copies + "/a.txt") == "one"; }));

        ASSERT_TRUE(drive.Unmount());
        runFor(1100);
        EXPECT_EQ(live.Log().size(), 1u);
        EXPECT_EQ(ReadFile(copies + "/a.txt"), "one");

        ASSERT_TRUE(drive.Mount());
        runFor(1100);
        WriteFile(source + "/b.txt", "two");
        EXPECT_TRUE(runUntil([&] { return ReadFile(copies + "/b.txt") == "two"; }));
        EXPECT_EQ(ReadFile(copies + "/a.txt"), "one");
        EXPECT_EQ(live.Count("Error"), 0);
    }
}

} // namespace
