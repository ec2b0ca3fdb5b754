#include "engine/FileBackup.h"

#include "engine/EngineFakes.h"
#include "engine/TestFiles.h"
#include "engine/VersionRotation.h"
#include "support/TestEnvironment.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace {
using Texts = std::vector<QString>;
const QString Delay = QStringLiteral("Delay: Permission required...");
const QString TimedOut = QStringLiteral("Error: File was busy and timed out");
const QString CopyFailedText = QStringLiteral("Error occurred in copy");

// One program with fakes around a real temporary folder: a folder association
// <tmp>/src/Work (not recursive) backing up f.txt into <tmp>/dst.
struct World
{
    TestEnvironment Env;
    QTemporaryDir Tmp;
    EngineRig Rig;
    FileBackup Backup{Rig.Context};

    QString SourcePath = Tmp.path() + "/src/Work";
    QString FilePath = SourcePath + "/f.txt";
    bool Folder = true;
    bool Recursive = false;
    QString Volume = QString(2, QChar(0));
    std::vector<std::pair<QString, QString>> Destinations{{Tmp.path() + "/dst", QString()}};

    World()
    {
        QDir().mkpath(SourcePath);
        QDir().mkpath(Tmp.path() + "/dst");
        WriteFile(FilePath, "one");
    }
    QString Dst() const { return Tmp.path() + "/dst"; }
    QString CopyPath() const { return Dst() + "/Work/f.txt"; }
    QString Version(int k) const { return Dst() + "/Work/~PrevSave-" + QString::number(k) + "/f.txt"; }

    clsBackup& Association() { return *Rig.State.Backups.Item(SourcePath); }
    // Adds the association as configured so far; call once before Run.
    clsBackup& Prepare()
    {
        clsBackup& b = Rig.AddAssociation(SourcePath, Folder, Recursive);
        b.Volume = Volume;
        for (const auto& [path, volume] : Destinations)
            Rig.State.Destinations.Add(path, SourcePath, volume);
        return Association();
    }
    void Run(const QString& file = {}) { Backup.BackupFile(SourcePath, 1, file.isEmpty() ? FilePath : file); }
    Texts Logs() const { return Rig.LogMessages(); }
    Texts Popups() const { return Rig.PopupMessages(); }
    // A file the copier should fail on, every time it is asked.
    void FailCopiesTo(const QString& target, CopyError error)
    {
        Rig.Copier.Decide = [target, error](const QString&, const QString& to) {
            return to == target ? error : CopyError::None;
        };
    }
};

// ---------------------------------------------------------------- successes

TEST(FileBackupSaves, FirstSaveCopiesThenSecondStoresThePreviousVersion)
{
    World w;
    clsBackup& b = w.Prepare();
    b.KeepBackup = true;
    b.Versions = 3;
    w.Run();
    EXPECT_EQ(ReadFile(w.CopyPath()), "one");
    EXPECT_EQ(w.Popups(), Texts{"Copy saved"});
    EXPECT_EQ(w.Logs(), Texts{"Success: Copy saved"});
    EXPECT_FALSE(QFileInfo::exists(w.Dst() + "/Work/~PrevSave-1"));
    EXPECT_NE(w.Association().DateLastActivity, QStringLiteral("Never"));
    EXPECT_EQ(w.Rig.Hooks.Animations, std::vector<TrayAnimation>{TrayAnimation::Nod});
    EXPECT_EQ(w.Rig.Hooks.ShowNotificationsCalls, 1);

    WriteFile(w.FilePath, "two!");
    w.Run();
    EXPECT_EQ(ReadFile(w.CopyPath()), "two!");
    EXPECT_EQ(ReadFile(w.Version(1)), "one");
    EXPECT_EQ(w.Popups(), (Texts{"Copy saved", "Copy saved && Previous version stored"}));
    EXPECT_EQ(w.Logs(), (Texts{"Success: Copy saved", "Success: Copy saved & Previous version stored"}));
}

TEST(FileBackupSaves, FiveSavesWithThreeVersionsKeepTheThreeNewestOlderCopies)
{
    World w;
    clsBackup& b = w.Prepare();
    b.KeepBackup = true;
    b.Versions = 3;
    for (int i = 1; i <= 5; ++i) {
        WriteFile(w.FilePath, "v" + QByteArray::number(i));
        Touch(w.FilePath, i);
        w.Run();
    }
    EXPECT_EQ(ReadFile(w.CopyPath()), "v5");
    EXPECT_EQ(ReadFile(w.Version(1)), "v4");
    EXPECT_EQ(ReadFile(w.Version(2)), "v3");
    EXPECT_EQ(ReadFile(w.Version(3)), "v2");
    EXPECT_EQ(Entries(w.Dst() + "/Work"),
              QStringList({"f.txt", "~PrevSave-1", "~PrevSave-2", "~PrevSave-3"}));
}

TEST(FileBackupSaves, HiddenFileIsCopiedAndVersionedUnderItsOwnName)
{
    World w;
    clsBackup& b = w.Prepare();
    b.KeepBackup = true;
    b.Versions = 2;
    const QString hidden = w.SourcePath + "/.notes";
    WriteFile(hidden, "a");
    w.Run(hidden);
    WriteFile(hidden, "bb");
    w.Run(hidden);
    EXPECT_EQ(ReadFile(w.Dst() + "/Work/.notes"), "bb");
    EXPECT_EQ(ReadFile(w.Dst() + "/Work/~PrevSave-1/.notes"), "a");
}

