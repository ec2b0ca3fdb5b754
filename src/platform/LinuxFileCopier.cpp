#include "platform/LinuxFileCopier.h"

#include "platform/FileNames.h"
#include "platform/FilePath.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <future>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kFallbackBufferBytes = 1024 * 1024;
// A chunk that takes longer than this to copy and write out (a slow stick, a
// network share) is halved, down to the smallest size; a fast one grows back.
constexpr qint64 kSlowChunkMs = 100;
constexpr qint64 kSmallestChunkBytes = 1024 * 1024;

// Closes a descriptor on every way out of Copy.
class Descriptor
{
  public:
    explicit Descriptor(FileSystem& files, int fd = -1) : m_files(files), m_fd(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    void Reset(int fd)
    {
        Close();
        m_fd = fd;
    }
    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    // The result of close() matters for the target: network file systems report
    // write errors there.
    int Close()
    {
        const int result = m_fd >= 0 ? m_files.Close(m_fd) : 0;
        m_fd = -1;
        return result;
    }

  private:
    FileSystem& m_files;
    int m_fd;
};

bool SameVersion(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Errors that mean "copy_file_range cannot do this pair", not "the copy failed".
bool NeedsFallback(int error)
{
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP ||
           error == EBADF;
}

// The temporary files that copies of this process are writing or hold staged, by
// device and inode: a clean-up must never take one, whatever path names it.
// Only the GUI thread copies, so no lock.
std::set<std::pair<dev_t, ino_t>>& inUse()
{
    static std::set<std::pair<dev_t, ino_t>> files;
    return files;
}

std::pair<dev_t, ino_t> identityOf(int fd)
{
    struct stat st = {};
    if (::fstat(fd, &st) != 0)
        return {0, 0};
    return {st.st_dev, st.st_ino};
}

void release(const QString& path)
{
    struct stat st;
    if (::stat(FileNames::Encode(path).constData(), &st) == 0)
        inUse().erase({st.st_dev, st.st_ino});
}

// Writes the copy out while it is made, so the page cache never holds more than
// a few chunks of it: each chunk's writeback is started as soon as it is copied,
// and the oldest still in flight is waited for. No single call then waits for the
// whole file (seconds for a gigabyte on a stick), and the final fsync finds
// little to do.
class Writeback
{
  public:
    Writeback(FileSystem& files, int fd) : m_files(files), m_fd(fd) {}

    // [start, end) has just been written; 0 or an errno.
    int Written(off_t start, off_t end)
    {
        if (m_rangeSync) {
            if (m_files.SyncRange(m_fd, start, end - start, SYNC_FILE_RANGE_WRITE) == 0) {
                m_ends.push_back(end);
                if (m_ends.size() <= InFlight)
                    return 0;
                const off_t upTo = m_ends.front();
                m_ends.pop_front();
                const int waited = m_files.SyncRange(m_fd, m_waited, upTo - m_waited,
                                                     SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                                         SYNC_FILE_RANGE_WAIT_AFTER);
                m_waited = upTo;
                return waited == 0 ? 0 : errno;
            }
            if (errno != EINVAL && errno != ESPIPE && errno != ENOSYS && errno != EOPNOTSUPP)
                return errno;
            m_rangeSync = false; // a file system without it: flush each chunk whole
        }
        return m_files.SyncData(m_fd) == 0 ? 0 : errno;
    }

    // Waits until everything written so far is on the disk; 0 or an errno.
    int Finish()
    {
        if (!m_rangeSync || m_ends.empty())
            return 0;
        const int result = m_files.SyncRange(
            m_fd, 0, 0, SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
        return result == 0 ? 0 : errno;
    }

  private:
    FileSystem& m_files;
    int m_fd;
    bool m_rangeSync = true;
    // Chunks written out at once: a few keep the device's queue full (one alone
    // measured up to a third slower on a busy disk) and still bound the dirty pages.
    static constexpr size_t InFlight = 4;
    std::deque<off_t> m_ends; // chunks being written out, oldest first
    off_t m_waited = 0;       // everything before this is on the disk
};

// fsync of a file whose data is already written out, or of a folder, still waits
// for the file system's journal, and under other programs' writes that took half
// a second here. It runs on a short-lived thread of its own while keepGoing keeps
// the interface served; a flush cannot be stopped, so a stop is only noted (in
// abandoned) and the flush waited for. 0 or an errno.
int flushBeside(FileSystem& files, int fd, const std::function<bool()>& keepGoing, bool& abandoned)
{
    std::future<int> flushed =
        std::async(std::launch::async, [&files, fd] { return files.Sync(fd) == 0 ? 0 : errno; });
    while (flushed.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
        if (!abandoned && keepGoing && !keepGoing())
            abandoned = true;
    return flushed.get();
}

} // namespace

LinuxFileCopier::LinuxFileCopier(qint64 chunkBytes) : LinuxFileCopier(m_ownFiles, chunkBytes) {}

LinuxFileCopier::LinuxFileCopier(FileSystem& files, qint64 chunkBytes)
    : m_files(files), m_chunkBytes(chunkBytes > 0 ? chunkBytes : DefaultChunkBytes)
{
}

bool LinuxFileCopier::IsTemporaryName(const QString& fileName)
{
    return fileName.startsWith(QLatin1String(TemporaryPrefix)) &&
           fileName.endsWith(QLatin1String(TemporarySuffix)) &&
           fileName.size() > qsizetype(sizeof TemporaryPrefix + sizeof TemporarySuffix - 2);
}

ssize_t LinuxFileCopier::SendRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t length)
{
    // sendfile writes at the target's file position, not at an offset of ours.
    if (::lseek(out, *outOffset, SEEK_SET) != *outOffset)
        return -1;
    const ssize_t sent = m_files.Send(out, in, inOffset, length);
    if (sent > 0)
        *outOffset += sent;
    return sent;
}

ssize_t LinuxFileCopier::ReadWriteRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t length)
{
    if (m_buffer.empty())
        m_buffer.resize(kFallbackBufferBytes);
    size_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(in, m_buffer.data(), qMin(length - done, m_buffer.size()), *inOffset);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return done > 0 ? ssize_t(done) : -1;
        }
        if (got == 0)
            break;
        for (ssize_t written = 0; written < got;) {
            const ssize_t put =
                m_files.WriteAt(out, m_buffer.data() + written, size_t(got - written), *outOffset);
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                return -1;
            }
            written += put;
            *outOffset += put;
        }
        *inOffset += got;
        done += size_t(got);
    }
    return ssize_t(done);
}

