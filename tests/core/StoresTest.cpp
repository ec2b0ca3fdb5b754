#include "core/Stores.h"
#include "core/DataFolder.h"
#include "core/DateText.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeStore(const QString& name, const QByteArray& bytes)
{
    QDir().mkpath(DataFolder());
    QFile file(DataFilePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray crlf(const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += line.toUtf8() + "\r\n";
    return bytes;
}

QStringList record(const QString& source, const QString& versions = QStringLiteral("3"))
{
    return {source, "DATA", "d1", "Never", "Never", "1", "1", "1", versions, "1", "0", "0", "1"};
}

clsBackup bare(const QString& source)
{
    clsBackup b;
    b.SourcePath = source;
    return b;
}

QStringList unloadedCopies()
{
    return QDir(DataFolder())
        .entryList({QStringLiteral("usrdatab.unloaded-*"), QStringLiteral("usrdatad.unloaded-*")},
                   QDir::Files, QDir::Name);
}

class Stores : public testing::Test
{
  protected:
    std::vector<QString> sources() const
    {
        std::vector<QString> result;
        for (const clsBackup& b : state.Backups)
            result.push_back(b.SourcePath);
        return result;
    }

    TestEnvironment env;
    ProgramState state;
};

// The worked example: one folder association with two destinations.
class WorkedExample : public Stores
{
  protected:
    WorkedExample()
    {
        const QString created = DateText::Format(QDateTime(QDate(2026, 12, 5), QTime(10, 0, 0)));
        const QString active = DateText::Format(QDateTime(QDate(2026, 12, 5), QTime(10, 5, 0)));
        usrdatab =
            crlf({"/data/Work", "DATA", created, "Never", active, "1", "1", "1", "3", "1", "0", "0", "1"});
        usrdatad = crlf(
            {"/media/BACKUP1/Copies/Work", "/data/Work", "BACKUP1", "/media/USB/Work", "/data/Work", "USB"});

        expected.SourcePath = QStringLiteral("/data/Work");
        expected.Volume = QStringLiteral("DATA");
        expected.DateCreated = created;
        expected.DateLastModified = DateText::Never;
        expected.DateLastActivity = active;
        expected.Folder = true;
        expected.Enabled = true;
        expected.KeepBackup = true;
        expected.Versions = 3;
        expected.Recursive = true;
        expected.CopyHidden = false;
        expected.NotifyOnSuccess = false;
        expected.NotifyOnError = true;
    }

    QByteArray usrdatab, usrdatad;
    clsBackup expected;
};

TEST_F(WorkedExample, LoadsAndSavesBackByteIdentical)
{
    writeStore("usrdatab", usrdatab);
    writeStore("usrdatad", usrdatad);
    std::vector<QString> watched;
    LoadBackups(state, [&](const clsBackup& b) { watched.push_back(b.SourcePath); });
    LoadDestinations(state);

    ASSERT_EQ(state.Backups.Count(), 1);
    EXPECT_EQ(*state.Backups.Item(QStringLiteral("/data/Work")), expected);
    EXPECT_EQ(watched, std::vector<QString>{"/data/Work"});
    ASSERT_EQ(state.Destinations.Count(), 2);
    EXPECT_EQ(*state.Destinations.Item(1),
              (clsDestination{"BACKUP1", "/data/Work", "/media/BACKUP1/Copies/Work"}));
    EXPECT_EQ(*state.Destinations.Item(2), (clsDestination{"USB", "/data/Work", "/media/USB/Work"}));
    EXPECT_TRUE(state.PendingWarnings.isEmpty());

    QFile::remove(DataFilePath("usrdatab"));
    QFile::remove(DataFilePath("usrdatad"));
    ASSERT_TRUE(SaveBackups(state));
    ASSERT_TRUE(SaveDestinations(state));
    EXPECT_EQ(readBytes(DataFilePath("usrdatab")), usrdatab);
    EXPECT_EQ(readBytes(DataFilePath("usrdatad")), usrdatad);
}

TEST_F(WorkedExample, BuiltInMemorySavesTheSameBytes)
{
    ASSERT_NE(state.Backups.Add(expected, expected.SourcePath), nullptr);
    state.Destinations.Add("/media/BACKUP1/Copies/Work", "/data/Work", "BACKUP1");
    state.Destinations.Add("/media/USB/Work", "/data/Work", "USB");
    ASSERT_TRUE(SaveBackups(state));
    ASSERT_TRUE(SaveDestinations(state));
    ASSERT_TRUE(SavePausedState(state));
    EXPECT_EQ(readBytes(DataFilePath("usrdatab")), usrdatab);
    EXPECT_EQ(readBytes(DataFilePath("usrdatad")), usrdatad);
    EXPECT_EQ(readBytes(DataFilePath("pprefs")), QByteArray("0\r\n"));
}

TEST_F(Stores, FirstSaveOnAFreshAccountCreatesTheDataFolder)
{
    ASSERT_FALSE(QFileInfo::exists(env.dataHome()));
    ASSERT_NE(state.Backups.Add(bare("/x"), "/x"), nullptr);
    EXPECT_TRUE(SaveBackups(state));
    EXPECT_TRUE(QFileInfo::exists(env.dataFolder() + "/usrdatab"));
}

TEST_F(Stores, VolumeWithNulCharactersSurvivesSaveAndLoad)
{
    const QString volume = QStringLiteral("DATA") + QChar(0) + QStringLiteral("WORK") + QChar(0) + QChar(0);
    clsBackup b = bare("/data/Work");
    b.Volume = volume;
    ASSERT_NE(state.Backups.Add(b, b.SourcePath), nullptr);
    ASSERT_TRUE(SaveBackups(state));
    LoadBackups(state);
    ASSERT_EQ(state.Backups.Count(), 1);
    EXPECT_EQ(state.Backups.Item(1)->Volume, volume);
}

TEST_F(Stores, LegacyWindows1252StoreReadsCorrectly)
{
    QByteArray bytes = crlf(record("/data/Caf\xe9")); // toUtf8 of Latin-1 bytes would be wrong
    bytes = QByteArray("/data/Caf\xe9\r\n") + bytes.mid(bytes.indexOf("\r\n") + 2);
    writeStore("usrdatab", bytes);
    LoadBackups(state);
    ASSERT_EQ(state.Backups.Count(), 1);
    EXPECT_EQ(state.Backups.Item(1)->SourcePath, QString::fromUtf8("/data/Caf\xc3\xa9"));
}

TEST_F(Stores, LoadingEmptiesBothListsFirst)
{
    state.Backups.Add(bare("/old"), "/old");
    state.Destinations.Add("/m/old", "/old", "");
    LoadBackups(state); // no usrdatab at all
    EXPECT_EQ(state.Backups.Count(), 0);
    EXPECT_EQ(state.Destinations.Count(), 0);
}

TEST_F(Stores, AssociationsLoadWithoutDestinationsWhenUsrdatadIsMissing)
{
    writeStore("usrdatab", crlf(record("/a") + record("/b")));
    LoadBackups(state);
    LoadDestinations(state);
    EXPECT_EQ(sources(), (std::vector<QString>{"/a", "/b"}));
    EXPECT_EQ(state.Destinations.Count(), 0);
}

TEST_F(Stores, OrphanDestinationsLoadAllTheSame)
{
    writeStore("usrdatab", crlf(record("/a")));
    writeStore("usrdatad", crlf({"/m/1", "/gone", "", "/m/2", "/a", ""}));
    LoadBackups(state);
    LoadDestinations(state);
    EXPECT_EQ(state.Destinations.Count(), 2);
}

TEST_F(Stores, EmptyStoreLoadsNothingAndWarnsNothing)
{
    writeStore("usrdatab", "");
    LoadBackups(state);
    EXPECT_EQ(state.Backups.Count(), 0);
    EXPECT_TRUE(state.PendingWarnings.isEmpty());
    EXPECT_TRUE(unloadedCopies().isEmpty());
}

TEST_F(Stores, ReadingRulesApplyToEachLine)
{
    QStringList r = record(" /spaced ", " 3");
    r[5] = "true"; // Folder
    r[6] = "-1";   // Enabled
    r[7] = "1";    // KeepBackup
    r[9] = "";     // Recursive
    r[12] = "1 ";  // NotifyOnError
    QStringList r2 = record("/b", "2.5");
    QStringList r3 = record("/c", "3.5");
    QStringList r4 = record("/d", "-7");
    writeStore("usrdatab", crlf(r + r2 + r3 + r4));
    LoadBackups(state);
    ASSERT_EQ(state.Backups.Count(), 4);
    const clsBackup* a = state.Backups.Item(QStringLiteral(" /spaced "));
    ASSERT_NE(a, nullptr);
    EXPECT_FALSE(a->Folder);
    EXPECT_FALSE(a->Enabled);
    EXPECT_TRUE(a->KeepBackup);
    EXPECT_FALSE(a->Recursive);
    EXPECT_FALSE(a->NotifyOnError);
    EXPECT_EQ(a->Versions, 3);
    EXPECT_EQ(state.Backups.Item(2)->Versions, 2);
    EXPECT_EQ(state.Backups.Item(3)->Versions, 4);
    EXPECT_EQ(state.Backups.Item(4)->Versions, -7);
}

// Records that cannot be taken are skipped one by one; the file as read is
// kept aside before any save can replace it, and the user hears of it once.
TEST_F(Stores, SkippedRecordsAreKeptAsideWithOneWarning)
{
    const QByteArray bytes =
        crlf(record("/a") + record("/a") + record("/b", "40000") + record("/c") + record("/d").mid(0, 7));
    writeStore("usrdatab", bytes);
    std::vector<QString> watched;
    LoadBackups(state, [&](const clsBackup& b) { watched.push_back(b.SourcePath); });

    EXPECT_EQ(sources(), (std::vector<QString>{"/a", "/c"}));
    EXPECT_EQ(watched, (std::vector<QString>{"/a", "/c"}));
    ASSERT_EQ(state.PendingWarnings.size(), 1);
    const QStringList copies = unloadedCopies();
    ASSERT_EQ(copies.size(), 1);
    const QString copy = DataFilePath(copies.first());
    EXPECT_EQ(readBytes(copy), bytes);
    const QString warning = state.PendingWarnings.first();
    EXPECT_TRUE(warning.contains(copy)) << warning.toStdString();
    EXPECT_TRUE(warning.contains("/b")) << warning.toStdString();
    EXPECT_TRUE(warning.contains("incomplete")) << warning.toStdString();

    // The next save replaces the store, but the copy stays as it was.
    ASSERT_TRUE(SaveBackups(state));
    EXPECT_EQ(readBytes(copy), bytes);
    EXPECT_NE(readBytes(DataFilePath("usrdatab")), bytes);
}

TEST_F(Stores, EveryPartialLoadKeepsItsOwnCopy)
{
    const QByteArray first = crlf(record("/a") + record("/a"));
    writeStore("usrdatab", first);
    LoadBackups(state);
    const QByteArray second = crlf(record("/b").mid(0, 12));
    writeStore("usrdatab", second);
    LoadBackups(state);
    EXPECT_EQ(state.Backups.Count(), 0);
    EXPECT_EQ(state.PendingWarnings.size(), 2);
    const QStringList copies = unloadedCopies();
    ASSERT_EQ(copies.size(), 2);
    QList<QByteArray> contents{readBytes(DataFilePath(copies[0])), readBytes(DataFilePath(copies[1]))};
    EXPECT_TRUE(contents.contains(first));
    EXPECT_TRUE(contents.contains(second));
}

TEST_F(Stores, IncompleteDestinationRecordIsDroppedAndKeptAside)
{
    const QByteArray bytes = crlf({"/m/1", "/a", "USB", "/m/2", "/a"});
    writeStore("usrdatad", bytes);
    LoadDestinations(state);
    ASSERT_EQ(state.Destinations.Count(), 1);
    EXPECT_EQ(state.Destinations.Item(1)->Path, QStringLiteral("/m/1"));
    ASSERT_EQ(state.PendingWarnings.size(), 1);
    ASSERT_EQ(unloadedCopies().size(), 1);
    EXPECT_TRUE(unloadedCopies().first().startsWith("usrdatad.unloaded-"));
}

TEST_F(Stores, UnreadableStoreIsReported)
{
    QDir().mkpath(DataFilePath("usrdatab"));
    LoadBackups(state);
    EXPECT_EQ(state.Backups.Count(), 0);
    EXPECT_EQ(state.PendingWarnings.size(), 1);
}

struct PausedRow
{
    const char* name;
    std::optional<QByteArray> pprefs;
    bool paused;
};

class PausedState : public testing::TestWithParam<PausedRow>
{
};

TEST_P(PausedState, OnlyAFirstLineOfExactlyOnePauses)
{
    TestEnvironment env;
    if (GetParam().pprefs)
        writeStore("pprefs", *GetParam().pprefs);
    EXPECT_EQ(LoadPausedState(), GetParam().paused);
}

INSTANTIATE_TEST_SUITE_P(
    Files, PausedState,
    testing::Values(PausedRow{"Missing", std::nullopt, false}, PausedRow{"One", "1\r\n", true},
                    PausedRow{"OneWithoutLineEnd", "1", true}, PausedRow{"OneThenBlank", "1 \r\n", false},
                    PausedRow{"Zero", "0\r\n", false}, PausedRow{"Empty", "", false},
                    PausedRow{"SecondLineOne", "0\r\n1\r\n", false}),
    [](const testing::TestParamInfo<PausedRow>& info) { return std::string(info.param.name); });

TEST_F(Stores, PausedStateRoundTrip)
{
    state.Paused = true;
    ASSERT_TRUE(SavePausedState(state));
    EXPECT_EQ(readBytes(DataFilePath("pprefs")), QByteArray("1\r\n"));
    EXPECT_TRUE(LoadPausedState());
}

} // namespace
