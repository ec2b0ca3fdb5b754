#include "reporting/colNotifiers.h"

#include "core/ProgramState.h"

clsNotifier* colNotifiers::Add(const QString& Source, const QString& Destination, const QString& Message)
{
    if (m_state.ManualSync)
        return nullptr;
    while (Count() >= MaxQueued)
        Remove(1);
    return KeyedList::Add(clsNotifier{Source, Destination, Message});
}
