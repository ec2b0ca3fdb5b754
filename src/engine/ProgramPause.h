#pragma once

#include "core/ProgramState.h"

#include <QString>
#include <functional>

// Stopping automatic backing up for a while. The watch tick reads Paused; this
// sets it and the signs the user sees. Manual synchronisation ignores it.
class ProgramPause
{
  public:
    // What pausing asks of the window. Either may be left empty (tests, start-up).
    struct Window
    {
        // A Yes/No question with the question icon; true for Yes.
        std::function<bool(const QString& question)> AskYesNo;
        // The pause command's caption and picture, and the "Running" panel's picture.
        std::function<void(bool paused)> ShowPaused;
    };

    static inline const QString StopScanQuestion =
        QStringLiteral("Savenook is in the process of scanning for updated files. Stop this scanning now?");
    static inline const QString PausedText = QStringLiteral("Paused... ");
    static inline const QString WaitingText = QStringLiteral("Waiting... ");

    explicit ProgramPause(ProgramState& state) : m_state(state) {}

    Window Ui;

    // Pauses, after asking to stop a running scan; false (nothing changed) when
    // the user declined.
    bool PauseProgram();
    void UnpauseProgram();
    // The state saved at the last exit, at start-up.
    void Restore(bool paused);

  private:
    void show(bool paused);

    ProgramState& m_state;
};
