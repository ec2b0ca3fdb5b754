#pragma once

#include "core/KeyedList.h"
#include "engine/clsDetectFolder.h"

#include <QString>

// The watched folders, in order of setting up, 1-based positions, keyed by the
// folder path exactly as the file system compares it.
//
// Pointers returned by Add and Item stay valid only until the next Add or
// Remove: code that lets the interface run must look the record up again.
class colDetectFolders
{
  public:
    // Null, and nothing changed, when sKey is already present.
    clsDetectFolder* Add(const QString& Folder, int AutoBackup, ChangeNotifier::WaitResult Result,
                         const QString& DetectionDate, const QString& sKey = {});
    // Null for a position out of range or an unknown key.
    clsDetectFolder* Item(int position) { return m_items.Item(position); }
    clsDetectFolder* Item(const QString& key) { return m_items.Item(key); }
    const clsDetectFolder* Item(int position) const { return m_items.Item(position); }
    const clsDetectFolder* Item(const QString& key) const { return m_items.Item(key); }
    int Count() const { return m_items.Count(); }
    bool Remove(int position) { return m_items.Remove(position); }
    bool Remove(const QString& key) { return m_items.Remove(key); }

    auto begin() { return m_items.begin(); }
    auto end() { return m_items.end(); }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

  private:
    KeyedList<clsDetectFolder> m_items;
};
