#include "reporting/colRecent.h"

#include "core/ProgramState.h"

clsRecent& colRecent::Add(const QString& DateAndTime, const QString& SourcePath, const QString& SourceVolume,
                          const QString& DestPath, const QString& DestVolume, const QString& Message)
{
    QString message = Message;
    if (m_state.ManualSync)
        message += QStringLiteral("\r\nProcessed in manual synchronization");
    ++m_added;
    return *KeyedList::Add(clsRecent{DateAndTime, SourcePath, SourceVolume, DestPath, DestVolume, message});
}

void colRecent::Trim()
{
    constexpr int threshold = 99, remainder = 10;
    if (Count() > threshold)
        while (Count() > remainder)
            Remove(1);
}
