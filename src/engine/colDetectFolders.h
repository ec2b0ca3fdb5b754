#pragma once

#include "engine/clsDetectFolder.h"

#include <QString>
#include <map>
#include <vector>

// The watched folders, in order of setting up, 1-based positions, keyed by the
// folder path exactly as the file system compares it.
//
// Pointers returned by Add and Item stay valid only until the next Add or
// Remove: code that lets the interface run must look the record up again.
class colDetectFolders
{
  public:
    // Null, and nothing changed, when sKey is already present.
    clsDetectFolder* Add(const QString& Folder, int AutoBackup, int Result, const QString& DetectionDate,
                         const QString& sKey = {});
    // Null for a position out of range or an unknown key.
    clsDetectFolder* Item(int position);
    clsDetectFolder* Item(const QString& key);
    const clsDetectFolder* Item(int position) const;
    const clsDetectFolder* Item(const QString& key) const;
    int Count() const { return static_cast<int>(m_items.size()); }
    bool Remove(int position);
    bool Remove(const QString& key);

    auto begin() { return m_items.begin(); }
    auto end() { return m_items.end(); }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

  private:
    void reindex();

    std::vector<clsDetectFolder> m_items;
    std::vector<QString> m_keys;       // parallel to m_items; empty = no key
    std::map<QString, size_t> m_index; // key -> index into m_items
};
