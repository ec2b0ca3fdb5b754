#include "engine/colDetectedFiles.h"

#include <algorithm>

clsDetectedFile* colDetectedFiles::Add(const clsDetectedFile& file, const QString& sKey)
{
    if (!sKey.isEmpty() && Item(sKey))
        return nullptr;
    m_items.push_back(file);
    m_keys.push_back(sKey);
    return &m_items.back();
}

clsDetectedFile* colDetectedFiles::Item(int position)
{
    if (position < 1 || position > Count())
        return nullptr;
    return &m_items[static_cast<size_t>(position - 1)];
}

const clsDetectedFile* colDetectedFiles::Item(int position) const
{
    return const_cast<colDetectedFiles*>(this)->Item(position);
}

const clsDetectedFile* colDetectedFiles::Item(const QString& key) const
{
    if (key.isEmpty())
        return nullptr;
    const auto it = std::find(m_keys.begin(), m_keys.end(), key);
    return it == m_keys.end() ? nullptr : &m_items[static_cast<size_t>(it - m_keys.begin())];
}

bool colDetectedFiles::Remove(int position)
{
    if (position < 1 || position > Count())
        return false;
    const auto i = static_cast<std::ptrdiff_t>(position - 1);
    m_items.erase(m_items.begin() + i);
    m_keys.erase(m_keys.begin() + i);
    return true;
}

void colDetectedFiles::Clear()
{
    for (int position = Count(); position >= 1; --position)
        Remove(position);
}

bool colDetectedFiles::Contains(const QString& path, qint64 modifiedNs, qint64 size) const
{
    return std::any_of(m_items.begin(), m_items.end(), [&](const clsDetectedFile& f) {
        return f.Path == path && f.ModifiedNs == modifiedNs && f.Size == size && !f.ModifiedDate.isEmpty();
    });
}
