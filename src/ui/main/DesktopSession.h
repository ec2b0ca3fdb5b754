#pragma once

#include <QObject>

class QSessionManager;
class frmSavenook;
struct ProgramState;

// What the desktop session asks of the program. Session managers ask every
// client to save soon after it registers and again at each checkpoint, and a
// logout can still be cancelled after its save request: a save request only
// saves. The end of the session reaches the program as the application being
// told to quit, which runs the ordinary exit instead.
class DesktopSession : public QObject
{
    Q_OBJECT
  public:
    DesktopSession(ProgramState& state, frmSavenook& window, QObject* parent = nullptr);

    // The paused flag and the stores, as an exit would leave them; the program carries on.
    void Save();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    ProgramState& m_state;
    frmSavenook& m_window;
    bool m_unloaded = false;
};
