#pragma once

#include <QString>
#include <cstddef>
#include <map>
#include <utility>
#include <vector>

// Records in insertion order with 1-based positions, each under an optional
// key compared exactly; an empty key is no key. Pointers stay valid only until
// the next Add or Remove.
template <typename T> class KeyedList
{
  public:
    // Null, and nothing changed, when the key is already present.
    T* Add(T value, const QString& key = {})
    {
        if (!key.isEmpty() && m_index.count(key))
            return nullptr;
        m_items.push_back(std::move(value));
        m_keys.push_back(key);
        if (!key.isEmpty())
            m_index.emplace(key, m_items.size() - 1);
        return &m_items.back();
    }

    // Null for a position out of range or an unknown key.
    T* Item(int position)
    {
        return inRange(position) ? &m_items[static_cast<size_t>(position - 1)] : nullptr;
    }
    const T* Item(int position) const { return const_cast<KeyedList*>(this)->Item(position); }
    T* Item(const QString& key) { return Item(PositionOf(key)); }
    const T* Item(const QString& key) const { return Item(PositionOf(key)); }

    // 1-based position of the key, 0 when absent.
    int PositionOf(const QString& key) const
    {
        const auto it = m_index.find(key);
        return it == m_index.end() ? 0 : static_cast<int>(it->second) + 1;
    }
    int Count() const { return static_cast<int>(m_items.size()); }

    bool Remove(int position)
    {
        if (!inRange(position))
            return false;
        const auto i = static_cast<std::ptrdiff_t>(position - 1);
        m_items.erase(m_items.begin() + i);
        m_keys.erase(m_keys.begin() + i);
        // Every key behind the removed record moved up one place.
        m_index.clear();
        for (size_t k = 0; k < m_keys.size(); ++k)
            if (!m_keys[k].isEmpty())
                m_index.emplace(m_keys[k], k);
        return true;
    }
    bool Remove(const QString& key) { return Remove(PositionOf(key)); }
    void Clear()
    {
        m_items.clear();
        m_keys.clear();
        m_index.clear();
    }

    auto begin() { return m_items.begin(); }
    auto end() { return m_items.end(); }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

  private:
    bool inRange(int position) const { return position >= 1 && position <= Count(); }

    std::vector<T> m_items;
    std::vector<QString> m_keys;       // parallel to m_items
    std::map<QString, size_t> m_index; // key -> index into m_items
};