FileResult LinuxFileCopier::Stage(const QString& source, const QString& target,
                                  const std::function<bool()>& keepGoing, QString& staged)
{
    staged.clear();
    const QByteArray sourcePath = FileNames::Encode(source);
    const QByteArray targetPath = FileNames::Encode(target);

    Descriptor in(m_files, m_files.Open(source, O_RDONLY | O_NOCTTY));
    if (!in.Valid())
        return FileResult::Failed(errno, "open", source);
    struct stat before;
    if (::fstat(in.Get(), &before) != 0)
        return FileResult::Failed(errno, "stat", source);
    if (!S_ISREG(before.st_mode))
        return FileResult::Failed(FileError::Other, "copy (not a file)", source);

    // Checked on the mode bits rather than with access(): root passes access(), and
    // a read-only copy must refuse to be replaced for root too.
    struct stat existing;
    if (::stat(targetPath.constData(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode))
            return FileResult::Failed(FileError::Other, "copy (a folder holds the name)", target);
        if (!(existing.st_mode & S_IWUSR))
            return FileResult::Failed(FileError::AccessDenied, "copy (read-only target)", target);
    } else if (errno != ENOENT) {
        return FileResult::Failed(errno, "stat", target);
    }

    const QString folder = FilePath::Parent(target);
    QString temporary;
    Descriptor out(m_files);
    for (int attempt = 0; attempt < 16 && !out.Valid(); ++attempt) {
        temporary = folder + QLatin1Char('/') + QLatin1String(TemporaryPrefix) +
                    QString::number(QRandomGenerator::global()->generate(), 16) +
                    QLatin1String(TemporarySuffix);
        out.Reset(m_files.Open(temporary, O_WRONLY | O_CREAT | O_EXCL, 0600));
        if (!out.Valid() && errno != EEXIST)
            return FileResult::Failed(errno, "open", temporary);
    }
    if (!out.Valid())
        return FileResult::Failed(EEXIST, "open", temporary);
    const auto identity = identityOf(out.Get());
    inUse().insert(identity);

    auto fail = [&](FileResult result) {
        out.Close();
        m_files.Remove(temporary);
        inUse().erase(identity);
        return result;
    };
    auto failWith = [&](int error, const char* call) {
        return fail(FileResult::Failed(error, call, temporary));
    };
    Writeback writeback(m_files, out.Get());

    // One pass of copy_file_range in large chunks (in-kernel, no user-space
    // buffer); the fallbacks only where the two file systems cannot do that.
    off_t inOffset = 0;
    off_t outOffset = 0;
    enum class Method { CopyRange, SendFile, ReadWrite } method = Method::CopyRange;
    qint64 chunkBytes = m_chunkBytes;
    QElapsedTimer chunkClock;
    chunkClock.start();
    while (inOffset < before.st_size) {
        const size_t want = size_t(qMin<qint64>(chunkBytes, before.st_size - inOffset));
        ssize_t copied = -1;
        const off_t chunkStart = outOffset;
        switch (method) {
        case Method::CopyRange:
            copied = m_files.CopyRange(in.Get(), &inOffset, out.Get(), &outOffset, want);
            break;
        case Method::SendFile:
            copied = SendRange(in.Get(), &inOffset, out.Get(), &outOffset, want);
            break;
        case Method::ReadWrite:
            copied = ReadWriteRange(in.Get(), &inOffset, out.Get(), &outOffset, want);
            break;
        }
        if (copied < 0) {
            if (errno == EINTR)
                continue;
            if (method != Method::ReadWrite && NeedsFallback(errno)) {
                method = method == Method::CopyRange ? Method::SendFile : Method::ReadWrite;
                continue;
            }
            return failWith(errno, "write");
        }
        if (copied == 0) // shorter than it was at the start
            return fail(FileResult::Failed(FileError::SourceChanged, "copy", source));
        if (const int error = writeback.Written(chunkStart, outOffset))
            return failWith(error, "flush");
        const qint64 took = chunkClock.elapsed();
        if (took > kSlowChunkMs && chunkBytes > kSmallestChunkBytes)
            chunkBytes = qMax(kSmallestChunkBytes, chunkBytes / 2);
        else if (took < kSlowChunkMs / 4 && chunkBytes < m_chunkBytes)
            chunkBytes = qMin(m_chunkBytes, chunkBytes * 2);
        if (inOffset < before.st_size && keepGoing && !keepGoing())
            return fail(FileResult::Failed(FileError::Abandoned, "copy", source));
        chunkClock.restart();
    }
    // The last chunks reach the disk before the final flush, with a turn for the
    // interface in between, so that flush has only the metadata left to write.
    if (const int error = writeback.Finish())
        return failWith(error, "flush");
    if (before.st_size > 0 && keepGoing && !keepGoing())
        return fail(FileResult::Failed(FileError::Abandoned, "copy", source));

    struct stat after;
    if (::stat(sourcePath.constData(), &after) != 0)
        return fail(FileResult::Failed(errno, "stat", source));
    if (!SameVersion(before, after))
        return fail(FileResult::Failed(FileError::SourceChanged, "copy", source));

    // Set-user and set-group bits are not carried over to a backup copy.
    if (::fchmod(out.Get(), before.st_mode & 0777) != 0)
        return failWith(errno, "chmod");
    const timespec times[2] = {before.st_atim, before.st_mtim};
    if (::futimens(out.Get(), times) != 0)
        return failWith(errno, "utimens");
    // One fsync after the metadata so that data, size, mode and times reach the
    // disk together; the rename must never expose a file still in flight.
    bool abandoned = false;
    if (const int error = flushBeside(m_files, out.Get(), keepGoing, abandoned))
        return failWith(error, "fsync");
    if (abandoned)
        return fail(FileResult::Failed(FileError::Abandoned, "copy", source));
    if (out.Close() != 0)
        return failWith(errno, "close");
    staged = temporary;
    return {};
}

