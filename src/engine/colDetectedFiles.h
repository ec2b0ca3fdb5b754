#pragma once

#include "core/KeyedList.h"
#include "engine/clsDetectedFile.h"

#include <QString>

// Files handed to the backup during one processing of a changed folder, in
// order, 1-based. Callers pass no key; the watch tick empties it afterwards.
class colDetectedFiles
{
  public:
    // Null, and nothing changed, when sKey is already present.
    clsDetectedFile* Add(const clsDetectedFile& file, const QString& sKey = {})
    {
        return m_items.Add(file, sKey);
    }
    clsDetectedFile* Item(int position) { return m_items.Item(position); }
    const clsDetectedFile* Item(int position) const { return m_items.Item(position); }
    const clsDetectedFile* Item(const QString& key) const { return m_items.Item(key); }
    int Count() const { return m_items.Count(); }
    bool Remove(int position) { return m_items.Remove(position); }
    // Removes every record, last first.
    void Clear() { m_items.Clear(); }

    // The same path with the same modification time and size was handed over already.
    bool Contains(const QString& path, qint64 modifiedNs, qint64 size) const;

    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

  private:
    KeyedList<clsDetectedFile> m_items;
};
