#include "engine/FileBackup.h"

#include "engine/VersionRotation.h"
#include "platform/LinuxDrives.h"
#include "platform/VolumeLabels.h"
#include "support/EngineFakes.h"
#include "support/LoopDrive.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <tuple>
#include <vector>

namespace {
using Texts = std::vector<QString>;
using Anims = std::vector<TrayAnimation>;
constexpr auto Nod = TrayAnimation::Nod, Shake = TrayAnimation::Shake, Shrug = TrayAnimation::Shrug;
const QString Delay = QStringLiteral("Delay: Permission required...");
const QString TimedOut = QStringLiteral("Error: File was busy and timed out");
const QString Saved = QStringLiteral("Success: Copy saved");

// Fakes around a real temporary folder: folder association <tmp>/src/Work backing up f.txt into <tmp>/dst.
struct World
{
    TestEnvironment Env;
    QTemporaryDir Tmp;
    EngineRig Rig;
    FileBackup Backup{Rig.Context};

    QString SourcePath = Tmp.path() + "/src/Work";
    QString FilePath = SourcePath + "/f.txt";
    bool Recursive = false;
    QString Volume = QString(2, QChar(0));
    std::vector<std::pair<QString, QString>> Destinations{{Tmp.path() + "/dst", QString()}};

    World()
    {
        QDir().mkpath(Dst());
        WriteFile(FilePath, "one");
    }
    QString Dst() const { return Tmp.path() + "/dst"; }
    QString CopyPath() const { return Dst() + "/Work/f.txt"; }
    QString Version(int k) const { return Dst() + "/Work/~PrevSave-" + QString::number(k) + "/f.txt"; }
    void AddSecondDestination() { Destinations.emplace_back(Tmp.path() + "/dst2", QString()); }