TEST(FileBackupSaves, LogRecordCarriesPathsAndVolumes)
{
    World w;
    w.Rig.DriveInfo.AddMount(w.Tmp.path() + "/src", QStringLiteral("ext4"), QStringLiteral("DATA"));
    w.Rig.DriveInfo.AddMount(w.Dst(), QStringLiteral("ext4"), QStringLiteral("BACKUP"));
    w.Volume = QStringLiteral("data") + QChar(0);
    w.Destinations = {{w.Dst(), QStringLiteral("backup")}}; // a local label ignores case
    w.Prepare();
    w.Run();
    ASSERT_EQ(w.Rig.Recent.Count(), 1);
    const clsRecent& r = *w.Rig.Recent.Item(1);
    EXPECT_EQ(r.Message, QStringLiteral("Success: Copy saved"));
    EXPECT_EQ(r.SourcePath, w.FilePath);
    EXPECT_EQ(r.SourceVolume, QStringLiteral("DATA"));
    EXPECT_EQ(r.DestPath, w.Dst() + "/Work");
    EXPECT_EQ(r.DestVolume, QStringLiteral("BACKUP"));
    EXPECT_FALSE(r.DateAndTime.isEmpty());
    ASSERT_EQ(w.Rig.Notifiers.Count(), 1);
    EXPECT_EQ(w.Rig.Notifiers.Item(1)->Source, w.FilePath);
    EXPECT_EQ(w.Rig.Notifiers.Item(1)->Destination, w.Dst() + "/Work");
}

TEST(FileBackupSaves, NetworkShareGetsTheFoldersBelowIt)
{
    World w;
    w.Rig.DriveInfo.AddMount(w.Dst(), QStringLiteral("cifs"), QStringLiteral("NAS"),
                             QStringLiteral("//server/share"));
    w.Destinations = {{QStringLiteral("//server/share/B"), QStringLiteral("NAS")}};
    w.Prepare();
    w.Run();
    EXPECT_EQ(w.Logs(), Texts{"Success: Copy saved"});
    EXPECT_EQ(ReadFile(w.Dst() + "/B/Work/f.txt"), "one");
    EXPECT_EQ(w.Rig.Recent.Item(1)->DestPath, QStringLiteral("//server/share/B/Work"));
    EXPECT_EQ(w.Rig.Recent.Item(1)->DestVolume, QStringLiteral("NAS"));
}

TEST(FileBackupSaves, ManualSynchronisationStoresNoVersionAndQueuesNoPopup)
{
    World w;
    clsBackup& b = w.Prepare();
    b.KeepBackup = true;
    b.Versions = 3;
    WriteFile(w.CopyPath(), "old");
    w.Rig.State.ManualSync = true;
    w.Run();
    EXPECT_EQ(ReadFile(w.CopyPath()), "one");
    EXPECT_FALSE(QFileInfo::exists(w.Dst() + "/Work/~PrevSave-1"));
    EXPECT_EQ(w.Logs(), Texts{"Success: Copy saved\r\nProcessed in manual synchronization"});
    EXPECT_TRUE(w.Popups().empty());
}

TEST(FileBackupSaves, NotificationsOffStillLogAndAnimate)
{
    World w;
    clsBackup& b = w.Prepare();
    b.NotifyOnError = false;
    b.NotifyOnSuccess = false;
    w.Run();
    EXPECT_EQ(w.Logs(), Texts{"Success: Copy saved"});
    EXPECT_TRUE(w.Popups().empty());
    EXPECT_EQ(w.Rig.Hooks.Animations, std::vector<TrayAnimation>{TrayAnimation::Nod});
    EXPECT_EQ(w.Rig.Hooks.ShowNotificationsCalls, 0);
}

// ---------------------------------------------------------------- checks

struct CheckRow
{
    const char* Name;
    std::function<void(World&)> Setup;
    QString Popup;
    QString Log;
    bool Options::*Option; // null: only NotifyErr gates the pop-up
};

class FileBackupChecks : public ::testing::TestWithParam<CheckRow>
{
  protected:
    enum class Variant { Defaults, OptionOff, ErrorsDisabled, AssociationQuiet };

    std::unique_ptr<World> RunVariant(Variant variant)
    {
        auto w = std::make_unique<World>();
        GetParam().Setup(*w);
        clsBackup& b = w->Prepare();
        if (variant == Variant::OptionOff && GetParam().Option)
            w->Rig.Opts.*GetParam().Option = false;
        if (variant == Variant::ErrorsDisabled)
            w->Rig.Opts.NotifyErrorDisabled = true;
        if (variant == Variant::AssociationQuiet)
            b.NotifyOnError = false;
        w->Run();
        return w;
    }
};

TEST_P(FileBackupChecks, FailureIsReportedAndNothingIsCopied)
{
    const CheckRow& row = GetParam();
    auto w = RunVariant(Variant::Defaults);
    EXPECT_EQ(w->Popups(), Texts{row.Popup});
    EXPECT_EQ(w->Logs(), Texts{row.Log});
    EXPECT_EQ(w->Rig.Hooks.Animations, std::vector<TrayAnimation>{TrayAnimation::Shake});
    EXPECT_EQ(w->Rig.Hooks.ShowNotificationsCalls, 1);
    EXPECT_EQ(w->Rig.Copier.Calls, 0);
    EXPECT_FALSE(QFileInfo::exists(w->CopyPath()));
    EXPECT_NE(w->Association().DateLastActivity, QStringLiteral("Never"));
}

