#include "core/Stores.h"
#include "core/DataFolder.h"
#include "platform/FileNames.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

QStringList record(const QString& source, const QString& versions = QStringLiteral("3"))
{
    return {source, "DATA", "d1", "Never", "Never", "1", "1", "1", versions, "1", "0", "0", "1"};
}

QStringList setAside(const QString& store = QStringLiteral("usrdata?"))
{
    return QDir(DataFolder())
        .entryList({store + ".unloaded-*"}, QDir::AllEntries | QDir::System | QDir::Hidden, QDir::Name);
}

std::vector<QString> sources(const ProgramState& state)
{
    std::vector<QString> result;
    for (const clsBackup& b : state.Backups)
        result.push_back(b.SourcePath);
    return result;
}

class Stores : public testing::Test
{
  protected:
    TestEnvironment env;
    ProgramState state;
};

// The worked example (one folder association with two destinations) beside a record of odd values.
// Loading replaces both lists; associations load without usrdatad, and destinations of a missing
// association all the same. The program's own exit writes the example back byte for byte.
TEST_F(Stores, WorkedExampleAndReadingRulesLoadEveryFieldAndReplaceBothLists)
{
    state.Backups.Add(clsBackup(), "/old");
    state.Destinations.Add("/m/old", "/old", "");
    LoadBackups(state); // no usrdatab at all
    EXPECT_EQ(state.Backups.Count(), 0);
    EXPECT_EQ(state.Destinations.Count(), 0);
    WriteFile(DataFilePath("usrdatab"), ""); // empty: nothing to set aside or tell
    LoadBackups(state);

    const QString created = QStringLiteral("05/12/2026 10:00:00"),
                  active = QStringLiteral("05/12/2026 10:05:00");
    QStringList odd = record(" /spaced ", " 3");
    odd[5] = "true"; // Folder
    odd[6] = "-1";   // Enabled
    odd[9] = "";     // Recursive
    odd[12] = "1 ";  // NotifyOnError
    const QStringList worked = {"/data/Work", "DATA", created, "Never", active, "1", "1",
                                "1",          "3",    "1",     "0",     "0",    "1"};
    WriteFile(DataFilePath("usrdatab"), CrLf(worked + odd));
    LoadBackups(state);
    LoadDestinations(state);
    ASSERT_EQ(state.Backups.Count(), 2);
    WriteFile(DataFilePath("usrdatad"), CrLf({"/media/BACKUP1/Copies/Work", "/data/Work", "BACKUP1",
                                              "/media/USB/Work", "/gone", "USB"}));
    LoadDestinations(state);

    // SourcePath, Folder, Recursive, DateCreated, Volume, NotifyOnError, NotifyOnSuccess, Enabled,
    // DateLastModified, DateLastActivity, KeepBackup, Versions, CopyHidden
    const clsBackup expected{"/data/Work", true,    true,   created, "DATA", true, false,
                             true,         "Never", active, true,    3,      false};
    EXPECT_EQ(*state.Backups.Item(QStringLiteral("/data/Work")), expected);
    const clsBackup* a = state.Backups.Item(QStringLiteral(" /spaced "));
    ASSERT_NE(a, nullptr);
    EXPECT_FALSE(a->Folder || a->Enabled || a->Recursive || a->NotifyOnError);
    EXPECT_EQ(a->Versions, 3);
    ASSERT_EQ(state.Destinations.Count(), 2);
    EXPECT_EQ(*state.Destinations.Item(1),
              (clsDestination{"BACKUP1", "/data/Work", "/media/BACKUP1/Copies/Work"}));
    EXPECT_EQ(*state.Destinations.Item(2), (clsDestination{"USB", "/gone", "/media/USB/Work"}));
    EXPECT_TRUE(state.PendingWarnings.isEmpty());
    EXPECT_TRUE(setAside().isEmpty());
}

