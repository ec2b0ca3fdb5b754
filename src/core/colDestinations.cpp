#include "core/colDestinations.h"

clsDestination& colDestinations::Add(const QString& Path, const QString& Source, const QString& Volume)
{
    return *KeyedList::Add(clsDestination{Volume, Source, Path});
}

std::vector<clsDestination> colDestinations::ForSource(const QString& sourcePath) const
{
    std::vector<clsDestination> result;
    for (const clsDestination& d : *this)
        if (d.Source == sourcePath)
            result.push_back(d);
    return result;
}
