#include "reporting/colNotifiers.h"

#include "core/ProgramState.h"

clsNotifier* colNotifiers::Add(const QString& Source, const QString& Destination, const QString& Message)
{
    if (m_state.ManualSync)
        return nullptr;
    m_items.push_back(clsNotifier{Source, Destination, Message});
    return &m_items.back();
}

const clsNotifier* colNotifiers::Item(int position) const
{
    if (position < 1 || position > Count())
        return nullptr;
    return &m_items[static_cast<size_t>(position - 1)];
}

bool colNotifiers::Remove(int position)
{
    if (position < 1 || position > Count())
        return false;
    m_items.erase(m_items.begin() + (position - 1));
    return true;
}
