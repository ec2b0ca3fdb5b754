#include "platform/MountTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

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
    return {FromText(QString::fromUtf8(data)), QString()};
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
    const QByteArray in = field.toUtf8();
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
    return QString::fromUtf8(out);
}

namespace {
QString cleanAbsolute(const QString& path)
{
    if (path.isEmpty())
        return QString();
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}
} // namespace

bool MountTable::IsInside(const QString& path, const QString& folder)
{
    if (folder == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    if (!path.startsWith(folder))
        return false;
    return path.size() == folder.size() || path[folder.size()] == QLatin1Char('/');
}

std::optional<MountEntry> MountTable::MountOf(const QString& path) const
{
    const QString clean = cleanAbsolute(path);
    if (clean.isEmpty())
        return std::nullopt;
    const MountEntry* best = nullptr;
    for (const MountEntry& entry : m_entries) {
        // ">=": a later mount on the same point hides the earlier one.
        if (IsInside(clean, entry.MountPoint) &&
            (!best || entry.MountPoint.size() >= best->MountPoint.size()))
            best = &entry;
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
    return clean.mid(clean.lastIndexOf(QLatin1Char('/')) + 1);
}
