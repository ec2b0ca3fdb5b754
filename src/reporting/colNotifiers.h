#pragma once

#include "core/KeyedList.h"
#include "reporting/clsNotifier.h"

struct ProgramState;

// The pop-up queue: first in, first out. A manual synchronisation queues nothing.
class colNotifiers : private KeyedList<clsNotifier>
{
  public:
    explicit colNotifiers(const ProgramState& state) : m_state(state) {}

    // Nothing drains the queue while no pop-up window runs, so it keeps only the
    // newest results; a backlog this long shows for 100 ms each anyway.
    static constexpr int MaxQueued = 10000;

    // Null while ManualSync is set: nothing is queued. A full queue drops its oldest.
    clsNotifier* Add(const QString& Source, const QString& Destination, const QString& Message);
    using KeyedList::begin;
    using KeyedList::Count;
    using KeyedList::end;
    using KeyedList::Item;
    using KeyedList::Remove;

  private:
    const ProgramState& m_state;
};
