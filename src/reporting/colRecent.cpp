#include "reporting/colRecent.h"

#include "core/ProgramState.h"

clsRecent& colRecent::Add(const QString& DateAndTime, const QString& SourcePath, const QString& SourceVolume,
                          const QString& DestPath, const QString& DestVolume, const QString& Message)
{
    QString message = Message;
    if (m_state.ManualSync)
        message += QStringLiteral("\r\nProcessed in manual synchronization");
    m_items.push_back(clsRecent{DateAndTime, SourcePath, SourceVolume, DestPath, DestVolume, message});
    return m_items.back();
}

const clsRecent* colRecent::Item(int position) const
{
    if (position < 1 || position > Count())
        return nullptr;
    return &m_items[static_cast<size_t>(position - 1)];
}

bool colRecent::Remove(int position)
{
    if (position < 1 || position > Count())
        return false;
    m_items.erase(m_items.begin() + (position - 1));
    return true;
}

void colRecent::Trim()
{
    constexpr size_t threshold = 99, remainder = 10;
    if (m_items.size() > threshold)
        m_items.erase(m_items.begin(), m_items.end() - remainder);
}
