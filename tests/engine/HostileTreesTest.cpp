// Each save is copied under its very bytes or refused with an error text, and never a hang.

#include "LiveEngine.h"

#include "support/LoopDrive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>
#include <unistd.h>

namespace {

// Fifteen or sixteen folder levels of 252 bytes each.
QByteArray Deep(int levels)
{
    QByteArray deep;
    for (int i = 0; i < levels; ++i)
        deep += QByteArray(251, 'd') + char('a' + i) + '/';
    return deep;
}

TEST(HostileTrees, NamesAreCopiedUnderTheirBytesOrRefusedWithAnError)
{
    const int rootLength = int(FileNames::Encode(LiveEngine().Root).size());
    // The source path ends at 4092 bytes, the copy's 7 bytes longer ("Backup/").
    const QByteArray tooLong = Deep(16) + QByteArray(4092 - rootLength - 1 - Deep(16).size(), 'n');
    // {label, path below the source folder, the copy's path fits in PATH_MAX at the destination}
    const std::tuple<const char*, QByteArray, bool> rows[] = {
        {"line feed", "line\nfeed.txt", true},
        {"leading dash", "-d/--rf", true},
        {"not UTF-8", "caf\xe9/\xff\xfe.txt", true},
        {"255-byte name", QByteArray(251, 'n') + ".txt", true},
        {"4000-byte path", Deep(15) + QByteArray(190, 'n'), true},
        {"copy's path too long", tooLong, false},
    };
    for (const auto& [label, relative, fits] : rows) {
        SCOPED_TRACE(label);
        LiveEngine live;
        ASSERT_TRUE(live.WatchRoot());

        // Written by its bytes, never decoded.
        const std::filesystem::path path((FileNames::Encode(live.Root) + '/' + relative).toStdString());
        std::filesystem::create_directories(path.parent_path());
        WriteRawFile(QByteArray::fromStdString(path.string()), "saved");
        ASSERT_TRUE(runUntil([&] { return !live.Log().empty() && !live.State.Scanning; }));
        QTest::qWait(200);
        EXPECT_EQ(filesBelow(live.Backup), (fits ? Files{{"Work/" + relative, "saved"}} : Files{}));
        EXPECT_EQ(live.Log(), std::vector<QString>{fits ? "Success: Copy saved" : "Error occurred in copy"});
    }
}

// The folder's file cannot get a folder where a copy is: reported, not claimed as saved.
TEST(HostileTrees, FileReplacedByAFolderBeforeTheScanLosesNothing)
{
    LiveEngine live;
    ASSERT_TRUE(live.WatchRoot());
    live.Save("a.txt", "one");
    ASSERT_TRUE(runUntil([&] { return live.CopyOf("a.txt") == "one"; }));

    live.Pump.OnPump = [&, replaced = false]() mutable {
        if (live.State.Scanning && !std::exchange(replaced, true)) {
            QFile::remove(live.Root + "/a.txt");
            live.Save("a.txt/inner.txt", "inner");
        }
    };
    live.Save("a.txt", "two");
    ASSERT_TRUE(runUntil([&] { return live.Log().size() >= 2 && !live.State.Scanning; }));
    QTest::qWait(300);
    EXPECT_EQ(live.Log(),
              (std::vector<QString>{"Success: Copy saved", "Error: Can't create destination folders"}));
    EXPECT_EQ(filesBelow(live.Backup), (Files{{"Work/a.txt", "one"}}));
}

// Every success has its whole copy; the folder made again is watched, and idle, sleeps.
TEST(HostileTrees, SourceDeletedDuringTheScanEndsItAndIsWatchedWhenBack)
{
    LiveEngine live;
    ASSERT_TRUE(live.WatchRoot());

    int pumps = 0;
    live.Pump.OnPump = [&] {
        if (live.State.Scanning && ++pumps == 20)
            LocalFiles::RemoveTree(live.Root);
    };
    for (int i = 0; i < 30; ++i)
        live.Save(QString("%1/f%2.txt").arg(i % 3).arg(i), QByteArray::number(i));
    ASSERT_TRUE(runUntil([&] { return pumps >= 20 && !live.State.Scanning; }));
    QTest::qWait(300);
    live.Pump.OnPump = nullptr;
    const Files copies = filesBelow(live.Backup);
    for (const auto& [file, content] : copies) // f<i>.txt holds i
        EXPECT_EQ(content, file.mid(file.lastIndexOf('/') + 2).chopped(4)) << file.constData();
    EXPECT_EQ(live.Count("Success"), int(copies.size()));

    ASSERT_TRUE(runUntil([&] { return live.Run.NextTickMs() == Engine::VanishedLookMs; }));
    live.Save("back.txt", "back");
    EXPECT_TRUE(runUntil([&] { return live.CopyOf("back.txt") == "back"; }));
    EXPECT_TRUE(runUntil([&] { return live.Run.NextTickMs() == -1; }));
}

// Loop-mounted ext4 drives that fill up, go away and come back: as root (CI), skipped otherwise.

// Fills the drive to the last block.
void Fill(const QString& mountPoint)
{
    QFile filler(mountPoint + "/filler");
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    for (qsizetype size = 64 << 10; size > 0; size /= 2)
        while (filler.write(QByteArray(size, 'f')) == size && filler.flush()) {
        }
}

// Backs source up into destination, watched, with its first save copied to copy.
void StartWithOneCopy(LiveEngine& live, const QString& source, const QString& destination,
                      const QString& copy)
{
    QDir().mkpath(source);
    QDir().mkpath(destination);
    live.AssociateFolder(source, true, destination);
    ASSERT_TRUE(live.Start());
    WriteFile(source + "/a.txt", "one");
    ASSERT_TRUE(runUntil([&] { return ReadFile(copy) == "one"; }));
}

TEST(MountChanges, FullDestinationKeepsTheLastCopyAndTakesTheNextSaveOnceFreed)
{
    LiveEngine live;
    LoopDrive drive(live.Tmp.path() + "/drive");
    REQUIRE_LOOP_DRIVE(drive);
    const QString copy = drive.MountPoint + "/Work/a.txt";
    ASSERT_NO_FATAL_FAILURE(StartWithOneCopy(live, live.Root, drive.MountPoint, copy));

    Fill(drive.MountPoint);
    live.Save("a.txt", QByteArray(256 << 10, '2'));
    ASSERT_TRUE(runUntil([&] { return live.Log().size() == 2 && !live.State.Scanning; }));
    EXPECT_EQ(live.Log().back(), "Error: Disk is full");
    Files onDrive = filesBelow(drive.MountPoint);
    onDrive.erase("filler");
    EXPECT_EQ(onDrive, (Files{{"Work/a.txt", "one"}}));

    ASSERT_TRUE(QFile::remove(drive.MountPoint + "/filler"));
    ::sync(); // ext4 reuses freed blocks only once the journal has committed
    live.Save("a.txt", "three");
    ASSERT_TRUE(runUntil([&] { return ReadFile(copy) == "three"; }));
    EXPECT_EQ(live.Log().back(), "Success: Copy saved & Previous version stored");
    EXPECT_EQ(ReadFile(drive.MountPoint + "/Work/~PrevSave-1/a.txt"), "one");
}

// Nothing is written to the folder left underneath, whether mount point or a folder on the drive.
TEST(MountChanges, UnmountedDestinationIsReportedAndResumesWhenMounted)
{
    for (const QString& below : {QString(), QStringLiteral("/Backup")}) {
        SCOPED_TRACE(below.isEmpty() ? "mount point" : "folder on the drive");
        LiveEngine live;
        LoopDrive drive(live.Tmp.path() + "/drive");
        REQUIRE_LOOP_DRIVE(drive);
        const QString copy = drive.MountPoint + below + "/Work/a.txt";
        ASSERT_NO_FATAL_FAILURE(StartWithOneCopy(live, live.Root, drive.MountPoint + below, copy));

        ASSERT_TRUE(drive.Unmount());
        live.Save("a.txt", "two");
        ASSERT_TRUE(runUntil([&] { return live.Log().size() == 2 && !live.State.Scanning; }));
        EXPECT_EQ(live.Log().back(), "Error: Destination drive no longer exists");
        EXPECT_TRUE(Entries(drive.MountPoint).isEmpty());

        ASSERT_TRUE(drive.Mount());
        live.Save("a.txt", "three");
        ASSERT_TRUE(runUntil([&] { return ReadFile(copy) == "three"; }));
        EXPECT_EQ(live.Log().back(), "Success: Copy saved & Previous version stored");
    }
}

// Nothing is copied from the empty folder left behind, and no copy is touched.
TEST(MountChanges, SourceDriveThatGoesAwayIsWatchedAgainWhenBack)
{
    for (const QString& below : {QString(), QStringLiteral("/Work")}) {
        SCOPED_TRACE(below.isEmpty() ? "mount point" : "folder on the drive");
        LiveEngine live;
        LoopDrive drive(live.Tmp.path() + "/drive");
        REQUIRE_LOOP_DRIVE(drive);
        const QString source = drive.MountPoint + below;
        const QString copies = live.Backup + "/" + QFileInfo(source).fileName();
        ASSERT_NO_FATAL_FAILURE(StartWithOneCopy(live, source, live.Backup, copies + "/a.txt"));

        ASSERT_TRUE(drive.Unmount());
        QTest::qWait(1100);
        EXPECT_EQ(live.Log().size(), 1u);

        // Saved at once, before the drive is noticed again: found when it is.
        ASSERT_TRUE(drive.Mount());
        WriteFile(source + "/b.txt", "two");
        EXPECT_TRUE(runUntil([&] { return ReadFile(copies + "/b.txt") == "two"; }));
        EXPECT_EQ(ReadFile(copies + "/a.txt"), "one");
        EXPECT_EQ(live.Count("Error"), 0);
    }
}

} // namespace
