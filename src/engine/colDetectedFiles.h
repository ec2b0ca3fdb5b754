#pragma once

#include "engine/clsDetectedFile.h"

#include <QString>
#include <map>
#include <vector>

// Files handed to the backup during one processing of a changed folder, in
// order, 1-based. Callers pass no key; the watch tick empties it afterwards.
class colDetectedFiles
{
  public:
    // Null, and nothing changed, when sKey is already present.
    clsDetectedFile* Add(const clsDetectedFile& file, const QString& sKey = {});
    clsDetectedFile* Item(int position);
    const clsDetectedFile* Item(int position) const;
    const clsDetectedFile* Item(const QString& key) const;
    int Count() const { return static_cast<int>(m_items.size()); }
    bool Remove(int position);
    // Removes every record, last first.
    void Clear();

    // The same path with the same modification time and size was handed over already.
    bool Contains(const QString& path, qint64 modifiedNs, qint64 size) const;

    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

  private:
    std::vector<clsDetectedFile> m_items;
    std::vector<QString> m_keys;
};