// Records that cannot be taken are skipped one by one; the file as read is kept aside, each partial
// load with its own copy that later saves leave alone, and the user hears of it once.
TEST_F(Stores, SkippedRecordsAreKeptAsideWithOneWarning)
{
    const QByteArray bytes =
        CrLf(record("/a") + record("/a") + record("/b", "40000") + record("/c") + record("/d").mid(0, 7));
    WriteFile(DataFilePath("usrdatab"), bytes);
    std::vector<QString> watched;
    LoadBackups(state, [&](const clsBackup& b) { watched.push_back(b.SourcePath); });
    EXPECT_EQ(sources(state), (std::vector<QString>{"/a", "/c"}));
    EXPECT_EQ(watched, (std::vector<QString>{"/a", "/c"}));
    ASSERT_EQ(state.PendingWarnings.size(), 1);
    ASSERT_EQ(setAside().size(), 1);
    const QString copy = DataFilePath(setAside().first());
    for (const QString& part : {copy, QStringLiteral("/b"), QStringLiteral("incomplete")})
        EXPECT_TRUE(state.PendingWarnings.first().contains(part))
            << state.PendingWarnings.first().toStdString();
    ASSERT_TRUE(SaveBackups(state));
    EXPECT_EQ(ReadFile(copy), bytes);

    WriteFile(DataFilePath("usrdatab"), CrLf(record("/b").mid(0, 12)));
    LoadBackups(state);
    EXPECT_EQ(state.PendingWarnings.size(), 2);
    EXPECT_EQ(setAside().size(), 2);
    EXPECT_EQ(ReadFile(copy), bytes);

    // An incomplete destination record is dropped alone.
    WriteFile(DataFilePath("usrdatad"), CrLf({"/m/1", "/a", "USB", "/m/2", "/a"}));
    LoadDestinations(state);
    ASSERT_EQ(state.Destinations.Count(), 1);
    EXPECT_EQ(state.Destinations.Item(1)->Path, QStringLiteral("/m/1"));
    EXPECT_EQ(state.PendingWarnings.size(), 3);
    EXPECT_EQ(setAside("usrdatad").size(), 1);
}

// A store that exists but cannot be read goes aside as it is before anything is saved, and the user
// hears of it once; the new store holds what came since. As root, the unreadable file is read as nobody.
TEST_F(Stores, UnreadableStoreIsMovedAsideNotEmptied)
{
    enum class Kind { LinkToNowhere, Folder, NoPermission };
    for (const QString store : {"usrdatab", "usrdatad"}) {
        for (const Kind kind : {Kind::LinkToNowhere, Kind::Folder, Kind::NoPermission}) {
            SCOPED_TRACE(testing::Message() << store.toStdString() << " kind " << int(kind));
            TestEnvironment rowEnv;
            ProgramState rowState;
            const QString path = DataFilePath(store);
            const QString nowhere = rowEnv.root() + "/unmounted/" + store;
            const QByteArray bytes =
                CrLf(store == "usrdatab" ? record("/old") : QStringList{"/m", "/old", ""});
            WriteFile(path, bytes);
            for (const QString& folder : {rowEnv.root(), rowEnv.dataHome(), DataFolder()})
                QFile::setPermissions(folder, QFileDevice::Permissions(0x7777));
            if (kind != Kind::NoPermission)
                QFile::remove(path);
            if (kind == Kind::LinkToNowhere)
                ASSERT_TRUE(QFile::link(nowhere, path));
            else if (kind == Kind::Folder)
                ASSERT_TRUE(QDir().mkpath(path + "/inside"));
            else
                ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::Permissions()));
            const bool asNobody = kind == Kind::NoPermission && ::geteuid() == 0;
            if (asNobody) {
                ASSERT_TRUE(::setegid(65534) == 0 && ::seteuid(65534) == 0);
            }
            LoadBackups(rowState);
            LoadDestinations(rowState);
            clsBackup added;
            added.SourcePath = "/new";
            rowState.Backups.Add(added, added.SourcePath);
            rowState.Destinations.Add("/m/new", "/new", "");
            const bool saved = SaveBackups(rowState) && SaveDestinations(rowState);
            if (asNobody) {
                ASSERT_TRUE(::seteuid(0) == 0 && ::setegid(0) == 0);
            }

            EXPECT_TRUE(saved);
            EXPECT_TRUE(ReadFile(path).contains("/new"));
            ASSERT_EQ(setAside(store).size(), 1);
            const QString asidePath = DataFilePath(setAside(store).first());
            ASSERT_EQ(rowState.PendingWarnings.size(), 1);
            EXPECT_TRUE(rowState.PendingWarnings.first().contains(asidePath));
            if (kind == Kind::LinkToNowhere) {
                EXPECT_EQ(QFileInfo(asidePath).symLinkTarget(), nowhere);
            } else if (kind == Kind::Folder) {
                EXPECT_TRUE(QFileInfo::exists(asidePath + "/inside"));
            } else {
                QFile::setPermissions(asidePath, QFileDevice::ReadOwner);
                EXPECT_EQ(ReadFile(asidePath), bytes);
            }
        }
    }
}

