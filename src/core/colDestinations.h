#pragma once

#include "core/KeyedList.h"
#include "core/clsDestination.h"

#include <vector>

// The one program-wide destination list. Destinations carry no key and are
// addressed by 1-based position; list order is the order of backing up.
class colDestinations : private KeyedList<clsDestination>
{
  public:
    clsDestination& Add(const QString& Path, const QString& Source, const QString& Volume);
    using KeyedList::begin;
    using KeyedList::Clear;
    using KeyedList::Count;
    using KeyedList::end;
    using KeyedList::Item;
    using KeyedList::Remove;

    // Destinations belonging to the association with this source path, in list order.
    std::vector<clsDestination> ForSource(const QString& sourcePath) const;
};
