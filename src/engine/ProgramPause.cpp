#include "engine/ProgramPause.h"

bool ProgramPause::PauseProgram()
{
    if (m_state.Scanning) {
        if (!Ui.AskYesNo || !Ui.AskYesNo(StopScanQuestion))
            return false;
        // The scan gives up at its next check; the watch tick then clears both flags.
        m_state.StopScanning = true;
    }
    m_state.Paused = true;
    show(true);
    return true;
}

void ProgramPause::UnpauseProgram()
{
    m_state.Paused = false;
    show(false);
}

void ProgramPause::Restore(bool paused)
{
    if (paused)
        PauseProgram();
    else
        UnpauseProgram();
}

void ProgramPause::show(bool paused)
{
    m_state.SetRunningText(paused ? PausedText : WaitingText);
    if (Ui.ShowPaused)
        Ui.ShowPaused(paused);
}