TEST_P(FileBackupChecks, PopupFollowsTheSwitches)
{
    const CheckRow& row = GetParam();
    for (Variant v : {Variant::OptionOff, Variant::ErrorsDisabled, Variant::AssociationQuiet}) {
        if (v == Variant::OptionOff && !row.Option)
            continue;
        auto w = RunVariant(v);
        EXPECT_TRUE(w->Popups().empty()) << static_cast<int>(v);
        EXPECT_EQ(w->Logs(), Texts{row.Log}) << static_cast<int>(v);
        EXPECT_EQ(w->Rig.Hooks.Animations, std::vector<TrayAnimation>{TrayAnimation::Shake});
        EXPECT_EQ(w->Rig.Hooks.ShowNotificationsCalls, 0);
    }
    if (!row.Option) { // no option silences it
        for (bool Options::*option : {&Options::ErrorNoDest, &Options::ErrorCreateFolder}) {
            auto w = std::make_unique<World>();
            row.Setup(*w);
            w->Prepare();
            w->Rig.Opts.*option = false;
            w->Run();
            EXPECT_EQ(w->Popups(), Texts{row.Popup});
        }
    }
}

void shareMount(World& w, const QString& mountPoint)
{
    w.Rig.DriveInfo.AddMount(mountPoint, QStringLiteral("cifs"), QStringLiteral("NAS"),
                             QStringLiteral("//server/share"));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FileBackupChecks,
    ::testing::Values(
        CheckRow{"SourceFileGone", [](World& w) { w.FilePath = w.SourcePath + "/gone.txt"; },
                 "Error: Source file no longer exists", "Error: Source file no longer exists",
                 &Options::ErrorNoSource},
        CheckRow{"DestinationInsideRecursiveSource",
                 [](World& w) {
                     w.Recursive = true;
                     QDir().mkpath(w.SourcePath + "/inner");
                     w.Destinations = {{w.SourcePath + "/inner", QString()}};
                 },
                 "Error: Would save into recursive source folder",
                 "Error: Would save into recursive source folder", &Options::ErrorLoop},
        CheckRow{"DestinationIsTheFilesOwnFolder",
                 [](World& w) {
                     w.Destinations = {{w.Tmp.path() + "/src", QString()}};
                 },
                 "Error: Would save into recursive source folder",
                 "Error: Would save into recursive source folder", &Options::ErrorLoop},
        CheckRow{"FileAssociationIntoItsOwnFolder",
                 [](World& w) {
                     w.Folder = false;
                     w.SourcePath = w.FilePath;
                     w.Destinations = {{w.Tmp.path() + "/src", QString()}};
                 },
                 "Error: Would save into recursive source folder",
                 "Error: Would save into recursive source folder", &Options::ErrorLoop},
        CheckRow{"SourceDriveGone", [](World& w) { w.Rig.DriveInfo.Unmount(QStringLiteral("/")); },
                 "Error: Source drive no longer exists", "Error: Source drive no longer exists",
                 &Options::ErrorNoSource},
        CheckRow{"SourceDriveNotReady",
                 [](World& w) {
                     w.Rig.DriveInfo.AddMount(w.Tmp.path() + "/src");
                     w.Rig.DriveInfo.SetReady(w.Tmp.path() + "/src", false);
                 },
                 "Error: Source drive not ready", "Error: Source drive not ready", &Options::ErrorNoSource},
        CheckRow{"SourceVolumeListEmpty", [](World& w) { w.Volume.clear(); },
                 "Error: Source volume name mismatch", "Error: Source volume name mismatch",
                 &Options::ErrorSourceVol},
        CheckRow{"SourceVolumeOther",
                 [](World& w) {
                     w.Rig.DriveInfo.AddMount(w.Tmp.path() + "/src", QStringLiteral("ext4"),
                                              QStringLiteral("DATA"));
                     w.Volume = QStringLiteral("OTHER") + QChar(0) + QChar(0);
                 },
                 "Error: Source volume name mismatch", "Error: Source volume name mismatch",
                 &Options::ErrorSourceVol},
        CheckRow{"DestinationFolderGone",
                 [](World& w) {
                     w.Destinations = {{w.Tmp.path() + "/unplugged/Backup", QString()}};
                 },
                 "Error: Destination drive no longer exists", "Error: Destination drive no longer exists",
                 &Options::ErrorNoDest},
        CheckRow{"DestinationDriveNotReady",
                 [](World& w) {
                     w.Rig.DriveInfo.AddMount(w.Dst());
                     w.Rig.DriveInfo.SetReady(w.Dst(), false);
                 },
                 "Error: Destination drive not ready", "Error: Destination drive not ready",
                 &Options::ErrorNoDest},
        CheckRow{"DestinationVolumeOther",
                 [](World& w) {
                     w.Rig.DriveInfo.AddMount(w.Dst(), QStringLiteral("ext4"), QStringLiteral("BACKUP"));
                     w.Destinations = {{w.Dst(), QStringLiteral("OTHER")}};
                 },
                 "Error: Destination volume name mismatch", "Error: Destination volume name mismatch",
                 &Options::ErrorDestVol},
        CheckRow{"CannotCreateFolders", [](World& w) { WriteFile(w.Dst() + "/Work", "in the way"); },
                 "Error: Can't create destination folders", "Error: Can't create destination folders",
                 nullptr},
        CheckRow{"RemoteDriveGone",
                 [](World& w) {
                     w.Destinations = {{QStringLiteral("//nowhere/share/B"), QString()}};
                 },
                 "Error: Remote destination drive does not exist",
                 "Error: Remote destination drive does not exist", &Options::ErrorNoDest},
        CheckRow{"RemoteDriveNotReady",
                 [](World& w) {
                     shareMount(w, w.Dst());
                     w.Rig.DriveInfo.SetReady(w.Dst(), false);
                     w.Destinations = {{w.Dst(), QStringLiteral("NAS")}};
                 },
                 "Error: Remote destination drive is not ready",
                 "Error: Remove destination drive is not ready", &Options::ErrorNoDest},
        CheckRow{"RemoteVolumeDiffersInCase",
                 [](World& w) {
                     shareMount(w, w.Dst());
                     w.Destinations = {{QStringLiteral("//server/share"), QStringLiteral("nas")}};
                 },
                 "Error: Destination volume name mismatch", "Error: Destination volume name mismatch",
                 &Options::ErrorDestVol},
        CheckRow{"ShareFolderGone",
                 [](World& w) {
                     shareMount(w, w.Tmp.path() + "/no-mount-point");
                     w.Destinations = {{QStringLiteral("//server/share/B"), QStringLiteral("NAS")}};
                 },
                 "Error: Destination network share does not exist",
                 "Error: Destination network share does not exist", &Options::ErrorNoDest},
        CheckRow{"RemoteCannotCreateFolders",
                 [](World& w) {
                     shareMount(w, w.Dst());
                     w.Destinations = {{QStringLiteral("//server/share"), QStringLiteral("NAS")}};
                     WriteFile(w.Dst() + "/Work", "in the way");
                 },
                 "Error: Can't create destination folders", "Error: Can't create destination folders",
                 nullptr}),
    [](const ::testing::TestParamInfo<CheckRow>& info) { return std::string(info.param.Name); });

