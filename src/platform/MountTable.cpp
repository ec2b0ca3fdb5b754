#include "platform/MountTable.h"

#include "platform/FileNames.h"
#include "platform/FilePath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

// Our own reader rather than QStorageInfo: QStorageInfo neither shows the root
// of a bind mount nor lets a test hand in a table of its own.

MountTableLoad MountTable::Load(const QString& mountInfoFile)
{
    QFile file(mountInfoFile);
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt, QStringLiteral("Cannot read %1: %2").arg(mountInfoFile, file.errorString())};
    // /proc files report size 0, so read until the end rather than by size.
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {std::nullopt, QStringLiteral("Cannot read %1: %2").arg(mountInfoFile, file.errorString())};
    // Mount points are names like any other: bytes that are not UTF-8 must survive.
    return {FromText(FileNames::Decode(data)), QString()};
}

MountTable MountTable::FromText(const QString& text)
{
    std::vector<MountEntry> entries;
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        if (auto entry = ParseLine(line))
            entries.push_back(std::move(*entry));
    }
    return MountTable(std::move(entries));
}

std::optional<MountEntry> MountTable::ParseLine(const QString& line)
{
    // id parent major:minor root mount-point options [optional fields...] - fstype source super-options
    const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const qsizetype dash = fields.indexOf(QStringLiteral("-"), 6);
    if (fields.size() < 6 || dash < 0 || dash + 2 >= fields.size())
        return std::nullopt;
    MountEntry entry;
    entry.Root = Unescape(fields[3]);
    entry.MountPoint = Unescape(fields[4]);
    entry.FsType = Unescape(fields[dash + 1]);
    entry.Source = Unescape(fields[dash + 2]);
    if (!entry.MountPoint.startsWith(QLatin1Char('/')))
        return std::nullopt;
    return entry;
}

QString MountTable::Unescape(const QString& field)
{
    if (!field.contains(QLatin1Char('\\')))
        return field;
    // The escapes stand for bytes; decode the bytes as UTF-8 only at the end so
    // escaped bytes of a multi-byte letter join up again.
    const QByteArray in = FileNames::Encode(field);
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\\' && i + 3 < in.size() && in[i + 1] >= '0' && in[i + 1] <= '3' && in[i + 2] >= '0' &&
            in[i + 2] <= '7' && in[i + 3] >= '0' && in[i + 3] <= '7') {
            out.append(char(((in[i + 1] - '0') << 6) | ((in[i + 2] - '0') << 3) | (in[i + 3] - '0')));
            i += 3;
        } else {
            out.append(in[i]);
        }
    }
    return FileNames::Decode(out);
}

namespace {

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

QString cleanAbsolute(const QString& path)
{
    if (path.isEmpty())
        return QString();
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}
} // namespace

std::optional<QString> MountTable::NetworkRoot(const MountEntry& mount)
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
        root = FilePath::Join(QStringLiteral("//") + url.host(), QDir::cleanPath(url.path()));
    } else {
        const auto parts = splitHostSource(source);
        if (!parts)
            return std::nullopt;
        if (parts->Dir.startsWith(QLatin1Char('/'))) {
            root = FilePath::Join(QStringLiteral("//") + parts->Host, QDir::cleanPath(parts->Dir));
        } else if (isSshfs(mount.FsType)) {
            // sshfs starts a relative folder in the user's home on the host; "~user"
            // says so without knowing where that home lies.
            root = FilePath::Join(QStringLiteral("//") + parts->Host + QStringLiteral("/~") + parts->User,
                                  parts->Dir);
        } else {
            return std::nullopt;
        }
    }
    // A bind mount shows a folder inside the network file system; some kernels
    // already name that folder in the source (cifs prefix paths), so not twice.
    if (!mount.Root.isEmpty() && mount.Root != QLatin1String("/") && !root.endsWith(mount.Root))
        root = FilePath::Join(root, mount.Root);
    return root;
}

std::optional<MountEntry> MountTable::MountOf(const QString& path) const
{
    if (path.startsWith(QLatin1String("//")))
        return networkMountOf(path);
    const QString clean = cleanAbsolute(path);
    if (clean.isEmpty())
        return std::nullopt;
    const MountEntry* best = nullptr;
    for (const MountEntry& entry : m_entries) {
        // ">=": a later mount on the same point hides the earlier one.
        if (FilePath::IsSameOrBelow(clean, entry.MountPoint) &&
            (!best || entry.MountPoint.size() >= best->MountPoint.size()))
            best = &entry;
    }
    if (!best)
        return std::nullopt;
    return *best;
}

std::optional<MountEntry> MountTable::networkMountOf(const QString& path) const
{
    // "//host/rest" split at the host; host names ignore case, the rest compares exactly.
    const auto split = [](const QString& unc) {
        const qsizetype end = unc.indexOf(QLatin1Char('/'), 2);
        const QString rest = end < 0 ? QString() : QDir::cleanPath(unc.mid(end));
        return std::pair{end < 0 ? unc.mid(2) : unc.mid(2, end - 2),
                         rest == QLatin1String("/") ? QString() : rest};
    };
    const auto [pathHost, pathRest] = split(path);
    const MountEntry* best = nullptr;
    qsizetype bestLength = -1;
    for (const MountEntry& entry : m_entries) {
        const auto root = IsNetworkFileSystem(entry.FsType) ? NetworkRoot(entry) : std::nullopt;
        if (!root)
            continue;
        const auto [rootHost, rootRest] = split(*root);
        if (rootHost.compare(pathHost, Qt::CaseInsensitive) != 0 ||
            !(rootRest.isEmpty() || FilePath::IsSameOrBelow(pathRest, rootRest)))
            continue;
        // ">=": a later mount of the same share hides the earlier one.
        if (rootRest.size() >= bestLength) {
            best = &entry;
            bestLength = rootRest.size();
        }
    }
    if (!best)
        return std::nullopt;
    return *best;
}

std::optional<MountEntry> MountTable::Find(const QString& mountPoint) const
{
    const QString clean = cleanAbsolute(mountPoint);
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (it->MountPoint == clean)
            return *it;
    }
    return std::nullopt;
}

QString MountTable::DriveName(const QString& mountPoint)
{
    const QString clean = QDir::cleanPath(mountPoint);
    if (clean == QLatin1String("/"))
        return QStringLiteral("root");
    return FilePath::FileName(clean);
}
