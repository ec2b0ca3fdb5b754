#include "support/FaultyFiles.h"

#include <algorithm>
#include <fcntl.h>

bool FaultyFiles::strikes(Call call, const QString& path)
{
    ++Calls[call];
    for (auto it = Script.begin(); it != Script.end(); ++it) {
        Fault& fault = *it;
        if (fault.On != call || !path.contains(fault.PathContains) || --fault.Nth > 0)
            continue;
        const int error = fault.Errno;
        if (fault.Before)
            fault.Before();
        if (fault.Times > 0 && --fault.Times == 0)
            Script.erase(it);
        else
            fault.Nth = 1;
        if (error == 0)
            return false;
        errno = error;
        return true;
    }
    return false;
}

ssize_t FaultyFiles::limited(int fd, size_t length, const std::function<ssize_t(size_t)>& write)
{
    const QString path = pathOf(fd);
    const auto fault = std::find_if(Script.begin(), Script.end(), [&](const Fault& f) {
        return f.On == Call::Write && path.contains(f.PathContains);
    });
    const qint64 room = fault == Script.end() ? qint64(length) : fault->AfterBytes - m_written[fd];
    if (room > 0)
        ++Calls[Call::Write];
    else if (strikes(Call::Write, path)) // which counts the call
        return -1;
    const ssize_t done = write(room > 0 ? size_t(qMin<qint64>(room, qint64(length))) : length);
    if (done > 0)
        m_written[fd] += done;
    return done;
}

int FaultyFiles::Open(const QString& path, int flags, mode_t mode)
{
    if (strikes(flags & O_CREAT ? Call::Create : Call::OpenRead, path))
        return -1;
    const int fd = LinuxFileSystem::Open(path, flags, mode);
    if (fd >= 0) {
        m_paths[fd] = path;
        m_written[fd] = 0;
    }
    return fd;
}

int FaultyFiles::Close(int fd)
{
    const QString path = pathOf(fd);
    m_paths.erase(fd);
    m_written.erase(fd);
    // The descriptor is gone either way, as with a close that reports a late error.
    const int closed = LinuxFileSystem::Close(fd);
    return strikes(Call::Close, path) ? -1 : closed;
}

ssize_t FaultyFiles::CopyRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t length)
{
    return limited(out, length,
                   [&](size_t n) { return LinuxFileSystem::CopyRange(in, inOffset, out, outOffset, n); });
}

ssize_t FaultyFiles::Send(int out, int in, off_t* inOffset, size_t length)
{
    return limited(out, length, [&](size_t n) { return LinuxFileSystem::Send(out, in, inOffset, n); });
}

ssize_t FaultyFiles::WriteAt(int fd, const char* data, size_t length, off_t offset)
{
    return limited(fd, length, [&](size_t n) { return LinuxFileSystem::WriteAt(fd, data, n, offset); });
}

QString FaultyFiles::pathOf(int fd) const
{
    const auto it = m_paths.find(fd);
    return it == m_paths.end() ? QString() : it->second;
}

int FaultyFiles::Rename(const QString& from, const QString& to)
{
    return strikes(Call::Rename, from + QLatin1Char('>') + to) ? -1 : LinuxFileSystem::Rename(from, to);
}

int FaultyFiles::Link(const QString& from, const QString& to)
{
    return strikes(Call::Link, from + QLatin1Char('>') + to) ? -1 : LinuxFileSystem::Link(from, to);
}

int FaultyFiles::Remove(const QString& path)
{
    return strikes(Call::Remove, path) ? -1 : LinuxFileSystem::Remove(path);
}

int FaultyFiles::MakeFolder(const QString& path)
{
    return strikes(Call::MakeFolder, path) ? -1 : LinuxFileSystem::MakeFolder(path);
}

int FaultyFiles::RemoveFolder(const QString& path)
{
    return strikes(Call::RemoveFolder, path) ? -1 : LinuxFileSystem::RemoveFolder(path);
}

int FaultyFiles::SetPermissions(const QString& path, QFileDevice::Permissions permissions)
{
    return strikes(Call::SetPermissions, path) ? -1 : LinuxFileSystem::SetPermissions(path, permissions);
}
