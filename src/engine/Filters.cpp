#include "engine/Filters.h"

#include <QStringList>

namespace {
bool matchesAny(const QString& fileName, const QString& list, bool prefix)
{
    for (const QString& raw : list.split(QLatin1Char('|'))) {
        const QString item = raw.trimmed();
        if (item.isEmpty() || item.size() > fileName.size())
            continue;
        if (prefix ? fileName.startsWith(item, Qt::CaseInsensitive)
                   : fileName.endsWith(item, Qt::CaseInsensitive))
            return true;
    }
    return false;
}
} // namespace

bool PassesFilters(const QString& fileName, const Options& options)
{
    if (!options.UseFilters)
        return true;
    return !matchesAny(fileName, options.Prefixes, true) && !matchesAny(fileName, options.Suffixes, false);
}
