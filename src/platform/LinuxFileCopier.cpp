#include "platform/LinuxFileCopier.h"

#include "platform/FileNames.h"

#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kFallbackBufferBytes = 1024 * 1024;

// Closes a descriptor on every way out of Copy.
class Descriptor
{
  public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
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
        const int result = m_fd >= 0 ? ::close(m_fd) : 0;
        m_fd = -1;
        return result;
    }

  private:
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

QByteArray FolderOf(const QByteArray& path)
{
    const int slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

} // namespace

LinuxFileCopier::LinuxFileCopier(qint64 chunkBytes)
    : m_chunkBytes(chunkBytes > 0 ? chunkBytes : DefaultChunkBytes)
{
}

bool LinuxFileCopier::IsTemporaryName(const QString& fileName)
{
    return fileName.startsWith(QLatin1String(TemporaryPrefix));
}

CopyError LinuxFileCopier::ErrorFromErrno(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return CopyError::AccessDenied;
    case ENOSPC:
    case EDQUOT:
        return CopyError::DiskFull;
    case EILSEQ:
        return CopyError::NameNotAllowed;
    default:
        return CopyError::Other;
    }
}

ssize_t LinuxFileCopier::CopyRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t length)
{
    return ::copy_file_range(in, inOffset, out, outOffset, length, 0);
}

ssize_t LinuxFileCopier::SendRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t length)
{
    // sendfile writes at the target's file position, not at an offset of ours.
    if (::lseek(out, *outOffset, SEEK_SET) != *outOffset)
        return -1;
    const ssize_t sent = ::sendfile(out, in, inOffset, length);
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
            const ssize_t put = ::pwrite(out, m_buffer.data() + written, size_t(got - written), *outOffset);
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

CopyError LinuxFileCopier::Copy(const QString& source, const QString& target,
                                const std::function<void()>& betweenChunks)
{
    const QByteArray sourcePath = FileNames::Encode(source);
    const QByteArray targetPath = FileNames::Encode(target);

    Descriptor in(::open(sourcePath.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!in.Valid())
        return ErrorFromErrno(errno);
    struct stat before;
    if (::fstat(in.Get(), &before) != 0)
        return ErrorFromErrno(errno);
    if (!S_ISREG(before.st_mode))
        return CopyError::Other;

    // Checked on the mode bits rather than with access(): root passes access(), and
    // a read-only copy must refuse to be replaced for root too.
    struct stat existing;
    if (::stat(targetPath.constData(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode))
            return CopyError::Other;
        if (!(existing.st_mode & S_IWUSR))
            return CopyError::AccessDenied;
    } else if (errno != ENOENT) {
        return ErrorFromErrno(errno);
    }

    const QByteArray folder = FolderOf(targetPath);
    QByteArray temporaryPath;
    Descriptor out;
    for (int attempt = 0; attempt < 16 && !out.Valid(); ++attempt) {
        temporaryPath = folder + '/' + TemporaryPrefix +
                        QByteArray::number(QRandomGenerator::global()->generate(), 16) + ".tmp";
        out.Reset(::open(temporaryPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!out.Valid() && errno != EEXIST)
            return ErrorFromErrno(errno);
    }
    if (!out.Valid())
        return CopyError::Other;

    auto fail = [&](CopyError error) {
        out.Close();
        ::unlink(temporaryPath.constData());
        return error;
    };

    // One pass of copy_file_range in large chunks (in-kernel, no user-space
    // buffer); the fallbacks only where the two file systems cannot do that.
    off_t inOffset = 0;
    off_t outOffset = 0;
    enum class Method { CopyRange, SendFile, ReadWrite } method = Method::CopyRange;
    while (inOffset < before.st_size) {
        const size_t want = size_t(qMin<qint64>(m_chunkBytes, before.st_size - inOffset));
        ssize_t copied = -1;
        switch (method) {
        case Method::CopyRange:
            copied = CopyRange(in.Get(), &inOffset, out.Get(), &outOffset, want);
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
            return fail(ErrorFromErrno(errno));
        }
        if (copied == 0)
            return fail(CopyError::SourceChanged); // shorter than it was at the start
        if (inOffset < before.st_size && betweenChunks)
            betweenChunks();
    }

    struct stat after;
    if (::stat(sourcePath.constData(), &after) != 0)
        return fail(CopyError::Other);
    if (!SameVersion(before, after))
        return fail(CopyError::SourceChanged);

    // Set-user and set-group bits are not carried over to a backup copy.
    if (::fchmod(out.Get(), before.st_mode & 0777) != 0)
        return fail(ErrorFromErrno(errno));
    const timespec times[2] = {before.st_atim, before.st_mtim};
    if (::futimens(out.Get(), times) != 0)
        return fail(ErrorFromErrno(errno));
    // One fsync after the metadata so that data, size, mode and times reach the
    // disk together; the rename below must never expose a file still in flight.
    if (::fsync(out.Get()) != 0)
        return fail(ErrorFromErrno(errno));
    if (out.Close() != 0) {
        const int error = errno;
        ::unlink(temporaryPath.constData());
        return ErrorFromErrno(error);
    }
    if (::rename(temporaryPath.constData(), targetPath.constData()) != 0) {
        const int error = errno;
        ::unlink(temporaryPath.constData());
        return ErrorFromErrno(error);
    }

    // Make the rename itself durable. Some file systems cannot flush a folder
    // (EINVAL); the copy is in place there all the same.
    Descriptor dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Valid() && ::fsync(dir.Get()) != 0 && errno != EINVAL && errno != ENOTSUP && errno != EROFS)
        return ErrorFromErrno(errno);
    return CopyError::None;
}
