#pragma once

#include "core/KeyedList.h"
#include "engine/clsDetectedFile.h"

#include <QString>

// Files handed to the backup during one processing of a changed folder, in
// order, 1-based. Callers pass no key; the watch tick empties it afterwards.
class colDetectedFiles : private KeyedList<clsDetectedFile>
{
  public:
    using KeyedList::Add;
    using KeyedList::begin;
    using KeyedList::Clear;
    using KeyedList::Count;
    using KeyedList::end;
    using KeyedList::Item;
    using KeyedList::Remove;

    // The same path with the same modification time and size was handed over already.
    bool Contains(const QString& path, qint64 modifiedNs, qint64 size) const;
};
