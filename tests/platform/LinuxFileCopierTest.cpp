#include "platform/LinuxFileCopier.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Pattern(qint64 size, char seed = 'a')
{
    // A block of 4099 bytes (prime) repeated: no page ever equals its neighbour.
    QByteArray block(4099, Qt::Uninitialized);
    for (int i = 0; i < block.size(); ++i)
        block[i] = char(seed + (i * 7) % 23);
    QByteArray data;
    data.reserve(size);
    while (data.size() < size)
        data.append(block.constData(), int(qMin<qint64>(block.size(), size - data.size())));
    return data;
}

void WriteFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(data), data.size());
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

struct stat StatOf(const QString& path)
{
    struct stat st
    {
    };
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st;
}

void SetTimes(const QString& path, time_t seconds, long nanoseconds)
{
    const timespec times[2] = {{seconds - 60, 5}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

// Our temporary files left in a folder (there must never be any after Copy).
QStringList Leftovers(const QString& folder)
{
    QStringList found;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (LinuxFileCopier::IsTemporaryName(name))
            found << name;
    return found;
}

struct CopyCase
{
    const char* Name;
    qint64 Size;
    qint64 ChunkBytes;
    bool TargetExists;
    int MinChunkCalls; // betweenChunks calls at least
};

void PrintTo(const CopyCase& row, std::ostream* out)
{
    *out << row.Name;
}

class CopierKeeps : public ::testing::TestWithParam<CopyCase>
{
};

TEST_P(CopierKeeps, ContentModeAndExactModificationTime)
{
    const CopyCase& row = GetParam();
    QTemporaryDir dir;
    const QString source = dir.path() + "/source.bin";
    const QString target = dir.path() + "/target.bin";
    const QByteArray data = Pattern(row.Size);
    WriteFile(source, data);
    ASSERT_EQ(::chmod(QFile::encodeName(source).constData(), 0640), 0);
    SetTimes(source, 1700000000, 123456789);
    if (row.TargetExists)
        WriteFile(target, "an older copy, longer than some sources are");

    LinuxFileCopier copier(row.ChunkBytes);
    int calls = 0;
    ASSERT_EQ(copier.Copy(source, target, [&] { ++calls; }), CopyError::None);

    EXPECT_TRUE(ReadFile(target) == data);
    const struct stat st = StatOf(target);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1700000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
    EXPECT_GE(calls, row.MinChunkCalls);
    EXPECT_LE(calls, row.MinChunkCalls + 1);
    EXPECT_TRUE(Leftovers(dir.path()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Copies, CopierKeeps,
                         ::testing::Values(CopyCase{"NewTarget", 5000, 1 << 20, false, 0},
                                           CopyCase{"ReplacesTarget", 5000, 1 << 20, true, 0},
                                           CopyCase{"EmptySource", 0, 1 << 20, true, 0},
                                           CopyCase{"ManySmallChunks", 100 * 1024 + 1, 4096, false, 25},
                                           CopyCase{"ProductChunksOnALargeFile", 40 * 1024 * 1024,
                                                    LinuxFileCopier::DefaultChunkBytes, false, 2}),
                         [](const auto& info) { return std::string(info.param.Name); });

// Fails the in-kernel copy after a number of bytes, as a disk error half-way would.
class FailingCopier : public LinuxFileCopier
{
  public:
    FailingCopier(qint64 failAfter, int error) : LinuxFileCopier(4096), m_failAfter(failAfter), m_error(error)
    {
    }

  protected:
    ssize_t CopyRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t length) override
    {
        if (*inOffset >= m_failAfter) {
            errno = m_error;
            return -1;
        }
        return LinuxFileCopier::CopyRange(in, inOffset, out, outOffset, length);
    }

  private:
    qint64 m_failAfter;
    int m_error;
};

struct FailureCase
{
    int Error;
    CopyError Expected;
};

void PrintTo(const FailureCase& row, std::ostream* out)
{
    *out << std::strerror(row.Error);
}

class CopierFailure : public ::testing::TestWithParam<FailureCase>
{
};

TEST_P(CopierFailure, HalfWayLeavesTheOldTargetAndNoTemporaryFile)
{
    QTemporaryDir dir;
    const QString source = dir.path() + "/source.bin";
    const QString target = dir.path() + "/target.bin";
    WriteFile(source, Pattern(64 * 1024));
    WriteFile(target, "old copy");

    FailingCopier copier(16 * 1024, GetParam().Error);
    EXPECT_EQ(copier.Copy(source, target, {}), GetParam().Expected);
    EXPECT_EQ(ReadFile(target), QByteArray("old copy"));
    EXPECT_TRUE(Leftovers(dir.path()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Errors, CopierFailure,
                         ::testing::Values(FailureCase{EIO, CopyError::Other},
                                           FailureCase{ENOSPC, CopyError::DiskFull},
                                           FailureCase{EDQUOT, CopyError::DiskFull},
                                           FailureCase{EACCES, CopyError::AccessDenied},
                                           FailureCase{EPERM, CopyError::AccessDenied}),
                         [](const auto& info) { return std::to_string(info.param.Error); });

// copy_file_range refusing the pair of file systems, from the start or half-way.
class RefusingCopier : public LinuxFileCopier
{
  public:
    explicit RefusingCopier(qint64 refuseFrom) : LinuxFileCopier(4096), m_refuseFrom(refuseFrom) {}

  protected:
    ssize_t CopyRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t length) override
    {
        if (*inOffset >= m_refuseFrom) {
            errno = EXDEV;
            return -1;
        }
        return LinuxFileCopier::CopyRange(in, inOffset, out, outOffset, length);
    }

  private:
    qint64 m_refuseFrom;
};

TEST(LinuxFileCopier, FallsBackWhenTheKernelCannotCopyThePair)
{
    for (qint64 refuseFrom : {qint64(0), qint64(8192)}) {
        QTemporaryDir dir;
        const QString source = dir.path() + "/source.bin";
        const QString target = dir.path() + "/target.bin";
        const QByteArray data = Pattern(50 * 1000);
        WriteFile(source, data);
        SetTimes(source, 1400000000, 42);
        RefusingCopier copier(refuseFrom);
        int calls = 0;
        ASSERT_EQ(copier.Copy(source, target, [&] { ++calls; }), CopyError::None) << refuseFrom;
        EXPECT_TRUE(ReadFile(target) == data) << refuseFrom;
        EXPECT_EQ(StatOf(target).st_mtim.tv_nsec, 42);
        EXPECT_EQ(calls, 12);
    }
}

TEST(LinuxFileCopier, ReadOnlyTargetIsAccessDeniedEvenForRoot)
{
    QTemporaryDir dir;
    const QString source = dir.path() + "/source.txt";
    const QString target = dir.path() + "/target.txt";
    WriteFile(source, "new");
    WriteFile(target, "kept");
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0444), 0);

    LinuxFileCopier copier;
    EXPECT_EQ(copier.Copy(source, target, {}), CopyError::AccessDenied);
    EXPECT_EQ(ReadFile(target), QByteArray("kept"));
    EXPECT_TRUE(Leftovers(dir.path()).isEmpty());
}

TEST(LinuxFileCopier, MissingSourceOrFolderIsOther)
{
    QTemporaryDir dir;
    WriteFile(dir.path() + "/source.txt", "x");
    LinuxFileCopier copier;
    EXPECT_EQ(copier.Copy(dir.path() + "/none.txt", dir.path() + "/t.txt", {}), CopyError::Other);
    EXPECT_EQ(copier.Copy(dir.path() + "/source.txt", dir.path() + "/no/such/t.txt", {}), CopyError::Other);
    EXPECT_EQ(copier.Copy(dir.path(), dir.path() + "/t.txt", {}), CopyError::Other) << "a folder is no file";
    EXPECT_FALSE(QFile::exists(dir.path() + "/t.txt"));
    EXPECT_TRUE(Leftovers(dir.path()).isEmpty());
}

struct ChangeCase
{
    const char* Name;
    std::function<void(const QString& source)> Change;
};

void PrintTo(const ChangeCase& row, std::ostream* out)
{
    *out << row.Name;
}

class CopierSourceChanged : public ::testing::TestWithParam<ChangeCase>
{
};

TEST_P(CopierSourceChanged, DuringTheCopyGivesSourceChanged)
{
    QTemporaryDir dir;
    const QString source = dir.path() + "/source.bin";
    const QString target = dir.path() + "/target.bin";
    WriteFile(source, Pattern(64 * 1024));
    SetTimes(source, 1600000000, 1000);
    WriteFile(target, "old copy");

    LinuxFileCopier copier(8192);
    bool changed = false;
    const CopyError result = copier.Copy(source, target, [&] {
        if (!changed)
            GetParam().Change(source);
        changed = true;
    });
    EXPECT_EQ(result, CopyError::SourceChanged);
    EXPECT_EQ(ReadFile(target), QByteArray("old copy"));
    EXPECT_TRUE(Leftovers(dir.path()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Changes, CopierSourceChanged,
    ::testing::Values(
        ChangeCase{"Grown",
                   [](const QString& source) {
                       QFile file(source);
                       ASSERT_TRUE(file.open(QIODevice::Append));
                       file.write("more");
                   }},
        ChangeCase{"Truncated", [](const QString& source) { ASSERT_TRUE(QFile::resize(source, 10)); }},
        // Same size, written in place: only the time shows it (to the nanosecond).
        ChangeCase{"TouchedOnly", [](const QString& source) { SetTimes(source, 1600000000, 2000); }},
        // Saved by rename with the same size and time: only the identity differs.
        ChangeCase{"Replaced",
                   [](const QString& source) {
                       const QString fresh = source + ".new";
                       WriteFile(fresh, Pattern(64 * 1024, 'b'));
                       SetTimes(fresh, 1600000000, 1000);
                       ASSERT_EQ(::rename(QFile::encodeName(fresh).constData(),
                                          QFile::encodeName(source).constData()),
                                 0);
                   }}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(LinuxFileCopier, CopiesAcrossFileSystems)
{
    QTemporaryDir from;
    QTemporaryDir to(QStringLiteral("/dev/shm/savenook-copier-XXXXXX"));
    if (!to.isValid())
        GTEST_SKIP() << "/dev/shm is not available here";
    if (StatOf(from.path()).st_dev == StatOf(to.path()).st_dev)
        GTEST_SKIP() << "/tmp and /dev/shm are one file system here";
    const QString source = from.path() + "/source.bin";
    const QString target = to.path() + "/target.bin";
    const QByteArray data = Pattern(3 * 1024 * 1024 + 17);
    WriteFile(source, data);
    SetTimes(source, 1500000000, 999999999);

    LinuxFileCopier copier(1024 * 1024);
    int calls = 0;
    ASSERT_EQ(copier.Copy(source, target, [&] { ++calls; }), CopyError::None);
    EXPECT_TRUE(ReadFile(target) == data);
    EXPECT_EQ(StatOf(target).st_mtim.tv_nsec, 999999999);
    EXPECT_EQ(calls, 3);
    EXPECT_TRUE(Leftovers(to.path()).isEmpty());
}

TEST(LinuxFileCopier, FullDiskIsDiskFull)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to mount a 1 MiB tmpfs that can fill up";
    QTemporaryDir dir;
    const QString small = dir.path() + "/small";
    ASSERT_TRUE(QDir().mkpath(small));
    if (::mount("tmpfs", QFile::encodeName(small).constData(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "mounting a tmpfs failed: " << std::strerror(errno);
    struct Unmount
    {
        QByteArray Path;
        ~Unmount() { ::umount2(Path.constData(), MNT_DETACH); }
    } unmount{QFile::encodeName(small)};
    const QString source = dir.path() + "/source.bin";
    const QString target = small + "/target.bin";
    WriteFile(source, Pattern(2 * 1024 * 1024));
    WriteFile(target, "old copy");

    LinuxFileCopier copier(256 * 1024);
    EXPECT_EQ(copier.Copy(source, target, {}), CopyError::DiskFull);
    EXPECT_EQ(ReadFile(target), QByteArray("old copy"));
    EXPECT_TRUE(Leftovers(small).isEmpty());
}

// Permission bits deny root nothing, so the unreadable-source case runs in a
// child process as "nobody": this same test program, filtered to the case below.
constexpr char kChildVariable[] = "SAVENOOK_COPIER_CHILD";

TEST(LinuxFileCopier, UnreadableSourceIsAccessDenied)
{
    QTemporaryDir dir;
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
    const QString source = dir.path() + "/secret.txt";
    const QString target = dir.path() + "/target.txt";
    WriteFile(source, "secret");
    ASSERT_EQ(::chmod(QFile::encodeName(source).constData(), 0), 0);

    if (::geteuid() != 0) {
        LinuxFileCopier copier;
        EXPECT_EQ(copier.Copy(source, target, {}), CopyError::AccessDenied);
        EXPECT_FALSE(QFile::exists(target));
        return;
    }
    if (QStandardPaths::findExecutable("setpriv").isEmpty())
        GTEST_SKIP() << "setpriv (util-linux) is needed to run this case as an unprivileged user";
    const QString self = QFile::symLinkTarget("/proc/self/exe");
    const QStringList asNobody{"--reuid=65534", "--regid=65534", "--clear-groups"};
    if (QProcess::execute("setpriv", asNobody + QStringList{"test", "-x", self}) != 0)
        GTEST_SKIP() << "an unprivileged user cannot run " << self.toStdString() << " from where it lies";

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kChildVariable, source + "\n" + target);
    child.setProcessEnvironment(environment);
    child.start("setpriv", asNobody + QStringList{self, "--gtest_filter=LinuxFileCopierChild.*"});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test") && !output.contains("SKIPPED"))
        << output.toStdString();
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_TRUE(Leftovers(dir.path()).isEmpty());
}

TEST(LinuxFileCopierChild, UnreadableSourceAsUnprivilegedUser)
{
    const QStringList paths = qEnvironmentVariable(kChildVariable).split('\n');
    if (paths.size() != 2)
        GTEST_SKIP() << "runs only as the child of LinuxFileCopier.UnreadableSourceIsAccessDenied";
    ASSERT_NE(::geteuid(), 0u);
    LinuxFileCopier copier;
    EXPECT_EQ(copier.Copy(paths[0], paths[1], {}), CopyError::AccessDenied);
}

} // namespace
