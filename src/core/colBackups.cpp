#include "core/colBackups.h"

#include <set>

colBackups::colBackups(colDestinations& destinations, std::function<void()> countChanged)
    : m_destinations(destinations), m_countChanged(std::move(countChanged))
{
}

clsBackup* colBackups::Add(const clsBackup& backup, const QString& sKey)
{
    if (!sKey.isEmpty() && m_index.count(sKey))
        return nullptr;
    m_items.push_back(backup);
    m_keys.push_back(sKey);
    if (!sKey.isEmpty())
        m_index.emplace(sKey, m_items.size() - 1);
    if (m_countChanged)
        m_countChanged();
    return &m_items.back();
}

clsBackup* colBackups::Item(int position)
{
    if (position < 1 || position > Count())
        return nullptr;
    return &m_items[static_cast<size_t>(position - 1)];
}

clsBackup* colBackups::Item(const QString& key)
{
    const auto it = m_index.find(key);
    return it == m_index.end() ? nullptr : &m_items[it->second];
}

const clsBackup* colBackups::Item(int position) const
{
    return const_cast<colBackups*>(this)->Item(position);
}

const clsBackup* colBackups::Item(const QString& key) const
{
    return const_cast<colBackups*>(this)->Item(key);
}

int colBackups::PositionOf(const QString& key) const
{
    const auto it = m_index.find(key);
    return it == m_index.end() ? 0 : static_cast<int>(it->second) + 1;
}

bool colBackups::Remove(int position)
{
    if (position < 1 || position > Count())
        return false;
    const auto i = static_cast<size_t>(position - 1);
    m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(i));
    m_keys.erase(m_keys.begin() + static_cast<std::ptrdiff_t>(i));
    reindex();
    PurgeOrphanDestinations(*this, m_destinations);
    if (m_countChanged)
        m_countChanged();
    return true;
}

bool colBackups::Remove(const QString& key)
{
    const int position = PositionOf(key);
    return position > 0 && Remove(position);
}

void colBackups::Clear()
{
    if (m_items.empty())
        return;
    m_items.clear();
    m_keys.clear();
    m_index.clear();
    PurgeOrphanDestinations(*this, m_destinations);
    if (m_countChanged)
        m_countChanged();
}

void colBackups::reindex()
{
    m_index.clear();
    for (size_t i = 0; i < m_keys.size(); ++i)
        if (!m_keys[i].isEmpty())
            m_index.emplace(m_keys[i], i);
}

void PurgeOrphanDestinations(const colBackups& backups, colDestinations& destinations)
{
    std::set<QString> sources;
    for (const clsBackup& b : backups)
        sources.insert(b.SourcePath);
    // Walk backwards so removals do not shift the positions still to visit.
    for (int position = destinations.Count(); position >= 1; --position)
        if (!sources.count(destinations.Item(position)->Source))
            destinations.Remove(position);
}
