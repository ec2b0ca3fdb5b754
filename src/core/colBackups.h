#pragma once

#include "core/KeyedList.h"
#include "core/clsBackup.h"
#include "core/colDestinations.h"

#include <QString>
#include <functional>

// All associations, in insertion order with 1-based positions, keyed by the
// source path. Paths are keys exactly as the file system compares them.
//
// References returned by Item stay valid only until the next Add or Remove;
// code that lets the interface process messages must look the association up
// again by its key afterwards.
class colBackups : private KeyedList<clsBackup>
{
  public:
    // Removing an association purges the destinations it leaves orphaned;
    // countChanged runs after every Add and Remove (the status-bar count).
    explicit colBackups(colDestinations& destinations, std::function<void()> countChanged = {});

    // Appends under sKey (no key when empty). Null, and nothing changed, when
    // the key is already present.
    clsBackup* Add(const clsBackup& backup, const QString& sKey);
    using KeyedList::begin;
    using KeyedList::Count;
    using KeyedList::end;
    using KeyedList::Item;
    using KeyedList::PositionOf;
    bool Remove(int position);
    bool Remove(const QString& key);
    // Removes every association at once, with the same effect as removing
    // position 1 until none is left (the destinations go too) but in linear time.
    void Clear();

    void SetCountChanged(std::function<void()> countChanged) { m_countChanged = std::move(countChanged); }

  private:
    void changed();

    colDestinations& m_destinations;
    std::function<void()> m_countChanged;
};

// Removes every destination whose Source names no association, keeping the
// order of the others.
void PurgeOrphanDestinations(const colBackups& backups, colDestinations& destinations);
