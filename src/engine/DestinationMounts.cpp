#include "engine/DestinationMounts.h"

#include "core/StoreFile.h"

#include <QDir>

namespace {
constexpr int FieldsPerRecord = 6; // the path, then the record's five fields

QString key(const QString& path)
{
    return QDir::cleanPath(path);
}
} // namespace

DestinationMounts::DestinationMounts(QString storeName) : m_storeName(std::move(storeName)) {}

std::optional<DestinationMounts::Record> DestinationMounts::Describe(const QString& path,
                                                                     const Drives& drives)
{
    const std::optional<MountEntry> mount = drives.MountOf(path);
    if (!mount)
        return std::nullopt;
    return Record{mount->MountPoint, mount->Root, mount->FsType, mount->Source,
                  drives.FileSystemId(mount->MountPoint)};
}

bool DestinationMounts::SameDrive(const Record& was, const Record& now)
{
    if (was.MountPoint != now.MountPoint || was.Root != now.Root || was.FsType != now.FsType)
        return false;
    if (IsNetworkFileSystem(now.FsType))
        return was.Source == now.Source;
    return was.Id.isEmpty() || now.Id.isEmpty() || was.Id == now.Id;
}

void DestinationMounts::load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    // An unreadable or damaged store only means destinations get tied afresh.
    const QStringList lines = StoreFile::Read(m_storeName).Lines;
    for (qsizetype i = 0; i + FieldsPerRecord <= lines.size(); i += FieldsPerRecord)
        m_records[lines[i]] = Record{lines[i + 1], lines[i + 2], lines[i + 3], lines[i + 4], lines[i + 5]};
}

bool DestinationMounts::Matches(const QString& path, const Record& now)
{
    load();
    const auto it = m_records.find(key(path));
    return it == m_records.end() || SameDrive(it->second, now);
}

void DestinationMounts::Remember(const QString& path, const Record& now, const QStringList& keep,
                                 bool replace)
{
    load();
    if (!replace && m_records.count(key(path)))
        return;
    m_records[key(path)] = now;
    QStringList kept;
    for (const QString& p : keep)
        kept.append(key(p));
    QStringList lines;
    for (auto it = m_records.begin(); it != m_records.end();) {
        if (!kept.contains(it->first) && it->first != key(path)) {
            it = m_records.erase(it);
            continue;
        }
        const Record& r = it->second;
        lines << it->first << r.MountPoint << r.Root << r.FsType << r.Source << r.Id;
        ++it;
    }
    // Best effort: unwritten, the record still guards this run.
    StoreFile::Write(m_storeName, lines);
}
