#pragma once

#include "reporting/clsRecent.h"

#include <vector>

struct ProgramState;

// The in-memory recent-activity log; position 1 is the oldest record.
class colRecent
{
public:
    explicit colRecent(const ProgramState& state) : m_state(state) {}

    // Records made during a manual synchronisation say so on a second line.
    clsRecent& Add(const QString& DateAndTime, const QString& SourcePath, const QString& SourceVolume,
                   const QString& DestPath, const QString& DestVolume, const QString& Message);
    const clsRecent* Item(int position) const;
    int Count() const { return static_cast<int>(m_items.size()); }
    bool Remove(int position);

    // Above 99 records, drop the oldest until the ten newest remain.
    void Trim();

    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    const ProgramState& m_state;
    std::vector<clsRecent> m_items;
};
