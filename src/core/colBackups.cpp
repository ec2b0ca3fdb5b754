#include "core/colBackups.h"

#include <set>

colBackups::colBackups(colDestinations& destinations, std::function<void()> countChanged)
    : m_destinations(destinations), m_countChanged(std::move(countChanged))
{
}

clsBackup* colBackups::Add(const clsBackup& backup, const QString& sKey)
{
    clsBackup* added = KeyedList::Add(backup, sKey);
    if (added && m_countChanged)
        m_countChanged();
    return added;
}

bool colBackups::Remove(int position)
{
    if (!KeyedList::Remove(position))
        return false;
    changed();
    return true;
}

bool colBackups::Remove(const QString& key)
{
    return Remove(PositionOf(key));
}

void colBackups::Clear()
{
    if (Count() == 0)
        return;
    KeyedList::Clear();
    changed();
}

void colBackups::changed()
{
    PurgeOrphanDestinations(*this, m_destinations);
    if (m_countChanged)
        m_countChanged();
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
