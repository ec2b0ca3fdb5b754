#include "engine/PreviousVersions.h"

#include "engine/DestinationFolder.h"
#include "platform/FilePath.h"
#include "platform/FileStamp.h"
#include "platform/LinuxFileCopier.h"
#include "platform/LocalFiles.h"

#include <QSet>
#include <algorithm>
#include <functional>

namespace {
QString nameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}
} // namespace

std::optional<QString> PreviousVersions::FolderFor(const clsBackup& backup, const clsDestination& destination,
                                                   const QString& filePath, QString* reason) const
{
    auto refuse = [reason](const QString& why) -> std::optional<QString> {
        if (reason)
            *reason = why;
        return std::nullopt;
    };
    const QString destFolder =
        DestinationFolder::Compute(filePath, backup.SourcePath, backup.Folder, destination.Path, m_drives);
    // The same tests a backup makes before it writes: a copy read from the wrong
    // disk would be as misleading as one written there.
    if (!destination.Path.startsWith(QStringLiteral("//"))) {
        const auto holder = DestinationMounts::Describe(destination.Path, m_drives);
        if (holder && !m_mounts.Matches(destination.Path, *holder))
            return refuse(QStringLiteral("drive not mounted (another drive is there)"));
    }
    const std::optional<MountEntry> drive = m_drives.MountOf(destFolder);
    std::optional<QString> local;
    if (drive)
        local = DestinationFolder::LocalForm(destFolder, *drive);
    if (!drive || !local)
        return refuse(QStringLiteral("drive not mounted"));
    if (!m_drives.IsReady(drive->MountPoint))
        return refuse(QStringLiteral("drive not ready"));
    const bool network =
        destination.Path.startsWith(QStringLiteral("//")) || IsNetworkFileSystem(drive->FsType);
    if (!network && !LocalFiles::IsFolder(destination.Path))
        return refuse(QStringLiteral("drive not mounted"));
    if (destination.Volume.compare(m_drives.Label(drive->MountPoint), Qt::CaseInsensitive) != 0)
        return refuse(QStringLiteral("wrong volume"));
    return *local;
}

std::vector<std::pair<int, QString>> PreviousVersions::versionFolders(const QString& folder) const
{
    std::vector<std::pair<int, QString>> found;
    const auto entries = LocalFiles::List(folder);
    if (!entries)
        return found;
    const QString prefix = m_prevSaveName + QLatin1Char('-');
    for (const LocalFiles::Entry& e : *entries) {
        if (e.Type != LocalFiles::Entry::Kind::Folder || !e.Name.startsWith(prefix))
            continue;
        const QStringView digits = QStringView(e.Name).mid(prefix.size());
        bool ok = false;
        const int k = digits.toInt(&ok);
        if (ok && k > 0 && std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); }))
            found.emplace_back(k, FilePath::Join(folder, e.Name));
    }
    return found;
}

PreviousVersions::Listing PreviousVersions::List(const clsBackup& backup, const QString& filePath) const
{
    Listing out;
    const QString name = nameOf(filePath);
    for (const clsDestination& d : m_state.Destinations.ForSource(backup.SourcePath)) {
        QString reason;
        const std::optional<QString> folder = FolderFor(backup, d, filePath, &reason);
        if (!folder) {
            out.Missing.push_back({d.Path, reason});
            continue;
        }
        auto add = [&](int version, const QString& in) {
            const QString path = FilePath::Join(in, name);
            const FileStamp s = FileStamp::Of(path, true);
            if (s.Exists && s.Regular)
                out.Copies.push_back({d.Path, path, version, s.ModifiedMs(), s.Size});
        };
        add(0, *folder);
        for (const auto& [k, versionFolder] : versionFolders(*folder))
            add(k, versionFolder);
    }
    // Newest first; a copy's time is its source's save time, so equal times
    // fall back to the version number.
    std::stable_sort(out.Copies.begin(), out.Copies.end(), [](const Copy& a, const Copy& b) {
        return a.ModifiedMs != b.ModifiedMs ? a.ModifiedMs > b.ModifiedMs : a.Version < b.Version;
    });
    return out;
}

