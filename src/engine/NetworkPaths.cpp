#include "engine/NetworkPaths.h"

#include "platform/FilePath.h"
#include "platform/MountTable.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString cleanAbsolute(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

NetworkPaths::NetworkPaths(const Drives& drives, ShareList shares, QString computerName)
    : m_drives(drives), m_shares(std::move(shares)), m_computerName(std::move(computerName))
{
}

NetworkPaths::ShareList NetworkPaths::SharesOf(SambaShares reader)
{
    // Unreadable Samba files just mean fewer shares: a path then keeps its local form.
    return [reader = std::move(reader)] { return reader.Read().Shares; };
}

QString NetworkPaths::GetUNCName(const QString& path) const
{
    if (path.isEmpty() || IsNetworkPath(path))
        return path;
    const QString clean = cleanAbsolute(path);
    if (const auto mount = m_drives.MountOf(clean); mount && IsNetworkFileSystem(mount->FsType)) {
        if (const auto root = MountTable::NetworkRoot(*mount))
            return FilePath::Join(*root, FilePath::RelativePath(clean, mount->MountPoint));
    }
    return ShareForm(clean).value_or(path);
}

std::optional<QString> NetworkPaths::ShareForm(const QString& cleanPath) const
{
    if (!m_shares)
        return std::nullopt;
    const std::vector<SambaShare> shares = m_shares();
    const auto form = [&](const SambaShare& share) {
        return FilePath::Join(QStringLiteral("//") + m_computerName + QLatin1Char('/') + share.Name,
                              FilePath::RelativePath(cleanPath, share.Path));
    };
    // Exact folder first, so a share of the folder itself wins over one of its parent.
    for (const SambaShare& share : shares) {
        if (!share.Path.isEmpty() && share.Path == cleanPath)
            return form(share);
    }
    // Then inside a share, on whole path components: /srv/data2 is not inside /srv/data.
    for (const SambaShare& share : shares) {
        if (!share.Path.isEmpty() && FilePath::IsSameOrBelow(cleanPath, share.Path))
            return form(share);
    }
    return std::nullopt;
}

bool NetworkPaths::IsNetworkPath(const QString& path)
{
    return path.startsWith(QLatin1String("//"));
}

QString NetworkPaths::GetComputerFromPath(const QString& path)
{
    if (!IsNetworkPath(path))
        return QString();
    const qsizetype slash = path.indexOf(QLatin1Char('/'), 2);
    return slash < 0 ? path.mid(2) : path.mid(2, slash - 2);
}

bool NetworkPaths::IsRemoteSource(const QString& uncName, const QString& computerName)
{
    return IsNetworkPath(uncName) &&
           GetComputerFromPath(uncName).compare(computerName, Qt::CaseInsensitive) != 0;
}

bool NetworkPaths::RefusesSource(const QString& path) const
{
    return IsRemoteSource(GetUNCName(path), m_computerName);
}

QString NetworkPaths::PathVolume::FailureMessage() const
{
    switch (m_outcome) {
    case Outcome::NoDrive:
        return DriveGoneMessage;
    case Outcome::NotReady:
        return DriveNotReadyMessage;
    case Outcome::Ready:
        break;
    }
    return QString();
}

NetworkPaths::PathVolume NetworkPaths::GetPathVolume(const QString& path) const
{
    if (path.isEmpty())
        return PathVolume::NoDrive();
    // A "//" path is looked up by the network form of the mounts.
    const auto mount = m_drives.MountOf(IsNetworkPath(path) ? path : cleanAbsolute(path));
    if (!mount)
        return PathVolume::NoDrive();
    if (!m_drives.IsReady(mount->MountPoint))
        return PathVolume::NotReady();
    return PathVolume::Ready(m_drives.Label(mount->MountPoint));
}