TEST(FileBackupChecksMore, SourceFailureIsReportedOncePerDestination)
{
    World w;
    w.Destinations = {{w.Dst(), QString()}, {w.Tmp.path() + "/dst2", QString()}};
    w.Rig.DriveInfo.Unmount(QStringLiteral("/"));
    w.Prepare();
    w.Run();
    const QString text = QStringLiteral("Error: Source drive no longer exists");
    EXPECT_EQ(w.Logs(), (Texts{text, text}));
    EXPECT_EQ(w.Popups(), (Texts{text, text}));
}

TEST(FileBackupChecksMore, LoopTestComparesWholeComponents)
{
    // <tmp>/src/Work2 is beside the recursive source <tmp>/src/Work, not inside it.
    World w;
    w.Recursive = true;
    QDir().mkpath(w.Tmp.path() + "/src/Work2");
    w.Destinations = {{w.Tmp.path() + "/src/Work2", QString()}};
    w.Prepare();
    w.Run();
    EXPECT_EQ(w.Logs(), Texts{"Success: Copy saved"});
    EXPECT_EQ(ReadFile(w.Tmp.path() + "/src/Work2/Work/f.txt"), "one");
}

TEST(FileBackupChecksMore, DestinationInsideANonRecursiveSourceIsNoLoop)
{
    World w;
    QDir().mkpath(w.SourcePath + "/inner");
    w.Destinations = {{w.SourcePath + "/inner", QString()}};
    w.Prepare();
    w.Run();
    EXPECT_EQ(w.Logs(), Texts{"Success: Copy saved"});
}

TEST(FileBackupChecksMore, MissingDestinationFolderIsNeverCreated)
{
    World w;
    const QString unplugged = w.Tmp.path() + "/media/usb";
    QDir().mkpath(unplugged); // the mount point stays behind, empty
    w.Destinations = {{unplugged + "/Backup", QString()}};
    w.Prepare();
    w.Run();
    EXPECT_EQ(w.Logs(), Texts{"Error: Destination drive no longer exists"});
    EXPECT_TRUE(Entries(unplugged).isEmpty());
}

struct VolumeRow
{
    QString List;
    QString Volume;
    bool Accepted;
};

class SourceVolumeRule : public ::testing::TestWithParam<VolumeRow>
{
};

TEST_P(SourceVolumeRule, AcceptsListedNamesIgnoringCase)
{
    EXPECT_EQ(FileBackup::VolumeAccepted(GetParam().List, GetParam().Volume), GetParam().Accepted)
        << QString(GetParam().List).replace(QChar(0), QLatin1Char('|')).toStdString() << " / "
        << GetParam().Volume.toStdString();
}

const QChar nul(0);
INSTANTIATE_TEST_SUITE_P(Rows, SourceVolumeRule,
                         ::testing::Values(VolumeRow{QString(2, nul), "", true}, VolumeRow{"", "", false},
                                           VolumeRow{QString(2, nul), "DATA", false},
                                           VolumeRow{QString("DATA") + nul, "data", true},
                                           VolumeRow{QString("DATA") + nul + nul, "", true},
                                           VolumeRow{QString("DATA") + nul, "", false},
                                           VolumeRow{QString("DATA") + nul + "OTHER" + nul, "other", true},
                                           VolumeRow{QString("DATA") + nul, "DAT", false}));

// ---------------------------------------------------------------- copy results

