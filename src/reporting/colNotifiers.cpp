#include "reporting/colNotifiers.h"

#include "core/ProgramState.h"

clsNotifier* colNotifiers::Add(const QString& Source, const QString& Destination, const QString& Message)
{
    if (m_state.ManualSync)
        return nullptr;
    while (m_items.Count() >= MaxQueued)
        m_items.Remove(1);
    return m_items.Add(clsNotifier{Source, Destination, Message});
}
