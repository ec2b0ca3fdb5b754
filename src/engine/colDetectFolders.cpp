#include "engine/colDetectFolders.h"

clsDetectFolder* colDetectFolders::Add(const QString& Folder, int AutoBackup, int Result,
                                       const QString& DetectionDate, const QString& sKey)
{
    if (!sKey.isEmpty() && m_index.count(sKey))
        return nullptr;
    clsDetectFolder record;
    record.Folder = Folder;
    record.AutoBackup = AutoBackup;
    record.Result = Result;
    record.DetectionDate = DetectionDate;
    m_items.push_back(record);
    m_keys.push_back(sKey);
    if (!sKey.isEmpty())
        m_index.emplace(sKey, m_items.size() - 1);
    return &m_items.back();
}

clsDetectFolder* colDetectFolders::Item(int position)
{
    if (position < 1 || position > Count())
        return nullptr;
    return &m_items[static_cast<size_t>(position - 1)];
}

clsDetectFolder* colDetectFolders::Item(const QString& key)
{
    const auto it = m_index.find(key);
    return it == m_index.end() ? nullptr : &m_items[it->second];
}

const clsDetectFolder* colDetectFolders::Item(int position) const
{
    return const_cast<colDetectFolders*>(this)->Item(position);
}

const clsDetectFolder* colDetectFolders::Item(const QString& key) const
{
    return const_cast<colDetectFolders*>(this)->Item(key);
}

bool colDetectFolders::Remove(int position)
{
    if (position < 1 || position > Count())
        return false;
    const auto i = static_cast<std::ptrdiff_t>(position - 1);
    m_items.erase(m_items.begin() + i);
    m_keys.erase(m_keys.begin() + i);
    reindex();
    return true;
}

bool colDetectFolders::Remove(const QString& key)
{
    const auto it = m_index.find(key);
    return it != m_index.end() && Remove(static_cast<int>(it->second) + 1);
}

void colDetectFolders::reindex()
{
    m_index.clear();
    for (size_t i = 0; i < m_keys.size(); ++i)
        if (!m_keys[i].isEmpty())
            m_index.emplace(m_keys[i], i);
}
