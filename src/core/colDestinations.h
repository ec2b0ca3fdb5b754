#pragma once

#include "core/KeyedList.h"
#include "core/clsDestination.h"

#include <vector>

// The one program-wide destination list. Destinations carry no key and are
// addressed by 1-based position; list order is the order of backing up.
class colDestinations
{
  public:
    clsDestination& Add(const QString& Path, const QString& Source, const QString& Volume);
    // Null when the position is out of range.
    clsDestination* Item(int position) { return m_items.Item(position); }
    const clsDestination* Item(int position) const { return m_items.Item(position); }
    int Count() const { return m_items.Count(); }
    bool Remove(int position) { return m_items.Remove(position); }
    void Clear() { m_items.Clear(); }

    // Destinations belonging to the association with this source path, in list order.
    std::vector<clsDestination> ForSource(const QString& sourcePath) const;

    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

  private:
    KeyedList<clsDestination> m_items;
};
