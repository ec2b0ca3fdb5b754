#pragma once

#include "core/clsDestination.h"

#include <vector>

// The one program-wide destination list. Destinations carry no key and are
// addressed by 1-based position; list order is the order of backing up.
class colDestinations
{
public:
    clsDestination& Add(const QString& Path, const QString& Source, const QString& Volume);
    // Null when the position is out of range.
    clsDestination* Item(int position);
    const clsDestination* Item(int position) const;
    int Count() const { return static_cast<int>(m_items.size()); }
    bool Remove(int position);
    void Clear() { m_items.clear(); }

    // Destinations belonging to the association with this source path, in list order.
    std::vector<clsDestination> ForSource(const QString& sourcePath) const;

    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    std::vector<clsDestination> m_items;
};
