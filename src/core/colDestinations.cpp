#include "core/colDestinations.h"

clsDestination& colDestinations::Add(const QString& Path, const QString& Source, const QString& Volume)
{
    m_items.push_back(clsDestination{Volume, Source, Path});
    return m_items.back();
}

clsDestination* colDestinations::Item(int position)
{
    if (position < 1 || position > Count())
        return nullptr;
    return &m_items[static_cast<size_t>(position - 1)];
}

const clsDestination* colDestinations::Item(int position) const
{
    return const_cast<colDestinations*>(this)->Item(position);
}

bool colDestinations::Remove(int position)
{
    if (position < 1 || position > Count())
        return false;
    m_items.erase(m_items.begin() + (position - 1));
    return true;
}

std::vector<clsDestination> colDestinations::ForSource(const QString& sourcePath) const
{
    std::vector<clsDestination> result;
    for (const clsDestination& d : m_items)
        if (d.Source == sourcePath)
            result.push_back(d);
    return result;
}
