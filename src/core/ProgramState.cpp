#include "core/ProgramState.h"

ProgramState::ProgramState() : Backups(Destinations, [this] { UpdateAssociationCount(*this); }) {}

void ProgramState::SetRunningText(const QString& text)
{
    if (Status)
        Status->SetPanelText(QStringLiteral("Running"), text);
}

void ProgramState::Warn(const QString& text)
{
    if (ShowWarning)
        ShowWarning(text);
    else
        PendingWarnings.append(text);
}

void UpdateAssociationCount(ProgramState& state)
{
    if (!state.Status)
        return;
    // The leading blank stands where a sign would be, as the count always showed.
    state.Status->SetPanelText(QStringLiteral("Backups"),
                               QStringLiteral("Total Associations:  %1 ").arg(state.Backups.Count()));
}