    clsBackup& Association() { return *Rig.State.Backups.Item(SourcePath); }
    // Adds the association as configured so far; versions > 0 keeps that many.
    clsBackup& Prepare(int versions = 0)
    {
        clsBackup& b = Rig.AddAssociation(SourcePath, true, Recursive);
        b.Volume = Volume;
        b.KeepBackup = versions > 0;
        b.Versions = versions;
        for (const auto& [path, volume] : Destinations)
            Rig.State.Destinations.Add(path, SourcePath, volume);
        return Association();
    }
    void Run(const QString& file = {}) { Backup.BackupFile(SourcePath, 1, file.isEmpty() ? FilePath : file); }
    Texts Logs() const { return Rig.LogMessages(); }
    Texts Popups() const { return Rig.PopupMessages(); }
    // Copies into the destination fail: EACCES as they begin, others as they write; -1: always.
    void FailCopies(int error, int times = -1)
    {
        using C = FaultyFiles::Call;
        const QString temporary = Dst() + "/Work/" + LinuxFileCopier::TemporaryPrefix;
        Rig.Files.Script.push_back({error == EACCES ? C::Create : C::Write, error, 1, times, temporary});
    }
    // The source changes under each of the next copies.
    void ChangeSourceDuringCopies(int times = -1)
    {
        Rig.Files.Script.push_back({FaultyFiles::Call::Write, 0, 1, times, "", 0,
                                    [this, t = 100]() mutable { Touch(FilePath, ++t); }});
    }
    // Set-up steps for the rows below, chained.
    World& To(const QString& path, const QString& volume = {})
    {
        Destinations = {{path, volume}};
        return *this;
    }
    World& MountAt(const QString& point, bool ready = true, const QString& label = {}, bool share = false)
    {
        Rig.DriveInfo.AddMount(point, share ? "cifs" : "ext4", label, share ? "//server/share" : "");
        Rig.DriveInfo.SetReady(point, ready);
        return *this;
    }
    World& ShareAt(const QString& point, bool ready = true) { return MountAt(point, ready, "NAS", true); }
};

// Every entry below a folder, to show a failed check created nothing.
QStringList Tree(const QString& folder)
{
    QStringList all;
    for (QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
         it.hasNext();)
        all << it.next();
    all.sort();
    return all;
}

TEST(FileBackupSaves, LogRecordCarriesPathsAndVolumesAndAShareGetsTheFoldersBelowIt)
{
    World w;
    w.MountAt(w.Tmp.path() + "/src", true, "DATA").MountAt(w.Dst(), true, "BACKUP");
    w.ShareAt(w.Tmp.path() + "/nas");
    QDir().mkpath(w.Tmp.path() + "/nas");
    w.Volume = QStringLiteral("data") + QChar(0);
    w.Destinations = {{w.Dst(), "backup"}, {"//server/share/B", "NAS"}}; // a local label ignores case
    w.Prepare();
    w.Run();
    EXPECT_EQ(w.Logs(), (Texts{Saved, Saved}));
    const clsRecent& r = *w.Rig.Recent.Item(1);
    EXPECT_EQ(r.SourcePath, w.FilePath);
    EXPECT_EQ(r.SourceVolume, QStringLiteral("DATA"));
    EXPECT_EQ(r.DestPath, w.Dst() + "/Work");
    EXPECT_EQ(r.DestVolume, QStringLiteral("BACKUP"));
    EXPECT_FALSE(r.DateAndTime.isEmpty());
    EXPECT_EQ(w.Rig.Notifiers.Item(1)->Source, w.FilePath);
    EXPECT_EQ(w.Rig.Notifiers.Item(1)->Destination, w.Dst() + "/Work");
    EXPECT_EQ(ReadFile(w.Tmp.path() + "/nas/B/Work/f.txt"), "one");
    EXPECT_EQ(w.Rig.Recent.Item(2)->DestPath, QStringLiteral("//server/share/B/Work"));
    EXPECT_EQ(w.Rig.Recent.Item(2)->DestVolume, QStringLiteral("NAS"));
}

struct CheckRow
{
    const char* Name;
    std::function<void(World&)> Setup;
    const char* Popup;
    bool Options::*Option; // null: no option silences it
    QString Log = {};      // empty: as the pop-up
};

const char* const Loop = "Error: Would save into recursive source folder";
const char* const CantCreate = "Error: Can't create destination folders";
const char* const DestVol = "Error: Destination volume name mismatch";
const char* const SourceVol = "Error: Source volume name mismatch";
const char* const NoDest = "Error: Destination drive no longer exists";
using F = Options;
const QString Nuls(2, QChar(0));
const CheckRow CheckRows[] = {
    {"SourceFileGone", [](World& w) { w.FilePath = w.SourcePath + "/gone.txt"; },
     "Error: Source file no longer exists", &F::ErrorNoSource},
    {"DestinationInsideRecursiveSource", [](World& w) { w.To(w.SourcePath + "/inner").Recursive = true; },
     Loop, &F::ErrorLoop},
    {"DestinationIsTheFilesOwnFolder", [](World& w) { w.To(w.Tmp.path() + "/src"); }, Loop, &F::ErrorLoop},
    {"SourceDriveGone", [](World& w) { w.Rig.DriveInfo.Unmount("/"); },
     "Error: Source drive no longer exists", &F::ErrorNoSource},
    {"SourceDriveNotReady", [](World& w) { w.MountAt(w.Tmp.path() + "/src", false); },
     "Error: Source drive not ready", &F::ErrorNoSource},
    {"SourceVolumeOther",
     [](World& w) { w.MountAt(w.Tmp.path() + "/src", true, "DATA").Volume = "OTHER" + Nuls; }, SourceVol,
     &F::ErrorSourceVol},
    {"DestinationFolderGone", // the unplugged drive's mount point stays behind, empty
     [](World& w) {
         QDir().mkpath(w.Tmp.path() + "/media/usb");
         w.To(w.Tmp.path() + "/media/usb/Backup");
     },
     NoDest, &F::ErrorNoDest},
    {"DestinationDriveNotReady", [](World& w) { w.MountAt(w.Dst(), false); },
     "Error: Destination drive not ready", &F::ErrorNoDest},
    {"DestinationVolumeOther", [](World& w) { w.MountAt(w.Dst(), true, "B").To(w.Dst(), "X"); }, DestVol,
     &F::ErrorDestVol},
    {"CannotCreateFolders", [](World& w) { WriteFile(w.Dst() + "/Work", "in the way"); }, CantCreate,
     nullptr},
    {"RemoteDriveGone", [](World& w) { w.To("//nowhere/share/B"); },
     "Error: Remote destination drive does not exist", &F::ErrorNoDest},
    {"RemoteDriveNotReady", [](World& w) { w.ShareAt(w.Dst(), false).To(w.Dst(), "NAS"); },
     "Error: Remote destination drive is not ready", &F::ErrorNoDest,
     "Error: Remove destination drive is not ready"}, // "Remove" is intended
    {"RemoteVolumeDiffersInCase", [](World& w) { w.ShareAt(w.Dst()).To("//server/share", "nas"); }, DestVol,
     &F::ErrorDestVol},
    {"ShareFolderGone", [](World& w) { w.ShareAt(w.Tmp.path() + "/nowhere").To("//server/share/B", "NAS"); },
     "Error: Destination network share does not exist", &F::ErrorNoDest},
    {"RemoteCannotCreateFolders",
     [](World& w) {
         w.ShareAt(w.Dst()).To("//server/share", "NAS");
         WriteFile(w.Dst() + "/Work", "in the way");
     },
     CantCreate, nullptr}};

// The failure is logged, nothing is copied or created; the pop-up follows the switches.
TEST(FileBackupChecks, FailureIsReportedAndNothingIsCopied)
{
    for (const CheckRow& row : CheckRows) {
        SCOPED_TRACE(row.Name);
        const QString log = row.Log.isEmpty() ? QString::fromUtf8(row.Popup) : row.Log;
        enum Variant { Defaults, OptionOff, ErrorsDisabled, AssociationQuiet };
        for (Variant v : {Defaults, OptionOff, ErrorsDisabled, AssociationQuiet}) {
            World w;
            row.Setup(w);
            clsBackup& b = w.Prepare();
            const QStringList before = Tree(w.Tmp.path());
            if (v == OptionOff && row.Option)
                w.Rig.Opts.*row.Option = false;
            if (v == OptionOff && !row.Option)
                w.Rig.Opts.ErrorNoDest = w.Rig.Opts.ErrorCreateFolder = false;
            w.Rig.Opts.NotifyErrorDisabled = v == ErrorsDisabled;
            b.NotifyOnError = v != AssociationQuiet;
            w.Run();
            const bool shown = v == Defaults || (v == OptionOff && !row.Option);
            EXPECT_EQ(w.Popups(), shown ? Texts{row.Popup} : Texts{}) << v;
            EXPECT_EQ(w.Logs(), Texts{log}) << v;
            EXPECT_EQ(w.Rig.Hooks.Animations, Anims{Shake}) << v;
            EXPECT_EQ(w.Rig.Hooks.ShowNotificationsCalls, shown ? 1 : 0) << v;
            EXPECT_EQ(w.Rig.CopiesTried(), 0);
            EXPECT_EQ(Tree(w.Tmp.path()), before) << v;
        }
    }
}

TEST(FileBackupChecksMore, LoopTestComparesWholeComponentsAndOnlyWhenRecursive)
{
    // Work2 is beside the recursive source Work; a non-recursive source may hold its destination.
    for (const QString& inner : {QStringLiteral("/src/Work2"), QStringLiteral("/src/Work/inner")}) {
        World w;
        w.Recursive = inner.endsWith("Work2");
        QDir().mkpath(w.Tmp.path() + inner);
        w.Destinations = {{w.Tmp.path() + inner, ""}};
        w.Prepare();
        w.Run();
        EXPECT_EQ(w.Logs(), Texts{Saved}) << inner.toStdString();
        EXPECT_EQ(ReadFile(w.Tmp.path() + inner + "/Work/f.txt"), "one");
    }
}

TEST(FileBackupSourceVolume, AcceptsListedNamesIgnoringCase)
{
    // Names end with a NUL; an empty name (two NULs in a row) accepts a drive without a label.
    const QString data = QStringLiteral("DATA") + QChar(0);
    EXPECT_TRUE(FileBackup::VolumeAccepted(Nuls, ""));
    EXPECT_FALSE(FileBackup::VolumeAccepted("", ""));
    EXPECT_FALSE(FileBackup::VolumeAccepted(Nuls, "DATA"));
    EXPECT_TRUE(FileBackup::VolumeAccepted(data, "data"));
    EXPECT_TRUE(FileBackup::VolumeAccepted(data + QChar(0), ""));
    EXPECT_FALSE(FileBackup::VolumeAccepted(data, ""));
    EXPECT_TRUE(FileBackup::VolumeAccepted(data + "OTHER" + QChar(0), "other"));
    EXPECT_FALSE(FileBackup::VolumeAccepted(data, "DAT"));
}

struct ResultRow
{
    const char* Name;
    bool Versions, Existed, PrevFails, CopyFails;
    bool Err, Succ, ErrCopy, ErrPrev;
    const char* Popup; // null: no pop-up
    QString Log;
    TrayAnimation Animation;
};

const char* const CopyErr = "Error occurred in copy";
const char* const StoredPop = "Copy saved && Previous version stored";
// "unsuccesful" is intended: the log keeps the program's own spelling.
const QString VersionNotStored = "Success: Copy saved... Error: Previous version store unsuccesful";
const ResultRow ResultRows[] = {
    {"NewCopySaved", 1, 0, 0, 0, 1, 1, 1, 1, "Copy saved", "Success: Copy saved", Nod},
    {"VersionStoredCopySaved", 1, 1, 0, 0, 1, 1, 1, 1, StoredPop,
     "Success: Copy saved & Previous version stored", Nod},
    {"NewCopyFailed", 1, 0, 0, 1, 1, 1, 1, 1, CopyErr, CopyErr, Shake},
    {"NewCopyFailedNoCopyOption", 1, 0, 0, 1, 1, 1, 0, 1, nullptr, CopyErr, Shake},
    // A failed copy leaves the versions alone: the old copy is still in place.
    {"FailedCopyStoresNoVersion", 1, 1, 0, 1, 1, 1, 1, 1, CopyErr, CopyErr, Shake},
    {"CopySavedVersionNotStored", 1, 1, 1, 0, 1, 1, 1, 1,
     "Copy saved... Error: Previous version store unsuccessful", VersionNotStored, Shrug},
    {"CopySavedVersionNotStoredNoPrevOption", 1, 1, 1, 0, 1, 1, 1, 0, "Copy saved", VersionNotStored, Shrug},
    {"VersionsOffCopySaved", 0, 1, 0, 0, 1, 1, 1, 1, "Copy saved", "Success: Copy saved", Nod}};

TEST(FileBackupCopyResults, TextsFollowTheOutcomeAndTheSwitches)
{
    for (const ResultRow& row : ResultRows) {
        SCOPED_TRACE(row.Name);
        World w;
        clsBackup& b = w.Prepare(row.Versions ? 2 : 0);
        b.NotifyOnError = row.Err;
        b.NotifyOnSuccess = row.Succ;
        w.Rig.Opts.ErrorCopyFailed = row.ErrCopy;
        w.Rig.Opts.ErrorPrevSave = row.ErrPrev;
        if (row.Existed)
            WriteFile(w.CopyPath(), "old copy");
        if (row.PrevFails)
            WriteFile(w.Dst() + "/Work/~PrevSave-1", "a file where the version folder goes");
        if (row.CopyFails)
            w.FailCopies(EIO);
        w.Run();

        EXPECT_EQ(w.Logs(), Texts{row.Log});
        EXPECT_EQ(w.Popups(), row.Popup ? Texts{QString::fromUtf8(row.Popup)} : Texts{});
        EXPECT_EQ(w.Rig.Hooks.Animations, Anims{row.Animation});
        EXPECT_EQ(ReadFile(w.CopyPath()), row.CopyFails ? (row.Existed ? "old copy" : "<missing>") : "one");
        const bool stored = row.Versions && row.Existed && !row.PrevFails && !row.CopyFails;
        EXPECT_EQ(ReadFile(w.Version(1)), stored ? "old copy" : "<missing>");
    }
}

// A destination whose drive is gone, one whose rotation fails, one as usual: each has its own result.
TEST(FileBackupResults, EachDestinationReportsItsOwnResultAndAFailedRotationStillCopies)
{
    World w;
    const QString second = w.Tmp.path() + "/dst2";
    w.Destinations.insert(w.Destinations.begin(), {w.Tmp.path() + "/gone", ""});
    w.AddSecondDestination();
    w.Prepare(3);
    WriteFile(w.CopyPath(), "old");
    WriteFile(second + "/Work/f.txt", "old");
    // Version 1 holds a file whose shift into version 2 cannot happen.
    WriteFile(w.Version(1), "older");
    WriteFile(w.Dst() + "/Work/~PrevSave-2", "a file where the version folder goes");
    w.Run();
    EXPECT_EQ(w.Logs(), (Texts{NoDest, VersionNotStored, "Success: Copy saved & Previous version stored"}));
    EXPECT_EQ(w.Rig.Hooks.Animations, Anims{Shrug});
    EXPECT_EQ(ReadFile(w.CopyPath()), "one");
    EXPECT_EQ(ReadFile(w.Version(1)), "older"); // untouched, not truncated
    EXPECT_EQ(ReadFile(second + "/Work/~PrevSave-1/f.txt"), "old");
}

// With versions kept a read-only copy is replaced: it takes the source's
// attributes and its stored version keeps its own. Without, it is never written.
TEST(FileBackupResults, ReadOnlyCopyIsReplacedOnlyWhenVersionsAreKept)
{
    for (const auto& [versions, readOnlySource] : {std::pair{true, false}, {true, true}, {false, false}}) {
        World w;
        w.Prepare(versions ? 2 : 0);
        w.Rig.Opts.BusyTimeout = 2;
        WriteFile(w.CopyPath(), "old");
        MakeReadOnly(readOnlySource ? w.FilePath : w.CopyPath());
        w.Run();
        if (!versions) {
            EXPECT_EQ(w.Logs(), (Texts{Delay, TimedOut}));
            EXPECT_EQ(ReadFile(w.CopyPath()), "old");
            continue;
        }
        EXPECT_EQ(w.Logs(), Texts{"Success: Copy saved & Previous version stored"});
        EXPECT_EQ(ReadFile(w.CopyPath()), "one");
        EXPECT_EQ(VersionRotation::ModeOf(w.CopyPath()), VersionRotation::ModeOf(w.FilePath));
        EXPECT_EQ(IsReadOnly(w.CopyPath()), readOnlySource);
        EXPECT_EQ(ReadFile(w.Version(1)), "old");
        EXPECT_EQ(IsReadOnly(w.Version(1)), !readOnlySource);
    }
}

TEST(FileBackupResults, TemporariesOfEarlierRunsAreRemovedBeforeCopying)
{
    World w;
    for (const char* name : {".savenook-1f2e.tmp", ".savenook-notes.txt", "other.tmp"})
        WriteFile(w.Dst() + "/Work/" + name, "left over");
    w.Prepare();
    w.Run();
    EXPECT_EQ(w.Logs(), Texts{Saved});
    EXPECT_EQ(Entries(w.Dst() + "/Work"), QStringList({".savenook-notes.txt", "f.txt", "other.tmp"}));
}

// Mount points as a drive leaves them: the destination is the mount point itself.
TEST(FileBackupDrives, DestinationIsNeverFilledOnAnotherDrive)
{
    // Whether the destination is a share, how its mount changes, whether it is refused then.
    const std::tuple<const char*, bool, std::function<void(FakeDrives&, const QString&)>, bool> rows[] = {
        {"OtherUnlabelledDrive", false, [](FakeDrives& d, const QString& p) { d.SetId(p, "uuid-2"); }, true},
        {"OtherShare", true,
         [](FakeDrives& d, const QString& p) { d.AddMount(p, "cifs", "NAS", "//other/share"); }, true},
        {"SameShareAgain", true,
         [](FakeDrives& d, const QString& p) {
             d.Unmount(p);
             d.AddMount(p, "cifs", "NAS", "//server/share");
         },
         false}};
    for (const auto& [name, share, change, refused] : rows) {
        SCOPED_TRACE(name);
        World w;
        const QString point = w.Tmp.path() + "/media/usb";
        QDir().mkpath(point);
        if (share)
            w.ShareAt(point).To(point, "NAS");
        else
            w.MountAt(point).To(point).Rig.DriveInfo.SetId(point, "uuid-1");
        w.Prepare();
        w.Run();
        change(w.Rig.DriveInfo, point);
        WriteFile(w.FilePath, "two!");
        w.Run();
        FileBackup restarted(w.Rig.Context); // the tie outlives the run
        restarted.BackupFile(w.SourcePath, 1, w.FilePath);
        const QString outcome = refused ? NoDest : Saved;
        EXPECT_EQ(w.Logs(), (Texts{Saved, outcome, outcome}));
        EXPECT_EQ(ReadFile(point + "/Work/f.txt"), refused ? "one" : "two!");
    }
}

// Rows: source busy or changing, busy option, error and success switches; either switch shows the delay.
TEST(FileBackupBusy, SourceFreedInTimeGivesOneDelayThenSuccess)
{
    const std::tuple<bool, bool, bool, bool, Texts, Texts> rows[] = {
        {false, true, true, true, {Delay, Saved}, {Delay, "Copy saved"}},
        {true, true, true, true, {Delay, Saved}, {Delay, "Copy saved"}},
        {false, false, true, true, {Saved}, {"Copy saved"}},
        {false, true, false, false, {Delay, Saved}, {}},
        {false, true, false, true, {Delay, Saved}, {Delay, "Copy saved"}}};
    for (const auto& [sourceChanges, report, err, succ, logs, popups] : rows) {
        World w;
        clsBackup& b = w.Prepare();
        w.Rig.Opts.SourceIsBusy = report;
        b.NotifyOnError = err;
        b.NotifyOnSuccess = succ;
        if (sourceChanges)
            w.ChangeSourceDuringCopies(3);
        else
            w.FailCopies(EACCES, 3);
        std::vector<bool> waitingSeen;
        w.Rig.Wait.OnSleep = [&](qint64) { waitingSeen.push_back(w.Rig.State.BusyWaiting); };
        w.Run();
        EXPECT_EQ(w.Logs(), logs);
        EXPECT_EQ(w.Popups(), popups);
        EXPECT_EQ(waitingSeen, std::vector<bool>(3, true));
        EXPECT_FALSE(w.Rig.State.BusyWaiting);
        EXPECT_GE(static_cast<size_t>(w.Rig.Hooks.ShowNotificationsCalls), popups.size());
        EXPECT_EQ(ReadFile(w.CopyPath()), "one");
    }
}

TEST(FileBackupBusy, RetriesOnceASecondUntilTheTimeoutAndEachFileStartsItsOwnWait)
{
    // Well above the 65 s a timer interval could hold, and fractions rounded up.
    const std::pair<double, qint64> rows[] = {{30, 30000}, {120, 120000}, {2.5, 3000}, {0, 1000}};
    for (const auto& [seconds, endsAtMs] : rows) {
        World w;
        w.Prepare();
        w.Rig.Opts.BusyTimeout = seconds;
        w.FailCopies(EACCES);
        w.Run();
        EXPECT_EQ(w.Logs(), (Texts{Delay, TimedOut})) << seconds;
        EXPECT_EQ(w.Rig.Wait.Now, endsAtMs) << seconds;
        EXPECT_EQ(w.Rig.CopiesTried(), 1 + w.Rig.Wait.Sleeps);
        EXPECT_EQ(w.Rig.Wait.Sleeps * 1000, endsAtMs); // one retry per second
        EXPECT_FALSE(w.Rig.State.BusyWaiting);
        EXPECT_FALSE(w.Rig.State.BusyTimedOut);

        w.Rig.Files.Script.clear();
        w.FailCopies(EACCES, 1);
        WriteFile(w.FilePath, "changed");
        w.Run();
        EXPECT_EQ(w.Logs(), (Texts{Delay, TimedOut, Delay, Saved})) << seconds;
    }
}

TEST(FileBackupBusy, AssociationRemovedOrExitWhileWaitingEndsTheWork)
{
    for (bool exiting : {false, true}) {
        World w;
        w.AddSecondDestination();
        w.Prepare();
        w.FailCopies(EACCES);
        w.Rig.Pump.OnPump = [&] {
            if (exiting)
                w.Rig.State.Exiting = true;
            else
                w.Rig.State.Backups.Remove(w.SourcePath);
        };
        w.Run();
        EXPECT_EQ(w.Logs(), Texts{Delay});
        EXPECT_EQ(w.Rig.CopiesTried(), 1);
        EXPECT_LE(w.Rig.Wait.Sleeps, 1);
        EXPECT_FALSE(w.Rig.State.BusyWaiting);
    }
}

TEST(FileBackupBusy, LongCopyLetsTheInterfaceRunAndRemovalStopsBeforeTheNextDestination)
{
    World w;
    w.AddSecondDestination();
    QDir().mkpath(w.Tmp.path() + "/dst2");
    w.Prepare();
    WriteFile(w.FilePath, QByteArray(4096, 'x'));
    w.Rig.Pump.OnPump = [&] { w.Rig.State.Backups.Remove(w.SourcePath); };
    w.Run();
    EXPECT_GE(w.Rig.Pump.Calls, 3);
    EXPECT_EQ(w.Logs(), Texts{Saved}); // the copy that finished is still reported
    EXPECT_FALSE(QFileInfo::exists(w.Tmp.path() + "/dst2/Work"));
}

TEST(FileBackupBusy, ExitDuringALongCopyAbandonsItAndKeepsTheOldCopy)
{
    World w;
    w.Prepare(2);
    w.Run();
    WriteFile(w.FilePath, QByteArray(4096, 'x'));
    w.Rig.Pump.Calls = 0;
    w.Rig.Pump.OnPump = [&] { w.Rig.State.Exiting = true; };
    w.Run();
    EXPECT_EQ(w.Rig.Pump.Calls, 1);
    EXPECT_EQ(w.Logs(), Texts{Saved});
    EXPECT_EQ(Entries(w.Dst() + "/Work"), QStringList{"f.txt"}); // no temporary, no version
    EXPECT_EQ(ReadFile(w.CopyPath()), "one");
}

TEST(FileBackupRepeats, UnchangedFileIsNotCopiedAgainAutomatically)
{
    World w;
    w.Prepare();
    w.FailCopies(EIO, 1);
    w.Run();
    w.Run(); // a failed copy is tried again
    w.Association().DateLastActivity = QStringLiteral("Never");
    w.Run();
    EXPECT_EQ(w.Logs(), (Texts{"Error occurred in copy", Saved}));
    EXPECT_EQ(w.Rig.CopiesTried(), 2);
    EXPECT_NE(w.Association().DateLastActivity, QStringLiteral("Never")); // set on every call

    Touch(w.FilePath, 1); // same size, new time
    w.Run();
    EXPECT_EQ(w.Rig.CopiesTried(), 3);

    QFile::remove(w.CopyPath()); // the copy went missing: back it up again
    w.Run();
    EXPECT_EQ(w.Rig.CopiesTried(), 4);
    EXPECT_EQ(ReadFile(w.CopyPath()), "one");

    w.Rig.State.ManualSync = true; // a manual synchronisation always copies
    w.Run();
    EXPECT_EQ(w.Rig.CopiesTried(), 5);
}

TEST(FileBackupRepeats, UnchangedFileMemoryKeepsOnlyTheNewestFiles)
{
    World w;
    w.Prepare();
    FileBackup backup(w.Rig.Context, 8);
    const int files = 9;
    const auto run = [&](int i) {
        backup.BackupFile(w.SourcePath, 1, w.SourcePath + "/n" + QString::number(i));
    };
    for (int i = 0; i < files; ++i) {
        WriteFile(w.SourcePath + "/n" + QString::number(i), "x");
        run(i);
    }
    run(files - 1); // remembered: not copied again
    EXPECT_EQ(w.Rig.CopiesTried(), files);
    run(0); // forgotten: copied again
    EXPECT_EQ(w.Rig.CopiesTried(), files + 1);
}

TEST(FileBackupFilters, RejectedFileLeavesOneRecordForTheWholeCall)
{
    World w;
    w.AddSecondDestination();
    w.Prepare();
    w.Rig.Opts.UseFilters = true;
    w.Rig.Opts.Prefixes = QStringLiteral("~");
    w.Rig.Opts.Suffixes = QStringLiteral(".tmp|.bak ");
    const QString file = w.SourcePath + "/REPORT.TMP";
    WriteFile(file, "x");
    w.Run(file);
    ASSERT_EQ(w.Rig.Recent.Count(), 1);
    const clsRecent& r = *w.Rig.Recent.Item(1);
    EXPECT_EQ(r.Message, QStringLiteral("(File skipped due to filter option settings.)"));
    EXPECT_EQ(r.SourcePath, file);
    for (const QString& field : {r.SourceVolume, r.DestPath, r.DestVolume})
        EXPECT_EQ(field, QStringLiteral("<n/a>"));
    EXPECT_FALSE(r.DateAndTime.isEmpty());
    EXPECT_TRUE(w.Popups().empty());
    EXPECT_TRUE(w.Rig.Hooks.Animations.empty());
    EXPECT_FALSE(QFileInfo::exists(w.Dst() + "/Work"));
}

TEST(FileBackupLog, TrimKeepsTheTenNewestRecords)
{
    for (int before : {98, 99, 150}) {
        World w;
        w.Prepare();
        for (int i = 1; i <= before; ++i)
            w.Rig.Recent.Add("t", "old " + QString::number(i), "", "", "", "old " + QString::number(i));
        w.Run();
        const int first = before + 1 <= 99 ? 1 : before - 8;
        ASSERT_EQ(w.Rig.Recent.Count(), before + 1 <= 99 ? before + 1 : 10) << before;
        EXPECT_EQ(w.Rig.Recent.Item(w.Rig.Recent.Count())->Message, Saved);
        EXPECT_EQ(w.Rig.Recent.Item(1)->Message, "old " + QString::number(first));
    }
}

TEST(FileBackupLog, StalePositionFindsTheAssociationAndAnEmptyNameOnlyMarksTheActivity)
{
    World w;
    w.Rig.AddAssociation(w.Tmp.path() + "/other", true, false);
    w.Prepare(); // now at position 2
    w.Backup.BackupFile(w.SourcePath, 1, QString());
    EXPECT_EQ(w.Rig.Recent.Count(), 0);
    EXPECT_NE(w.Association().DateLastActivity, QStringLiteral("Never"));
    w.Backup.BackupFile(w.SourcePath, 1, w.FilePath);
    EXPECT_EQ(w.Logs(), Texts{Saved});
    EXPECT_EQ(w.Rig.State.Backups.Item(1)->DateLastActivity, QStringLiteral("Never"));
}
// Every file below a folder by content; a rotation's scratch folder only when asked.
QStringList Contents(const QString& folder, bool withScratch = false)
{
    QStringList all;
    for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        if (const QString path = it.next(); withScratch || !path.contains("-S/"))
            all << QString::fromUtf8(ReadFile(path));
    all.sort();
    return all;
}

// A fault part-way through a save with three versions kept: the result says what
// happened, no copy is lost or left half-written, and the next save goes through.
TEST(DiskFaults, FailedSaveLosesNothingAndTheNextSaveBacksUp)
{
    using C = FaultyFiles::Call;
    const QString stored = "Success: Copy saved & Previous version stored";
    const QString full = "Error: Disk is full", other = "Error occurred in copy";
    // The call that fails, its error, which call of its kind, after how many bytes, the result.
    std::vector<std::tuple<C, int, int, qint64, QString>> rows = {
        {C::Write, ENOSPC, 1, 0, full},
        {C::Write, EDQUOT, 1, 1024, full},
        {C::Write, EIO, 1, 2048, other},
        {C::Create, ENOSPC, 1, 0, full},
        {C::Create, EILSEQ, 1, 0, "Error: Name not allowed at destination"}, // a name NTFS cannot hold
        {C::Flush, EIO, 1, 0, other},
        {C::Close, EIO, 1, 0, other},
        {C::Link, EIO, 1, 0, stored},             // copied instead
        {C::SetPermissions, EPERM, 1, 0, stored}, // the copy's attributes stay as they were
        {C::SetPermissions, EPERM, 2, 0, stored}, // and so do the stored version's
        {C::MakeFolder, EIO, 1, 0, "Error: Can't create destination folders"},
        {C::MakeFolder, EILSEQ, 1, 0, "Error: Name not allowed at destination"},
        {C::Rename, EIO, 5, 0, other}, // putting the new copy in place: the versions go back
    };
    // Every rename and folder of the rotation: the copy saved, the versions as they were.
    for (int k = 1; k <= 4; ++k)
        rows.push_back({C::Rename, EIO, k, 0, VersionNotStored});
    for (int k = 2; k <= 5; ++k)
        rows.push_back({C::MakeFolder, EIO, k, 0, VersionNotStored});

    for (const auto& [call, error, nth, afterBytes, log] : rows) {
        SCOPED_TRACE(testing::Message() << int(call) << " #" << nth << ": " << std::strerror(error));
        World w;
        w.Prepare(3);
        QStringList saved;
        for (int i = 1; i <= 5; ++i) {
            saved << "v" + QString::number(i) + QString(4000, 'x');
            WriteFile(w.FilePath, saved.back().toUtf8());
            Touch(w.FilePath, i);
            w.Run();
        }
        const QStringList before = Contents(w.Dst());
        // The three newest older copies are kept, each moved by a rename or a link, not a copy.
        ASSERT_EQ(before, saved.mid(1));
        ASSERT_EQ(w.Rig.CopiesTried(), 5);
        w.Rig.Files.Script = {{call, error, nth, 1, "", afterBytes}};
        const QByteArray next = "v6" + QByteArray(4000, 'x');
        WriteFile(w.FilePath, next);
        Touch(w.FilePath, 6);
        w.Run();
        EXPECT_TRUE(w.Rig.Files.Script.empty()); // the fault struck

        const QString result = w.Logs().back();
        EXPECT_EQ(result, log);
        const bool copied = result.startsWith("Success");
        EXPECT_EQ(ReadFile(w.CopyPath()), copied ? next : saved.back().toUtf8()) << result.toStdString();
        // Only what any save gives up: the oldest version, or the replaced copy if it was not stored.
        const QString dropped = !copied ? "" : result == stored ? saved[1] : saved[4];
        const QStringList kept = Contents(w.Dst());
        for (const QString& content : before)
            EXPECT_TRUE(kept.contains(content) || content == dropped) << result.toStdString();
        EXPECT_FALSE(Entries(w.Dst() + "/Work").join(' ').contains(LinuxFileCopier::TemporaryPrefix));
        EXPECT_FALSE(QFileInfo::exists(w.Dst() + "/Work/~PrevSave-1-S"));

        w.Rig.Files.Script.clear(); // space freed
        WriteFile(w.FilePath, "v7");
        Touch(w.FilePath, 7);
        w.Run();
        EXPECT_EQ(w.Logs().back(), stored);
        EXPECT_EQ(ReadFile(w.CopyPath()), "v7");
    }
}

// Renames that keep failing once the rotation has begun cannot put every version
// back: what they stranded stays on the disk, never deleted.
TEST(DiskFaults, VersionsTheRotationCannotPutBackAreKept)
{
    for (int nth = 1; nth <= 4; ++nth) {
        World w;
        w.Prepare(3);
        for (int i = 1; i <= 5; ++i) {
            if (i == 5)
                w.Rig.Files.Script = {{FaultyFiles::Call::Rename, EIO, nth, -1}};
            WriteFile(w.FilePath, "v" + QByteArray::number(i));
            Touch(w.FilePath, i);
            w.Run();
        }
        EXPECT_FALSE(w.Logs().back().startsWith("Success")) << nth;
        EXPECT_EQ(ReadFile(w.CopyPath()), "v4");
        const QStringList all = Contents(w.Dst(), true);
        for (const char* content : {"v1", "v2", "v3", "v4"})
            EXPECT_TRUE(all.contains(content)) << nth << " " << content;
    }
}

// A drive with the same label mounted in the destination's place is told apart by its UUID.
TEST(FileBackupLoopMount, SameLabelOnAnotherDriveIsNotTheDestination)
{
    World w;
    LoopDrive drive(w.Tmp.path());
    REQUIRE_LOOP_DRIVE(drive);
    if (VolumeLabels::UuidFromFileSystem(drive.MountPoint).isEmpty())
        GTEST_SKIP() << "this kernel gives no file-system UUID";
    LinuxDrives drives;
    EngineRig& r = w.Rig;
    EngineContext context{r.State,  r.Opts,     r.Recent, r.Notifiers, drives,
                          r.Copier, r.Notifier, r.Wait,   r.Pump,      r.Hooks};
    FileBackup backup(context);
    const auto label = [&](const QString& path) { return drives.Label(drives.MountOf(path)->MountPoint); };
    w.Volume = label(w.SourcePath) + Nuls;
    w.To(drive.MountPoint, label(drive.MountPoint)).Prepare();
    const auto run = [&] {
        backup.BackupFile(w.SourcePath, 1, w.FilePath);
        return w.Logs().back();
    };
    EXPECT_EQ(run(), "Success: Copy saved");
    ASSERT_TRUE(drive.Unmount());
    LoopDrive other(w.Tmp.path() + "/other", LoopDrive::Ext4, drive.MountPoint);
    ASSERT_TRUE(other.Mounted) << other.Error.toStdString();
    WriteFile(w.FilePath, "two!");
    EXPECT_EQ(run(), "Error: Destination drive no longer exists");
    EXPECT_FALSE(QFileInfo::exists(drive.MountPoint + "/Work"));
}
} // namespace
