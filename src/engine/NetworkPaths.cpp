#include "engine/NetworkPaths.h"

#include "platform/MountTable.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace {
// root and rest joined by exactly one "/"; nothing appended for an empty rest.
QString joinOne(QString root, QString rest)
{
    while (root.size() > 2 && root.endsWith(QLatin1Char('/')))
        root.chop(1);
    while (rest.startsWith(QLatin1Char('/')))
        rest.remove(0, 1);
    if (rest.isEmpty())
        return root;
    return root + QLatin1Char('/') + rest;
}

QString cleanAbsolute(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

bool isSshfs(const QString& fsType)
{
    return fsType == QLatin1String("fuse.sshfs") || fsType == QLatin1String("sshfs");
}

// "host:dir", "user@host:dir" or "user@[v6::addr]:dir" split into its parts.
struct HostSource
{
    QString User, Host, Dir;
};

std::optional<HostSource> splitHostSource(const QString& source)
{
    HostSource out;
    QString userHost;
    qsizetype colon = -1;
    const qsizetype open = source.indexOf(QLatin1Char('['));
    if (open >= 0 && open < source.indexOf(QLatin1Char(':'))) {
        const qsizetype close = source.indexOf(QLatin1Char(']'), open);
        if (close < 0 || close + 1 >= source.size() || source[close + 1] != QLatin1Char(':'))
            return std::nullopt;
        colon = close + 1;
    } else {
        colon = source.indexOf(QLatin1Char(':'));
    }
    const qsizetype slash = source.indexOf(QLatin1Char('/'));
    if (colon <= 0 || (slash >= 0 && slash < colon))
        return std::nullopt;
    userHost = source.left(colon);
    out.Dir = source.mid(colon + 1);
    const qsizetype at = userHost.lastIndexOf(QLatin1Char('@'));
    out.User = at >= 0 ? userHost.left(at) : QString();
    out.Host = at >= 0 ? userHost.mid(at + 1) : userHost;
    if (out.Host.isEmpty())
        return std::nullopt;
    return out;
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

std::optional<QString> NetworkPaths::NetworkRoot(const MountEntry& mount)
{
    QString source = mount.Source;
    QString root;
    if (source.startsWith(QLatin1String("//")) || source.startsWith(QLatin1String("\\\\"))) {
        source.replace(QLatin1Char('\\'), QLatin1Char('/'));
        const QString inside = QDir::cleanPath(source.mid(2));
        if (inside.isEmpty() || inside.startsWith(QLatin1Char('/')) || inside == QLatin1String("."))
            return std::nullopt;
        root = QStringLiteral("//") + inside;
    } else if (source.contains(QLatin1String("://"))) {
        const QUrl url(source);
        if (url.host().isEmpty())
            return std::nullopt;
        root = joinOne(QStringLiteral("//") + url.host(), url.path());
    } else {
        const auto parts = splitHostSource(source);
        if (!parts)
            return std::nullopt;
        if (parts->Dir.startsWith(QLatin1Char('/'))) {
            root = joinOne(QStringLiteral("//") + parts->Host, QDir::cleanPath(parts->Dir));
        } else if (isSshfs(mount.FsType)) {
            // sshfs starts a relative folder in the user's home on the host; "~user"
            // says so without knowing where that home lies.
            root =
                joinOne(QStringLiteral("//") + parts->Host + QStringLiteral("/~") + parts->User, parts->Dir);
        } else {
            return std::nullopt;
        }
    }
    // A bind mount shows a folder inside the network file system; some kernels
    // already name that folder in the source (cifs prefix paths), so not twice.
    if (!mount.Root.isEmpty() && mount.Root != QLatin1String("/") && !root.endsWith(mount.Root))
        root = joinOne(root, mount.Root);
    return root;
}

QString NetworkPaths::GetUNCName(const QString& path) const
{
    if (path.isEmpty() || IsNetworkPath(path))
        return path;
    const QString clean = cleanAbsolute(path);
    if (const auto mount = m_drives.MountOf(clean); mount && IsNetworkFileSystem(mount->FsType)) {
        if (const auto root = NetworkRoot(*mount))
            return joinOne(*root, clean.mid(mount->MountPoint.size()));
    }
    return ShareForm(clean).value_or(path);
}

std::optional<QString> NetworkPaths::ShareForm(const QString& cleanPath) const
{
    if (!m_shares)
        return std::nullopt;
    const std::vector<SambaShare> shares = m_shares();
    const auto form = [&](const SambaShare& share) {
        return joinOne(QStringLiteral("//") + m_computerName + QLatin1Char('/') + share.Name,
                       cleanPath.mid(share.Path.size()));
    };
    // Exact folder first, so a share of the folder itself wins over one of its parent.
    for (const SambaShare& share : shares) {
        if (!share.Path.isEmpty() && share.Path == cleanPath)
            return form(share);
    }
    // Then inside a share, on whole path components: /srv/data2 is not inside /srv/data.
    for (const SambaShare& share : shares) {
        if (!share.Path.isEmpty() && MountTable::IsInside(cleanPath, share.Path))
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
    if (path.isEmpty() || IsNetworkPath(path))
        return PathVolume::NoDrive();
    const auto mount = m_drives.MountOf(cleanAbsolute(path));
    if (!mount)
        return PathVolume::NoDrive();
    if (!m_drives.IsReady(mount->MountPoint))
        return PathVolume::NotReady();
    return PathVolume::Ready(m_drives.Label(mount->MountPoint));
}