struct ResultRow
{
    const char* Name;
    bool Versions, Existed, PrevFails, CopyFails;
    bool Err, Succ, ErrCopy, ErrPrev;
    const char* Popup; // null: no pop-up
    const char* Log;
    TrayAnimation Animation;
};

class CopyResults : public ::testing::TestWithParam<ResultRow>
{
};

TEST_P(CopyResults, TextsFollowTheTable)
{
    const ResultRow& row = GetParam();
    World w;
    clsBackup& b = w.Prepare();
    b.KeepBackup = row.Versions;
    b.Versions = 2;
    b.NotifyOnError = row.Err;
    b.NotifyOnSuccess = row.Succ;
    w.Rig.Opts.ErrorCopyFailed = row.ErrCopy;
    w.Rig.Opts.ErrorPrevSave = row.ErrPrev;
    if (row.Existed)
        WriteFile(w.CopyPath(), "old copy");
    if (row.PrevFails)
        WriteFile(w.Dst() + "/Work/~PrevSave-1", "a file where the version folder goes");
    if (row.CopyFails)
        w.FailCopiesTo(w.CopyPath(), CopyError::Other);
    w.Run();

    EXPECT_EQ(w.Logs(), Texts{QString::fromUtf8(row.Log)});
    EXPECT_EQ(w.Popups(), row.Popup ? Texts{QString::fromUtf8(row.Popup)} : Texts{});
    EXPECT_EQ(w.Rig.Hooks.Animations, std::vector<TrayAnimation>{row.Animation});
    EXPECT_EQ(ReadFile(w.CopyPath()), row.CopyFails ? (row.Existed ? "old copy" : "<missing>") : "one");
    const bool stored = row.Versions && row.Existed && !row.PrevFails;
    EXPECT_EQ(ReadFile(w.Version(1)), stored ? "old copy" : "<missing>");
}

constexpr auto Nod = TrayAnimation::Nod, Shake = TrayAnimation::Shake, Shrug = TrayAnimation::Shrug;
INSTANTIATE_TEST_SUITE_P(
    Rows, CopyResults,
    ::testing::Values(
        ResultRow{"Case1", 1, 0, 0, 0, 1, 1, 1, 1, "Copy saved", "Success: Copy saved", Nod},
        ResultRow{"Case1Quiet", 1, 0, 0, 0, 1, 0, 1, 1, nullptr, "Success: Copy saved", Nod},
        ResultRow{"Case2", 1, 1, 0, 0, 1, 1, 1, 1, "Copy saved && Previous version stored",
                  "Success: Copy saved & Previous version stored", Nod},
        ResultRow{"Case3", 1, 0, 0, 1, 1, 1, 1, 1, "Error occurred in copy", "Error occurred in copy", Shake},
        ResultRow{"Case3NoCopyOption", 1, 0, 0, 1, 1, 1, 0, 1, nullptr, "Error occurred in copy", Shake},
        ResultRow{"Case4Both", 1, 1, 0, 1, 1, 1, 1, 1, "Error occurred in copy... Previous version stored",
                  "Error occurred in copy... Previous version stored", Shrug},
        ResultRow{"Case4BothNoCopyOption", 1, 1, 0, 1, 1, 1, 0, 1, "Previous version stored",
                  "Error occurred in copy... Previous version stored", Shrug},
        ResultRow{"Case4ErrOnly", 1, 1, 0, 1, 1, 0, 1, 1, "Error occurred in copy",
                  "Error occurred in copy... Previous version stored", Shrug},
        ResultRow{"Case4ErrOnlyNoCopyOption", 1, 1, 0, 1, 1, 0, 0, 1, nullptr,
                  "Error occurred in copy... Previous version stored", Shrug},
        ResultRow{"Case4SuccOnly", 1, 1, 0, 1, 0, 1, 1, 1, "Previous version stored",
                  "Error occurred in copy... Previous version stored", Shrug},
        ResultRow{"Case5Both", 1, 1, 1, 0, 1, 1, 1, 1,
                  "Copy saved... Error: Previous version store unsuccessful",
                  "Success: Copy saved... Error: Previous version store unsuccesful", Shrug},
        ResultRow{"Case5BothNoPrevOption", 1, 1, 1, 0, 1, 1, 1, 0, "Copy saved",
                  "Success: Copy saved... Error: Previous version store unsuccesful", Shrug},
        ResultRow{"Case5ErrOnly", 1, 1, 1, 0, 1, 0, 1, 1, "Error: Previous version store unsuccessful",
                  "Success: Copy saved... Error: Previous version store unsuccesful", Shrug},
        ResultRow{"Case5ErrOnlyNoPrevOption", 1, 1, 1, 0, 1, 0, 1, 0, nullptr,
                  "Success: Copy saved... Error: Previous version store unsuccesful", Shrug},
        ResultRow{"Case5SuccOnly", 1, 1, 1, 0, 0, 1, 1, 1, "Copy saved",
                  "Success: Copy saved... Error: Previous version store unsuccesful", Shrug},
        ResultRow{"Case6Both", 1, 1, 1, 1, 1, 1, 1, 1,
                  "Error occurred in copy... Error: Previous version store unsuccessful",
                  "Error occurred in copy... Error: Previous version store unsuccessful", Shake},
        ResultRow{"Case6PrevOptionOnly", 1, 1, 1, 1, 1, 1, 0, 1, "Error: Previous version store unsuccessful",
                  "Error occurred in copy... Error: Previous version store unsuccessful", Shake},
        ResultRow{"Case6CopyOptionOnly", 1, 1, 1, 1, 1, 1, 1, 0, "Error occurred in copy",
                  "Error occurred in copy... Error: Previous version store unsuccessful", Shake},
        ResultRow{"Case6NeitherOption", 1, 1, 1, 1, 1, 1, 0, 0, nullptr,
                  "Error occurred in copy... Error: Previous version store unsuccessful", Shake},
        ResultRow{"Case6SuccOnly", 1, 1, 1, 1, 0, 1, 1, 1, nullptr,
                  "Error occurred in copy... Error: Previous version store unsuccessful", Shake},
        ResultRow{"Case7", 0, 1, 0, 0, 1, 1, 1, 1, "Copy saved", "Success: Copy saved", Nod},
        ResultRow{"Case8", 0, 1, 0, 1, 1, 1, 1, 1, "Error occurred in copy", "Error occurred in copy", Shake},
        ResultRow{"Case8QuietErrors", 0, 0, 0, 1, 0, 1, 1, 1, nullptr, "Error occurred in copy", Shake}),
    [](const ::testing::TestParamInfo<ResultRow>& info) { return std::string(info.param.Name); });

