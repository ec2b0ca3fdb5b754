#pragma once

#include "reporting/clsNotifier.h"

#include <deque>

struct ProgramState;

// The pop-up queue: first in, first out. A manual synchronisation queues nothing.
class colNotifiers
{
public:
    explicit colNotifiers(const ProgramState& state) : m_state(state) {}

    // Null while ManualSync is set: nothing is queued.
    clsNotifier* Add(const QString& Source, const QString& Destination, const QString& Message);
    const clsNotifier* Item(int position) const;
    int Count() const { return static_cast<int>(m_items.size()); }
    bool Remove(int position);

    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    const ProgramState& m_state;
    std::deque<clsNotifier> m_items;
};
