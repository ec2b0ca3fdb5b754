// BackupFile against the product's copier and mount table on real folders, and,
// as root, on a small loop-mounted ext4 that really fills up and really goes away.

#include "engine/FileBackup.h"

#include "engine/EngineFakes.h"
#include "engine/TestFiles.h"
#include "platform/LinuxDrives.h"
#include "platform/LinuxFileCopier.h"
#include "support/TestEnvironment.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {
using Texts = std::vector<QString>;

struct RealWorld
{
    TestEnvironment Env;
    QTemporaryDir Tmp;
    ProgramState State;
    Options Opts;
    colRecent Recent{State};
    colNotifiers Notifiers{State};
    LinuxDrives DriveInfo;
    LinuxFileCopier Copier;
    FakeChangeNotifier Notifier;
    FakeWaiter Wait;
    CountingPump Pump;
    RecordingHooks Hooks;
    EngineContext Context{State, Opts, Recent, Notifiers, DriveInfo, Copier, Notifier, Wait, Pump, Hooks};
    FileBackup Backup{Context};

    QString SourcePath = Tmp.path() + "/src/Work";
    QString FilePath = SourcePath + "/f.txt";

    RealWorld() { WriteFile(FilePath, "one"); }

    QString LabelOf(const QString& path) const
    {
        return DriveInfo.Label(DriveInfo.MountOf(path)->MountPoint);
    }

    clsBackup& Add(const QString& destination, bool keepBackup)
    {
        clsBackup b;
        b.SourcePath = SourcePath;
        b.Folder = true;
        b.Enabled = true;
        b.NotifyOnError = b.NotifyOnSuccess = true;
        b.KeepBackup = keepBackup;
        b.Versions = 3;
        b.Volume = LabelOf(SourcePath) + QChar(0) + QChar(0);
        b.DateLastActivity = QStringLiteral("Never");
        clsBackup* added = State.Backups.Add(b, SourcePath);
        State.Destinations.Add(destination, SourcePath, LabelOf(destination));
        return *added;
    }
    void Run() { Backup.BackupFile(SourcePath, 1, FilePath); }
    Texts Logs() const
    {
        Texts t;
        for (const clsRecent& r : Recent)
            t.push_back(r.Message);
        return t;
    }
};

TEST(FileBackupReal, SavesAndStoresVersionsWithTheProductsCopier)
{
    RealWorld w;
    const QString dst = w.Tmp.path() + "/dst";
    QDir().mkpath(dst);
    w.Add(dst, true);
    w.Run();
    WriteFile(w.FilePath, "two!");
    w.Run();
    EXPECT_EQ(w.Logs(), (Texts{"Success: Copy saved", "Success: Copy saved & Previous version stored"}));
    EXPECT_EQ(ReadFile(dst + "/Work/f.txt"), "two!");
    EXPECT_EQ(ReadFile(dst + "/Work/~PrevSave-1/f.txt"), "one");
    EXPECT_EQ(QFileInfo(dst + "/Work/f.txt").lastModified(), QFileInfo(w.FilePath).lastModified());
    EXPECT_EQ(Entries(dst + "/Work"), QStringList({"f.txt", "~PrevSave-1"})); // no temporary or scratch left
}

TEST(FileBackupReal, ReadOnlyCopyIsReplacedOnlyWithVersions)
{
    for (bool versions : {true, false}) {
        RealWorld w;
        const QString dst = w.Tmp.path() + "/dst";
        WriteFile(dst + "/Work/f.txt", "old");
        MakeReadOnly(dst + "/Work/f.txt");
        w.Add(dst, versions);
        w.Opts.BusyTimeout = 2;
        w.Run();
        if (versions) {
            EXPECT_EQ(w.Logs(), Texts{"Success: Copy saved & Previous version stored"});
            EXPECT_EQ(ReadFile(dst + "/Work/f.txt"), "one");
            EXPECT_TRUE(IsReadOnly(dst + "/Work/~PrevSave-1/f.txt"));
        } else {
            EXPECT_EQ(w.Logs(),
                      (Texts{"Delay: Permission required...", "Error: File was busy and timed out"}));
            EXPECT_EQ(ReadFile(dst + "/Work/f.txt"), "old");
            EXPECT_EQ(w.Wait.Now, 2000);
        }
    }
}

// A small labelled ext4 on a loop device, mounted for the test's lifetime.
class LoopDrive
{
  public:
    explicit LoopDrive(const QString& folder, int megabytes)
        : m_image(folder + "/disk.img"), m_mountPoint(folder + "/mnt")
    {
        QDir().mkpath(m_mountPoint);
        QFile image(m_image);
        if (!image.open(QIODevice::WriteOnly) || !image.resize(qint64(megabytes) << 20))
            return;
        image.close();
        if (!run("mkfs.ext4", {"-q", "-F", "-L", "BACKUP1", m_image}))
            return;
        m_mounted = run("mount", {"-o", "loop", m_image, m_mountPoint});
    }
    ~LoopDrive() { Unmount(); }
    bool Mounted() const { return m_mounted; }
    QString MountPoint() const { return m_mountPoint; }
    bool Unmount()
    {
        if (m_mounted && run("umount", {m_mountPoint}))
            m_mounted = false;
        return !m_mounted;
    }
    QString Error() const { return m_error; }

  private:
    bool run(const QString& program, const QStringList& arguments)
    {
        QProcess p;
        p.start(program, arguments);
        if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            m_error = program + ": " + QString::fromLocal8Bit(p.readAllStandardError()) + p.errorString();
            return false;
        }
        return true;
    }

    QString m_image, m_mountPoint, m_error;
    bool m_mounted = false;
};

#define REQUIRE_LOOP_DRIVE(drive)                                                                            \
    if (geteuid() != 0)                                                                                      \
        GTEST_SKIP() << "needs root to loop-mount a small ext4";                                             \
    if (!(drive).Mounted())                                                                                  \
        GTEST_SKIP() << "cannot loop-mount here: " << (drive).Error().toStdString();

TEST(FileBackupLoopMount, FullDiskIsReportedAndLeavesNoPartialCopy)
{
    RealWorld w;
    LoopDrive drive(w.Tmp.path(), 4);
    REQUIRE_LOOP_DRIVE(drive);
    QByteArray big(8 << 20, '\0');
    for (int i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>((qint64(i) * 7919) % 251);
    WriteFile(w.FilePath, big);
    w.Add(drive.MountPoint(), false);
    EXPECT_EQ(w.LabelOf(drive.MountPoint()), QStringLiteral("BACKUP1"));
    w.Run();
    EXPECT_EQ(w.Logs(), Texts{"Error: Disk is full"});
    EXPECT_TRUE(Entries(drive.MountPoint() + "/Work").isEmpty());
}

TEST(FileBackupLoopMount, UnmountedDriveIsGoneAndNothingIsCreatedInItsPlace)
{
    RealWorld w;
    LoopDrive drive(w.Tmp.path(), 4);
    REQUIRE_LOOP_DRIVE(drive);
    const QString destination = drive.MountPoint() + "/Backup";
    QDir().mkpath(destination);
    w.Add(destination, true);
    w.Run();
    EXPECT_EQ(ReadFile(destination + "/Work/f.txt"), "one");
    ASSERT_TRUE(drive.Unmount());
    WriteFile(w.FilePath, "two!");
    w.Run();
    EXPECT_EQ(w.Logs(), (Texts{"Success: Copy saved", "Error: Destination drive no longer exists"}));
    EXPECT_TRUE(Entries(drive.MountPoint()).isEmpty());
}
} // namespace