TEST(FileBackupResults, DiskFullHasItsOwnText)
{
    World w;
    w.Prepare();
    w.FailCopiesTo(w.CopyPath(), CopyError::DiskFull);
    w.Run();
    EXPECT_EQ(w.Logs(), Texts{"Error: Disk is full"});
}

TEST(FileBackupResults, MixedDestinationsShrug)
{
    World w;
    w.Destinations = {{w.Dst(), QString()}, {w.Tmp.path() + "/gone", QString()}};
    w.Prepare();
    w.Run();
    EXPECT_EQ(w.Logs(), (Texts{"Success: Copy saved", "Error: Destination drive no longer exists"}));
    EXPECT_EQ(w.Rig.Hooks.Animations, std::vector<TrayAnimation>{TrayAnimation::Shrug});
}

TEST(FileBackupResults, FailedRotationStillCopiesAndTheNextDestinationGoesOn)
{
    World w;
    const QString second = w.Tmp.path() + "/dst2";
    QDir().mkpath(second);
    w.Destinations = {{w.Dst(), QString()}, {second, QString()}};
    clsBackup& b = w.Prepare();
    b.KeepBackup = true;
    b.Versions = 3;
    WriteFile(w.CopyPath(), "old");
    WriteFile(second + "/Work/f.txt", "old");
    // Version 1 holds a file whose shift into version 2 cannot happen.
    WriteFile(w.Version(1), "older");
    WriteFile(w.Dst() + "/Work/~PrevSave-2", "a file where the version folder goes");
    w.Run();
    EXPECT_EQ(w.Logs(), (Texts{"Success: Copy saved... Error: Previous version store unsuccesful",
                               "Success: Copy saved & Previous version stored"}));
    EXPECT_EQ(ReadFile(w.CopyPath()), "one");
    EXPECT_EQ(ReadFile(w.Version(1)), "older"); // untouched, not truncated
    EXPECT_EQ(ReadFile(second + "/Work/f.txt"), "one");
    EXPECT_EQ(ReadFile(second + "/Work/~PrevSave-1/f.txt"), "old");
}

TEST(FileBackupResults, ReadOnlyCopyIsReplacedWhenVersionsAreKept)
{
    World w;
    clsBackup& b = w.Prepare();
    b.KeepBackup = true;
    b.Versions = 2;
    WriteFile(w.CopyPath(), "old");
    MakeReadOnly(w.CopyPath());
    w.Run();
    EXPECT_EQ(w.Logs(), Texts{"Success: Copy saved & Previous version stored"});
    EXPECT_EQ(ReadFile(w.CopyPath()), "one");
    EXPECT_EQ(VersionRotation::ModeOf(w.CopyPath()),
              VersionRotation::ModeOf(w.FilePath)); // the source's attributes
    EXPECT_EQ(ReadFile(w.Version(1)), "old");
    EXPECT_TRUE(IsReadOnly(w.Version(1))); // the stored version keeps its own
}

TEST(FileBackupResults, ReadOnlySourceGivesAReadOnlyCopyWhenVersionsAreKept)
{
    World w;
    clsBackup& b = w.Prepare();
    b.KeepBackup = true;
    b.Versions = 2;
    WriteFile(w.CopyPath(), "old");
    MakeReadOnly(w.FilePath);
    w.Run();
    EXPECT_EQ(ReadFile(w.CopyPath()), "one");
    EXPECT_TRUE(IsReadOnly(w.CopyPath()));
    EXPECT_FALSE(IsReadOnly(w.Version(1)));
}

TEST(FileBackupResults, ReadOnlyCopyWithoutVersionsTimesOutAsBusy)
{
    World w;
    w.Prepare();
    w.Rig.Opts.BusyTimeout = 3;
    WriteFile(w.CopyPath(), "old");
    MakeReadOnly(w.CopyPath());
    w.Run();
    EXPECT_EQ(w.Logs(), (Texts{Delay, TimedOut}));
    EXPECT_EQ(ReadFile(w.CopyPath()), "old");
    EXPECT_EQ(w.Rig.Wait.Now, 3000);
}

// ---------------------------------------------------------------- busy retry