QStringList PreviousVersions::Deleted(const clsBackup& backup) const
{
    QSet<QString> found;
    if (!backup.Folder)
        return {};
    const QString probe = FilePath::Join(backup.SourcePath, QStringLiteral("x"));
    for (const clsDestination& d : m_state.Destinations.ForSource(backup.SourcePath)) {
        const std::optional<QString> root = FolderFor(backup, d, probe);
        if (!root)
            continue;
        // sourceFolder: the source folder this destination folder mirrors.
        std::function<void(const QString&, const QString&, bool)> walk =
            [&](const QString& folder, const QString& sourceFolder, bool inVersion) {
                const auto entries = LocalFiles::List(folder);
                if (!entries)
                    return;
                QSet<QString> versions;
                for (const auto& v : versionFolders(folder))
                    versions.insert(nameOf(v.second));
                for (const LocalFiles::Entry& e : *entries) {
                    const QString path = FilePath::Join(folder, e.Name);
                    if (e.Type == LocalFiles::Entry::Kind::File) {
                        if (LinuxFileCopier::IsTemporaryName(e.Name))
                            continue;
                        const QString source = FilePath::Join(sourceFolder, e.Name);
                        if (!LocalFiles::Exists(source))
                            found.insert(source);
                    } else if (e.Type == LocalFiles::Entry::Kind::Folder && !inVersion) {
                        if (versions.contains(e.Name))
                            walk(path, sourceFolder, true);
                        else if (backup.Recursive && !e.Name.startsWith(m_prevSaveName + QLatin1Char('-')))
                            walk(path, FilePath::Join(sourceFolder, e.Name), false);
                    }
                }
            };
        walk(*root, backup.SourcePath, false);
    }
    QStringList sorted(found.begin(), found.end());
    sorted.sort();
    return sorted;
}

std::vector<std::pair<QString, std::optional<qint64>>>
PreviousVersions::VersionBytes(const clsBackup& backup) const
{
    std::vector<std::pair<QString, std::optional<qint64>>> out;
    const QString probe =
        backup.Folder ? FilePath::Join(backup.SourcePath, QStringLiteral("x")) : backup.SourcePath;
    const QString fileName = nameOf(backup.SourcePath);
    std::function<qint64(const QString&)> treeBytes = [&](const QString& folder) {
        qint64 total = 0;
        for (const LocalFiles::Entry& e :
             LocalFiles::List(folder).value_or(std::vector<LocalFiles::Entry>{})) {
            const QString path = FilePath::Join(folder, e.Name);
            if (e.Type == LocalFiles::Entry::Kind::Folder)
                total += treeBytes(path);
            else if (e.Type == LocalFiles::Entry::Kind::File)
                total += FileStamp::Of(path, false).Size;
        }
        return total;
    };
    std::function<qint64(const QString&)> versionBytes = [&](const QString& folder) {
        qint64 total = 0;
        for (const auto& [k, versionFolder] : versionFolders(folder)) {
            (void)k;
            // A file association shares its destination folder with others of
            // the same parent folder: count only its own file.
            total += backup.Folder ? treeBytes(versionFolder)
                                   : FileStamp::Of(FilePath::Join(versionFolder, fileName), false).Size;
        }
        if (backup.Folder && backup.Recursive) {
            for (const LocalFiles::Entry& e :
                 LocalFiles::List(folder).value_or(std::vector<LocalFiles::Entry>{})) {
                if (e.Type == LocalFiles::Entry::Kind::Folder &&
                    !e.Name.startsWith(m_prevSaveName + QLatin1Char('-')))
                    total += versionBytes(FilePath::Join(folder, e.Name));
            }
        }
        return total;
    };
    for (const clsDestination& d : m_state.Destinations.ForSource(backup.SourcePath)) {
        const std::optional<QString> folder = FolderFor(backup, d, probe);
        out.emplace_back(d.Path, folder ? std::optional<qint64>(versionBytes(*folder)) : std::nullopt);
    }
    return out;
}