FileResult LinuxFileCopier::Commit(const QString& staged, const QString& target,
                                   const std::function<bool()>& keepGoing)
{
    if (m_files.Rename(staged, target) != 0)
        return FileResult::Failed(errno, "rename", staged, target);
    release(target);

    // Make the rename itself durable. Some file systems cannot flush a folder
    // (EINVAL); the copy is in place there all the same.
    Descriptor dir(m_files, m_files.Open(FilePath::Parent(target), O_RDONLY | O_DIRECTORY));
    bool stopped = false; // nothing left to stop
    const int error = dir.Valid() ? flushBeside(m_files, dir.Get(), keepGoing, stopped) : 0;
    if (error != 0 && error != EINVAL && error != ENOTSUP && error != EROFS)
        return FileResult::Failed(error, "fsync", FilePath::Parent(target));
    return {};
}

void LinuxFileCopier::Discard(const QString& staged)
{
    release(staged);
    m_files.Remove(staged);
}

void LinuxFileCopier::RemoveLeftovers(const QString& folder)
{
    DIR* dir = ::opendir(FileNames::Encode(folder).constData());
    if (!dir)
        return;
    const size_t prefix = std::strlen(TemporaryPrefix), suffix = std::strlen(TemporarySuffix);
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        const size_t length = std::strlen(name);
        if (length <= prefix + suffix || std::strncmp(name, TemporaryPrefix, prefix) != 0 ||
            std::strcmp(name + length - suffix, TemporarySuffix) != 0)
            continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            inUse().count({st.st_dev, st.st_ino}))
            continue;
        m_files.Remove(folder + QLatin1Char('/') + FileNames::Decode(name));
    }
    ::closedir(dir);
}
