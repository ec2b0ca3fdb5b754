#pragma once

#include "core/KeyedList.h"
#include "reporting/clsRecent.h"

struct ProgramState;

// The in-memory recent-activity log; position 1 is the oldest record.
class colRecent : private KeyedList<clsRecent>
{
  public:
    explicit colRecent(const ProgramState& state) : m_state(state) {}

    // Records made during a manual synchronisation say so on a second line.
    clsRecent& Add(const QString& DateAndTime, const QString& SourcePath, const QString& SourceVolume,
                   const QString& DestPath, const QString& DestVolume, const QString& Message);
    using KeyedList::begin;
    using KeyedList::Count;
    using KeyedList::end;
    using KeyedList::Item;
    using KeyedList::Remove;

    // Above 99 records, drop the oldest until the ten newest remain.
    void Trim();
    // Records ever added; unlike Count it never falls, so a reader can tell
    // that records arrived even when a trim brought Count back to where it was.
    qint64 Added() const { return m_added; }

  private:
    const ProgramState& m_state;
    qint64 m_added = 0;
};
