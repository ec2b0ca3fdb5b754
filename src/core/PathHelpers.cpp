#include "core/PathHelpers.h"

QString StripTrailingBackslash(const QString& path)
{
    if (path.size() > 1 && path.endsWith(u'/'))
        return path.chopped(1);
    return path;
}

QString GetPathRoot(const QString& path)
{
    if (path.startsWith(QLatin1String("//")) || !path.startsWith(u'/'))
        return {};
    return QStringLiteral("/");
}

QString JoinPath(const QString& folder, const QString& name)
{
    if (folder.isEmpty())
        return name;
    if (folder.endsWith(u'/'))
        return folder + name;
    return folder + u'/' + name;
}
