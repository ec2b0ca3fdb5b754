#include "platform/LinuxDrives.h"

#include "platform/FileNames.h"

#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

LinuxDrives::LinuxDrives() : LinuxDrives(Sources{}) {}

LinuxDrives::LinuxDrives(Sources sources) : m_sources(std::move(sources))
{
    if (!m_sources.Readable)
        m_sources.Readable = &LinuxDrives::AccessReadable;
    if (!m_sources.FileSystemLabel)
        m_sources.FileSystemLabel = &VolumeLabels::FromFileSystem;
}

LinuxDrives::~LinuxDrives()
{
    if (m_watchFd >= 0)
        ::close(m_watchFd);
}

bool LinuxDrives::tableChanged() const
{
    // Only the kernel's mountinfo announces mounts and unmounts (POLLPRI);
    // a plain file cannot say it changed, so it is always read again.
    if (!m_sources.MountInfoFile.startsWith(QLatin1String("/proc/")))
        return true;
    if (m_watchFd < 0) {
        // Notices count from the open on, so the table is read once after it.
        m_watchFd = ::open(QFile::encodeName(m_sources.MountInfoFile).constData(), O_RDONLY | O_CLOEXEC);
        return true;
    }
    pollfd watch{m_watchFd, POLLPRI, 0};
    const int ready = ::poll(&watch, 1, 0);
    return ready != 0 || !m_cached; // an error also means: do not trust the copy
}

MountTable LinuxDrives::Table() const
{
    if (!tableChanged() && m_cached)
        return *m_cached;
    MountTableLoad loaded = MountTable::Load(m_sources.MountInfoFile);
    m_lastError = loaded.Error;
    m_cached = loaded.Table;
    return loaded.Table ? std::move(*loaded.Table) : MountTable();
}

std::optional<MountEntry> LinuxDrives::MountOf(const QString& path) const
{
    return Table().MountOf(path);
}

bool LinuxDrives::IsReady(const QString& mountPoint) const
{
    // A mount point folder outlives its mount, so being readable alone is not enough.
    const auto mount = Table().Find(mountPoint);
    return mount && m_sources.Readable(mount->MountPoint);
}

QString LinuxDrives::Label(const QString& mountPoint) const
{
    const auto mount = Table().Find(mountPoint);
    if (!mount)
        return QString();
    if (auto linked = VolumeLabels(m_sources.LabelLinkFolder).FromLinks(mount->Source))
        return *linked;
    return m_sources.FileSystemLabel(mount->MountPoint).Label;
}

bool LinuxDrives::AccessReadable(const QString& mountPoint)
{
    return ::access(FileNames::Encode(mountPoint).constData(), R_OK | X_OK) == 0;
}
