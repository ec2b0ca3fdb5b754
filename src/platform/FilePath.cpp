#include "platform/FilePath.h"

namespace FilePath {
namespace {
const QChar slash = u'/';

// Views, so the mount and scan loops that compare many paths allocate nothing.
QStringView withoutTrailing(QStringView path)
{
    while (path.size() > 1 && path.endsWith(slash))
        path.chop(1);
    return path;
}

QStringView withoutLeading(QStringView path)
{
    while (path.startsWith(slash))
        path = path.mid(1);
    return path;
}
} // namespace

QString StripTrailingBackslash(const QString& path)
{
    if (path.size() > 1 && path.endsWith(slash))
        return path.chopped(1);
    return path;
}

QString GetPathRoot(const QString& path)
{
    if (path.startsWith(QLatin1String("//")) || !path.startsWith(slash))
        return {};
    return QStringLiteral("/");
}

QString WithoutTrailingSlashes(const QString& path)
{
    const QStringView trimmed = withoutTrailing(path);
    return trimmed.size() == path.size() ? path : trimmed.toString();
}

bool SamePath(const QString& a, const QString& b)
{
    return withoutTrailing(a) == withoutTrailing(b);
}

QString Parent(const QString& path)
{
    const qsizetype at = path.lastIndexOf(slash);
    if (at < 0)
        return QStringLiteral(".");
    return at == 0 ? QStringLiteral("/") : path.left(at);
}

QString FileName(const QString& path)
{
    const QStringView trimmed = withoutTrailing(path);
    return trimmed.mid(trimmed.lastIndexOf(slash) + 1).toString();
}

QString Join(const QString& folder, const QString& name)
{
    if (folder.isEmpty())
        return name;
    const QString base = WithoutTrailingSlashes(folder);
    const QStringView rest = withoutLeading(name);
    if (rest.isEmpty())
        return base;
    QString joined = base;
    if (!joined.endsWith(slash))
        joined += slash;
    return joined += rest;
}

bool IsSameOrBelow(const QString& path, const QString& folder)
{
    const QStringView p = withoutTrailing(path);
    const QStringView f = withoutTrailing(folder);
    if (f.isEmpty())
        return false;
    if (f == u"/")
        return p.startsWith(slash);
    return p.startsWith(f) && (p.size() == f.size() || p[f.size()] == slash);
}

bool IsDirectlyIn(const QString& path, const QString& folder)
{
    const QStringView p = withoutTrailing(path);
    const qsizetype at = p.lastIndexOf(slash);
    if (at < 0 || at == p.size() - 1)
        return false;
    return (at == 0 ? QStringView(u"/") : p.left(at)) == withoutTrailing(folder);
}

QString RelativePath(const QString& path, const QString& folder)
{
    const QStringView f = withoutTrailing(folder);
    return withoutLeading(QStringView(path).mid(qMin(f.size(), path.size()))).toString();
}

} // namespace FilePath
