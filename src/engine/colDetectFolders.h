#pragma once

#include "core/KeyedList.h"
#include "engine/clsDetectFolder.h"

#include <QString>

// The watched folders, in order of setting up, 1-based positions, keyed by the
// folder path exactly as the file system compares it.
//
// Pointers returned by Add and Item stay valid only until the next Add or
// Remove: code that lets the interface run must look the record up again.
class colDetectFolders : private KeyedList<clsDetectFolder>
{
  public:
    // Null, and nothing changed, when sKey is already present.
    clsDetectFolder* Add(const QString& Folder, int AutoBackup, ChangeNotifier::WaitResult Result,
                         const QString& DetectionDate, const QString& sKey = {});
    using KeyedList::begin;
    using KeyedList::Count;
    using KeyedList::end;
    using KeyedList::Item;
    using KeyedList::Remove;
};
