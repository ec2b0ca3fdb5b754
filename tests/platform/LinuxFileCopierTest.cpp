#include "platform/LinuxFileCopier.h"

#include "support/FaultyFiles.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <tuple>

namespace {

// A block of a prime length repeated: no page ever equals its neighbour.
QByteArray Pattern(qint64 size, char seed = 'a')
{
    QByteArray block(4099, Qt::Uninitialized);
    for (int i = 0; i < block.size(); ++i)
        block[i] = char(seed + (i * 7) % 23);
    return block.repeated(int(size / block.size()) + 1).left(size);
}

void SetTimes(const QString& path, time_t seconds, long nanoseconds)
{
    const timespec times[2] = {{seconds - 60, 5}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

// Our temporary files left in a folder (there must never be any after Copy).
QStringList Leftovers(const QString& folder)
{
    return QDir(folder).entryList({".savenook-*.tmp"}, QDir::Files | QDir::Hidden | QDir::System);
}

// A source and a target beside it; the target starts as "old copy" unless told otherwise.
struct Pair
{
    QTemporaryDir Dir;
    QString Source = Dir.path() + "/source.bin";
    QString Target = Dir.path() + "/target.bin";
    explicit Pair(const QByteArray& source, bool withTarget = true)
    {
        WriteFile(Source, source);
        if (withTarget)
            WriteFile(Target, "old copy");
    }
    void ExpectOldTargetAndNoLeftovers() const
    {
        EXPECT_EQ(ReadFile(Target), QByteArray("old copy"));
        EXPECT_TRUE(Leftovers(Dir.path()).isEmpty());
    }
};

TEST(LinuxFileCopier, KeepsContentModeAndExactModificationTime)
{
    // size, chunk bytes, an older target there, betweenChunks calls at least
    for (const auto& [size, chunkBytes, targetExists, chunkCalls] :
         {std::tuple<qint64, qint64, bool, int>{5000, 1 << 20, true, 0},
          {0, 1 << 20, true, 0},
          {100 * 1024 + 1, 4096, false, 25}}) {
        SCOPED_TRACE(size);
        const QByteArray data = Pattern(size);
        const Pair files(data, targetExists);
        ASSERT_EQ(::chmod(QFile::encodeName(files.Source).constData(), 0640), 0);
        SetTimes(files.Source, 1700000000, 123456789);
        int calls = 0;
        ASSERT_EQ(LinuxFileCopier(chunkBytes).Copy(files.Source, files.Target, [&] { ++calls; }).Error,
                  FileError::None);
        EXPECT_TRUE(ReadFile(files.Target) == data);
        struct stat st = {};
        ASSERT_EQ(::stat(QFile::encodeName(files.Target).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        EXPECT_EQ(st.st_mtim.tv_sec, 1700000000);
        EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
        EXPECT_GE(calls, chunkCalls);
        EXPECT_TRUE(Leftovers(files.Dir.path()).isEmpty());
    }
}

// Each failing step names its error and file, keeps the old target and removes its temporary file.
TEST(LinuxFileCopier, FailureHalfWayLeavesTheOldTargetAndNoTemporaryFile)
{
    using C = FaultyFiles::Call;
    for (const auto& [call, error, expected, named] :
         {std::tuple{C::Write, ENOSPC, FileError::DiskFull, ".savenook-"},
          {C::Create, EACCES, FileError::AccessDenied, ".savenook-"},
          {C::Create, EILSEQ, FileError::NameNotAllowed, ".savenook-"},
          {C::OpenRead, EACCES, FileError::AccessDenied, "source"}, // unreadable, even for root
          {C::Rename, ENOSPC, FileError::DiskFull, ".savenook-"}}) {
        SCOPED_TRACE(testing::Message() << int(call) << " " << std::strerror(error));
        const Pair files(Pattern(64 * 1024));
        FaultyFiles faulty;
        faulty.Script = {{call, error, 1, 1, "", 16 * 1024}};
        const FileResult result = LinuxFileCopier(faulty, 4096).Copy(files.Source, files.Target, {});
        EXPECT_EQ(result.Error, expected);
        EXPECT_EQ(result.Errno, error);
        EXPECT_TRUE(QFileInfo(result.Path).fileName().startsWith(named)) << result.Message().toStdString();
        EXPECT_TRUE(result.Message().endsWith(QString::fromLocal8Bit(std::strerror(error))));
        files.ExpectOldTargetAndNoLeftovers();
    }
}

TEST(LinuxFileCopier, FallsBackWhenTheKernelCannotCopyThePair)
{
    // Refused by copy_file_range, then by sendfile too: read and write remain.
    for (int refusals : {1, 2}) {
        SCOPED_TRACE(refusals);
        const QByteArray data = Pattern(50 * 1000);
        const Pair files(data, false);
        int calls = 0;
        FaultyFiles faulty;
        faulty.Script = {{FaultyFiles::Call::Write, EXDEV, 1, refusals, "", 8192}};
        ASSERT_TRUE(LinuxFileCopier(faulty, 4096).Copy(files.Source, files.Target, [&] { ++calls; }));
        EXPECT_TRUE(ReadFile(files.Target) == data);
        EXPECT_GE(calls, 12); // between the chunks
    }
}

TEST(LinuxFileCopier, StagedCopyWaitsForCommitAndOnlyEarlierRunsLeftoversAreRemoved)
{
    const Pair files(Pattern(64 * 1024));
    const QString dir = files.Dir.path();
    LinuxFileCopier copier(8192);
    QString staged;
    EXPECT_EQ(copier
                  .Stage(
                      files.Source, files.Target, [] { return false; }, staged)
                  .Error,
              FileError::Abandoned);
    files.ExpectOldTargetAndNoLeftovers();

    for (const char* name : {".savenook-ab12.tmp", ".savenook-notes.txt", "a.tmp"})
        WriteFile(dir + "/" + name, "left over");
    QDir().mkdir(dir + "/.savenook-folder.tmp");
    ASSERT_EQ(copier.Stage(files.Source, files.Target, {}, staged).Error, FileError::None);
    EXPECT_EQ(ReadFile(files.Target), "old copy");
    copier.RemoveLeftovers(dir);
    QStringList kept = {".savenook-folder.tmp", ".savenook-notes.txt", QFileInfo(staged).fileName(), "a.tmp",
                        "source.bin",           "target.bin"};
    kept.sort();
    EXPECT_EQ(Entries(dir), kept);
    ASSERT_EQ(copier.Commit(staged, files.Target).Error, FileError::None);
    EXPECT_TRUE(ReadFile(files.Target) == Pattern(64 * 1024));
}

// A read-only target is refused even to root; what is not a file to copy from or to is Other.
TEST(LinuxFileCopier, ReadOnlyTargetMissingSourceMissingFolderOrAFolder)
{
    const Pair files("new");
    const QString dir = files.Dir.path();
    ASSERT_EQ(::chmod(QFile::encodeName(files.Target).constData(), 0444), 0);
    for (const auto& [source, target, expected] :
         {std::tuple{files.Source, files.Target, FileError::AccessDenied},
          {dir + "/none.txt", files.Target, FileError::Other},
          {files.Source, dir + "/no/such/t.txt", FileError::Other},
          {dir, files.Target, FileError::Other}}) {
        EXPECT_EQ(LinuxFileCopier().Copy(source, target, {}).Error, expected)
            << source.toStdString() << " to " << target.toStdString();
        files.ExpectOldTargetAndNoLeftovers();
    }
}

TEST(LinuxFileCopier, SourceChangedDuringTheCopy)
{
    const std::pair<const char*, std::function<void(const QString&)>> rows[] = {
        {"grown", [](const QString& source) { ASSERT_TRUE(QFile::resize(source, 64 * 1024 + 4)); }},
        // Same size, written in place: only the time shows it (to the nanosecond).
        {"touched only", [](const QString& source) { SetTimes(source, 1600000000, 2000); }},
        // Saved by rename with the same size and time: only the identity differs.
        {"replaced",
         [](const QString& source) {
             WriteFile(source + ".new", Pattern(64 * 1024, 'b'));
             SetTimes(source + ".new", 1600000000, 1000);
             ASSERT_EQ(::rename(QFile::encodeName(source + ".new"), QFile::encodeName(source)), 0);
         }},
    };
    for (const auto& [name, change] : rows) {
        SCOPED_TRACE(name);
        const Pair files(Pattern(64 * 1024));
        SetTimes(files.Source, 1600000000, 1000);
        bool changed = false;
        EXPECT_EQ(LinuxFileCopier(8192)
                      .Copy(files.Source, files.Target,
                            [&] {
                                if (!std::exchange(changed, true))
                                    change(files.Source);
                            })
                      .Error,
                  FileError::SourceChanged);
        files.ExpectOldTargetAndNoLeftovers();
    }
}

} // namespace