TEST(FileBackupBusy, SourceFreedInTimeGivesOneDelayThenSuccess)
{
    for (CopyError busy : {CopyError::AccessDenied, CopyError::SourceChanged}) {
        World w;
        w.Prepare();
        w.Rig.Copier.Failures = {busy, busy, busy};
        std::vector<bool> waitingSeen;
        w.Rig.Pump.OnPump = [&] { waitingSeen.push_back(w.Rig.State.BusyWaiting); };
        w.Run();
        EXPECT_EQ(w.Logs(), (Texts{Delay, "Success: Copy saved"}));
        EXPECT_EQ(w.Popups(), (Texts{Delay, "Copy saved"}));
        EXPECT_EQ(w.Rig.Copier.Calls, 4);
        EXPECT_EQ(w.Rig.Wait.Sleeps, 3);
        EXPECT_EQ(waitingSeen, std::vector<bool>(3, true));
        EXPECT_FALSE(w.Rig.State.BusyWaiting);
        EXPECT_FALSE(w.Rig.State.BusyTimedOut);
        EXPECT_GE(w.Rig.Hooks.ShowNotificationsCalls, 2); // the delay shows while waiting
        EXPECT_EQ(ReadFile(w.CopyPath()), "one");
    }
}

struct TimeoutRow
{
    double Seconds;
    qint64 EndsAtMs;
};

class BusyTimeout : public ::testing::TestWithParam<TimeoutRow>
{
};

TEST_P(BusyTimeout, RetriesOnceASecondUntilTheTimeout)
{
    World w;
    w.Prepare();
    w.Rig.Opts.BusyTimeout = GetParam().Seconds;
    w.FailCopiesTo(w.CopyPath(), CopyError::AccessDenied);
    w.Run();
    EXPECT_EQ(w.Logs(), (Texts{Delay, TimedOut}));
    EXPECT_EQ(w.Rig.Wait.Now, GetParam().EndsAtMs);
    EXPECT_EQ(w.Rig.Copier.Calls, 1 + w.Rig.Wait.Sleeps);
    EXPECT_EQ(w.Rig.Wait.Sleeps * 1000, GetParam().EndsAtMs); // one retry per second
    EXPECT_FALSE(w.Rig.State.BusyWaiting);
    EXPECT_FALSE(w.Rig.State.BusyTimedOut);
    EXPECT_EQ(w.Rig.Hooks.Animations, std::vector<TrayAnimation>{TrayAnimation::Shake});
}

// Far above the 65 s a timer interval could hold.
INSTANTIATE_TEST_SUITE_P(Rows, BusyTimeout,
                         ::testing::Values(TimeoutRow{30, 30000}, TimeoutRow{120, 120000},
                                           TimeoutRow{600, 600000}, TimeoutRow{2.5, 3000},
                                           TimeoutRow{0, 1000}));

TEST(FileBackupBusy, DelayReportFollowsTheOptions)
{
    {
        World w;
        w.Prepare();
        w.Rig.Opts.SourceIsBusy = false;
        w.Rig.Copier.Failures = {CopyError::AccessDenied};
        w.Run();
        EXPECT_EQ(w.Logs(), Texts{"Success: Copy saved"});
    }
    {
        World w;
        clsBackup& b = w.Prepare();
        b.NotifyOnError = false;
        b.NotifyOnSuccess = false;
        w.Rig.Copier.Failures = {CopyError::AccessDenied};
        w.Run();
        EXPECT_EQ(w.Logs(), (Texts{Delay, "Success: Copy saved"}));
        EXPECT_TRUE(w.Popups().empty());
    }
    {
        World w;
        clsBackup& b = w.Prepare();
        b.NotifyOnError = false; // either switch is enough for the delay pop-up
        w.Rig.Copier.Failures = {CopyError::AccessDenied};
        w.Run();
        EXPECT_EQ(w.Popups(), (Texts{Delay, "Copy saved"}));
    }
}

TEST(FileBackupBusy, EachFileStartsItsOwnWait)
{
    World w;
    w.Prepare();
    w.Rig.Opts.BusyTimeout = 5;
    w.FailCopiesTo(w.CopyPath(), CopyError::AccessDenied);
    w.Run();
    w.Rig.Copier.Decide = {};
    w.Rig.Copier.Failures = {CopyError::AccessDenied, CopyError::AccessDenied};
    WriteFile(w.FilePath, "changed");
    w.Run();
    EXPECT_EQ(w.Logs(), (Texts{Delay, TimedOut, Delay, "Success: Copy saved"}));
}

TEST(FileBackupBusy, AssociationRemovedWhileWaitingEndsTheWork)
{
    World w;
    w.Destinations = {{w.Dst(), QString()}, {w.Tmp.path() + "/dst2", QString()}};
    w.Prepare();
    w.FailCopiesTo(w.CopyPath(), CopyError::AccessDenied);
    w.Rig.Pump.OnPump = [&] { w.Rig.State.Backups.Remove(w.SourcePath); };
    w.Run();
    EXPECT_EQ(w.Logs(), Texts{Delay});
    EXPECT_EQ(w.Rig.Copier.Calls, 1);
    EXPECT_FALSE(w.Rig.State.BusyWaiting);
}

TEST(FileBackupBusy, ExitWhileWaitingEndsTheWork)
{
    World w;
    w.Prepare();
    w.FailCopiesTo(w.CopyPath(), CopyError::AccessDenied);
    w.Rig.Pump.OnPump = [&] { w.Rig.State.Exiting = true; };
    w.Run();
    EXPECT_EQ(w.Logs(), Texts{Delay});
    EXPECT_EQ(w.Rig.Wait.Sleeps, 1);
}

