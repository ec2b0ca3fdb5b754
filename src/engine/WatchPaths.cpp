#include "engine/WatchPaths.h"

#include "platform/MountTable.h"

namespace WatchPaths {

QString WithoutTrailingSlash(const QString& path)
{
    QString result = path;
    while (result.size() > 1 && result.endsWith(QLatin1Char('/')))
        result.chop(1);
    return result;
}

bool SamePath(const QString& a, const QString& b)
{
    return WithoutTrailingSlash(a) == WithoutTrailingSlash(b);
}

bool IsSameOrBelow(const QString& path, const QString& folder)
{
    const QString f = WithoutTrailingSlash(folder);
    return !f.isEmpty() && MountTable::IsInside(WithoutTrailingSlash(path), f);
}

bool IsDirectlyIn(const QString& path, const QString& folder)
{
    const QString p = WithoutTrailingSlash(path);
    const qsizetype slash = p.lastIndexOf(QLatin1Char('/'));
    if (slash < 0 || slash == p.size() - 1)
        return false;
    const QString parent = slash == 0 ? QStringLiteral("/") : p.left(slash);
    return parent == WithoutTrailingSlash(folder);
}

} // namespace WatchPaths
