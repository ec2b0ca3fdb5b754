#include "platform/FileResult.h"

#include "platform/FileNames.h"

#include <cerrno>
#include <cstring>

FileError FileResult::KindOf(int error)
{
    switch (error) {
    case 0:
        return FileError::None;
    case EACCES:
    case EPERM:
        return FileError::AccessDenied;
    case ENOSPC:
    case EDQUOT:
        return FileError::DiskFull;
    case EILSEQ:
        return FileError::NameNotAllowed;
    default:
        return FileError::Other;
    }
}

FileResult FileResult::Failed(int error, const char* call, const QString& path, const QString& otherPath)
{
    return {error == 0 ? FileError::Other : KindOf(error), error, call, path, otherPath};
}

FileResult FileResult::Failed(FileError kind, const char* call, const QString& path)
{
    return {kind, 0, call, path, QString()};
}

QString FileResult::Message() const
{
    if (Ok())
        return {};
    QString paths = FileNames::ForDisplay(Path);
    if (!OtherPath.isEmpty())
        paths += QStringLiteral(" -> ") + FileNames::ForDisplay(OtherPath);
    static const char* const kinds[] = {
        "", "access denied", "disk full", "failed", "source changed", "abandoned", "name not allowed"};
    const QString reason =
        Errno != 0 ? QString::fromLocal8Bit(std::strerror(Errno)) : QLatin1String(kinds[int(Error)]);
    return QStringLiteral("%1 %2: %3").arg(QLatin1String(Call), paths, reason);
}
