#include "platform/LinuxDrives.h"

#include <QFile>

#include <unistd.h>

LinuxDrives::LinuxDrives() : LinuxDrives(Sources{}) {}

LinuxDrives::LinuxDrives(Sources sources) : m_sources(std::move(sources))
{
    if (!m_sources.Readable)
        m_sources.Readable = &LinuxDrives::AccessReadable;
    if (!m_sources.FileSystemLabel)
        m_sources.FileSystemLabel = &VolumeLabels::FromFileSystem;
}

MountTable LinuxDrives::Table() const
{
    MountTableLoad loaded = MountTable::Load(m_sources.MountInfoFile);
    m_lastError = loaded.Error;
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
    return ::access(QFile::encodeName(mountPoint).constData(), R_OK | X_OK) == 0;
}
