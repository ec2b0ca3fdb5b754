#include "engine/VersionRestore.h"

#include "core/DateText.h"
#include "engine/DestinationFolder.h"
#include "platform/FilePath.h"
#include "platform/LocalFiles.h"

namespace {
QString copyErrorText(const FileResult& result)
{
    switch (result.Error) {
    case FileError::AccessDenied:
        return QStringLiteral("permission denied");
    case FileError::DiskFull:
        return QStringLiteral("disk is full");
    case FileError::NameNotAllowed:
        return QStringLiteral("name not allowed there");
    case FileError::SourceChanged:
        return QStringLiteral("the copy changed while it was read");
    default:
        return QStringLiteral("copy failed");
    }
}
} // namespace

QString VersionRestore::BesideName(const QString& path, const QDateTime& now)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString name = path.mid(slash + 1);
    // A leading dot names a hidden file, not an extension.
    qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        dot = name.size();
    const QString stamp = now.toString(QStringLiteral("yyyy-MM-dd HHmmss"));
    return path.left(slash + 1) + name.left(dot) + QStringLiteral(" (before restore ") + stamp +
           QLatin1Char(')') + name.mid(dot);
}

VersionRestore::Result VersionRestore::Restore(const QString& copyPath, const QString& target,
                                               FileCopier& copier, bool keepCurrent,
                                               const std::function<bool(const QString&)>& keepAsVersion,
                                               const QDateTime& now)
{
    Result r;
    // A deleted file's sub-folders may be gone with it.
    const QString parent = FilePath::Parent(target);
    QString existing = parent;
    while (!LocalFiles::IsFolder(existing) && existing != QStringLiteral("/"))
        existing = FilePath::Parent(existing);
    if (existing != parent && !DestinationFolder::CreateMissing(existing, parent, copier.Files())) {
        r.Error = QStringLiteral("Error: Restore failed (its folder could not be made)");
        return r;
    }
    // The held copy is staged first: keeping the current file as a version
    // renumbers the versions, and the staged bytes no longer depend on that.
    QString staged;
    const FileResult staging = copier.Stage(copyPath, target, {}, staged);
    if (!staging) {
        r.Error = QStringLiteral("Error: Restore failed (") + copyErrorText(staging) + QLatin1Char(')');
        return r;
    }
    if (keepCurrent && LocalFiles::Exists(target)) {
        if (!keepAsVersion || !keepAsVersion(target)) {
            const QString beside = BesideName(target, now);
            const FileResult kept = copier.Copy(target, beside, {});
            if (!kept) {
                copier.Discard(staged);
                r.Error = QStringLiteral("Error: Restore failed (the current file could not be kept: ") +
                          copyErrorText(kept) + QLatin1Char(')');
                return r;
            }
            r.KeptBeside = beside;
        }
    }
    const FileResult committed = copier.Commit(staged, target);
    if (!committed) {
        copier.Discard(staged);
        // The file stays as it was, so the copy kept of it is not needed.
        if (!r.KeptBeside.isEmpty())
            LocalFiles::RemoveTree(r.KeptBeside);
        r.KeptBeside.clear();
        r.Error = QStringLiteral("Error: Restore failed (") + copyErrorText(committed) + QLatin1Char(')');
        return r;
    }
    r.Restored = true;
    return r;
}

void VersionRestore::Log(colRecent& recent, const QString& target, const QString& copyPath,
                         const Result& result)
{
    const QString n_a = QStringLiteral("<n/a>");
    QString text = result.Restored ? QStringLiteral("Success: Previous version restored") : result.Error;
    if (!result.KeptBeside.isEmpty())
        text += QStringLiteral(" (current file kept as ") +
                result.KeptBeside.mid(result.KeptBeside.lastIndexOf(QLatin1Char('/')) + 1) + QLatin1Char(')');
    recent.Add(DateText::Now(), target, n_a, copyPath.left(copyPath.lastIndexOf(QLatin1Char('/'))), n_a,
               text);
}