TEST(FileBackupBusy, LargeCopyLetsTheInterfaceRun)
{
    World w;
    w.Prepare();
    w.Rig.Copier.ChunkSize = 64 * 1024;
    WriteFile(w.FilePath, QByteArray(5 * 64 * 1024, 'x'));
    w.Run();
    EXPECT_EQ(w.Logs(), Texts{"Success: Copy saved"});
    EXPECT_GE(w.Rig.Pump.Calls, 4);
}

TEST(FileBackupBusy, AssociationRemovedDuringALongCopyStopsBeforeTheNextDestination)
{
    World w;
    w.Destinations = {{w.Dst(), QString()}, {w.Tmp.path() + "/dst2", QString()}};
    QDir().mkpath(w.Tmp.path() + "/dst2");
    w.Prepare();
    w.Rig.Copier.ChunkSize = 1024;
    WriteFile(w.FilePath, QByteArray(4096, 'x'));
    w.Rig.Pump.OnPump = [&] { w.Rig.State.Backups.Remove(w.SourcePath); };
    w.Run();
    EXPECT_EQ(w.Logs(), Texts{"Success: Copy saved"}); // the copy that finished is still reported
    EXPECT_FALSE(QFileInfo::exists(w.Tmp.path() + "/dst2/Work"));
}

// ---------------------------------------------------------------- repeats, filters, log

TEST(FileBackupRepeats, UnchangedFileIsNotCopiedAgainAutomatically)
{
    World w;
    w.Prepare();
    w.Run();
    w.Association().DateLastActivity = QStringLiteral("Never");
    w.Run();
    EXPECT_EQ(w.Logs(), Texts{"Success: Copy saved"});
    EXPECT_EQ(w.Rig.Copier.Calls, 1);
    EXPECT_NE(w.Association().DateLastActivity, QStringLiteral("Never")); // set on every call

    Touch(w.FilePath, 1); // same size, new time
    w.Run();
    EXPECT_EQ(w.Rig.Copier.Calls, 2);

    QFile::remove(w.CopyPath()); // the copy went missing: back it up again
    w.Run();
    EXPECT_EQ(w.Rig.Copier.Calls, 3);
    EXPECT_EQ(ReadFile(w.CopyPath()), "one");

    w.Rig.State.ManualSync = true; // a manual synchronisation always copies
    w.Run();
    EXPECT_EQ(w.Rig.Copier.Calls, 4);
}

TEST(FileBackupRepeats, FailedCopyIsTriedAgain)
{
    World w;
    w.Prepare();
    w.Rig.Copier.Failures = {CopyError::Other};
    w.Run();
    w.Run();
    EXPECT_EQ(w.Logs(), (Texts{CopyFailedText, "Success: Copy saved"}));
}

TEST(FileBackupFilters, RejectedFileLeavesOneRecordForTheWholeCall)
{
    World w;
    w.Destinations = {{w.Dst(), QString()}, {w.Tmp.path() + "/dst2", QString()}};
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
    EXPECT_EQ(r.SourceVolume, QStringLiteral("<n/a>"));
    EXPECT_EQ(r.DestPath, QStringLiteral("<n/a>"));
    EXPECT_EQ(r.DestVolume, QStringLiteral("<n/a>"));
    EXPECT_FALSE(r.DateAndTime.isEmpty());
    EXPECT_TRUE(w.Popups().empty());
    EXPECT_TRUE(w.Rig.Hooks.Animations.empty());
    EXPECT_FALSE(QFileInfo::exists(w.Dst() + "/Work"));
    EXPECT_NE(w.Association().DateLastActivity, QStringLiteral("Never"));
}

TEST(FileBackupLog, TrimKeepsTheTenNewestRecords)
{
    for (int before : {98, 99, 150}) {
        World w;
        w.Prepare();
        for (int i = 1; i <= before; ++i)
            w.Rig.Recent.Add("t", "old " + QString::number(i), "", "", "", "old " + QString::number(i));
        w.Run();
        if (before + 1 <= 99) {
            EXPECT_EQ(w.Rig.Recent.Count(), before + 1);
            continue;
        }
        ASSERT_EQ(w.Rig.Recent.Count(), 10) << before;
        EXPECT_EQ(w.Rig.Recent.Item(10)->Message, QStringLiteral("Success: Copy saved"));
        EXPECT_EQ(w.Rig.Recent.Item(1)->Message, "old " + QString::number(before - 8));
    }
}

TEST(FileBackupLog, EmptyFileNameOnlyMarksTheActivity)
{
    World w;
    w.Prepare();
    w.Backup.BackupFile(w.SourcePath, 1, QString());
    EXPECT_EQ(w.Rig.Recent.Count(), 0);
    EXPECT_NE(w.Association().DateLastActivity, QStringLiteral("Never"));
}

TEST(FileBackupLog, StalePositionFindsTheAssociationByItsPath)
{
    World w;
    w.Rig.AddAssociation(w.Tmp.path() + "/other", true, false);
    w.Prepare(); // now at position 2
    w.Backup.BackupFile(w.SourcePath, 1, w.FilePath);
    EXPECT_EQ(w.Logs(), Texts{"Success: Copy saved"});
    EXPECT_EQ(w.Rig.State.Backups.Item(1)->DateLastActivity, QStringLiteral("Never"));
}
} // namespace
