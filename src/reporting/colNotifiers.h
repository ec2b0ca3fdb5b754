#pragma once

#include "core/KeyedList.h"
#include "reporting/clsNotifier.h"

struct ProgramState;

// The pop-up queue: first in, first out. A manual synchronisation queues nothing.
class colNotifiers
{
  public:
    explicit colNotifiers(const ProgramState& state) : m_state(state) {}

    // Nothing drains the queue while no pop-up window runs, so it keeps only the
    // newest results; a backlog this long shows for 100 ms each anyway.
    static constexpr int MaxQueued = 10000;

    // Null while ManualSync is set: nothing is queued. A full queue drops its oldest.
    clsNotifier* Add(const QString& Source, const QString& Destination, const QString& Message);
    const clsNotifier* Item(int position) const { return m_items.Item(position); }
    int Count() const { return m_items.Count(); }
    bool Remove(int position) { return m_items.Remove(position); }

    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

  private:
    const ProgramState& m_state;
    KeyedList<clsNotifier> m_items;
};