// A value with a line break or bytes that are not UTF-8 (Linux file names may hold either) leaves out only
// its own record, told once however often the store is saved; NULs in a volume name are kept.
TEST_F(Stores, AnUnstorableNameLeavesOutOnlyItsRecordAndIsToldOnce)
{
    QStringList told;
    state.ShowWarning = [&told](const QString& text) { told << text; };
    const QString volume = QStringLiteral("DATA") + QChar(0) + QStringLiteral("WORK") + QChar(0) + QChar(0);
    for (const QString& source :
         {QString("/a"), QString("/b\nc"), FileNames::Decode("/e\xff"), QString("/d")}) {
        clsBackup b;
        b.SourcePath = source;
        b.Volume = volume;
        state.Backups.Add(b, source);
    }
    state.Destinations.Add("/m/1", "/a", "");
    state.Destinations.Add("/m/x\ry", "/d", "");
    state.Destinations.Add("/m/2", "/d", "");
    for (int save = 0; save < 2; ++save) {
        state.Backups.Item(2)->DateLastActivity = QString::number(save); // a backup in between
        ASSERT_TRUE(SaveBackups(state) && SaveDestinations(state));
    }
    ASSERT_EQ(told.size(), 3);
    EXPECT_TRUE(told[0].contains("/b\nc"));
    EXPECT_TRUE(told[1].contains(QString::fromUtf8("/e\xef\xbf\xbd")));
    EXPECT_TRUE(told[2].contains("/m/x\ry"));

    ProgramState back;
    LoadBackups(back);
    LoadDestinations(back);
    ASSERT_EQ(sources(back), (std::vector<QString>{"/a", "/d"}));
    EXPECT_EQ(back.Backups.Item(1)->Volume, volume);
    ASSERT_EQ(back.Destinations.Count(), 2);
    EXPECT_EQ(back.Destinations.Item(2)->Path, QStringLiteral("/m/2"));
}

// A store that cannot be written is told once, and again only when it fails anew after a save that worked.
TEST_F(Stores, AFailedWriteIsToldOncePerRunOfFailures)
{
    QStringList told;
    state.ShowWarning = [&told](const QString& text) { told << text; };
    const QString temp = DataFilePath("usrdatabTEMP");
    for (const bool blocked : {true, true, false, true, true}) {
        if (blocked)
            QDir().mkpath(temp + "/blocker");
        else
            QDir(temp).removeRecursively();
        EXPECT_EQ(SaveBackups(state), !blocked);
    }
    ASSERT_EQ(told.size(), 2);
    EXPECT_TRUE(told.first().contains(DataFilePath("usrdatab"))) << told.first().toStdString();
}

TEST_F(Stores, PausedStateIsOnlyAFirstLineOfExactlyOne)
{
    EXPECT_FALSE(LoadPausedState()); // no file
    const std::pair<const char*, bool> rows[] = {{"1\r\n", true},  {"1", true}, {"1 \r\n", false},
                                                 {"0\r\n", false}, {"", false}, {"0\r\n1\r\n", false}};
    for (const auto& [bytes, paused] : rows) {
        WriteFile(DataFilePath("pprefs"), bytes);
        EXPECT_EQ(LoadPausedState(), paused) << bytes;
    }
}

} // namespace
