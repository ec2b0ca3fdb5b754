#include "ui/main/DesktopSession.h"

#include "core/Main.h"
#include "core/Stores.h"
#include "ui/main/frmSavenook.h"

#include <QEvent>
#include <QGuiApplication>
#include <QSessionManager>

DesktopSession::DesktopSession(ProgramState& state, frmSavenook& window, QObject* parent)
    : QObject(parent), m_state(state), m_window(window)
{
    auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!gui)
        return;
    connect(gui, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { Save(); });
    connect(gui, &QGuiApplication::saveStateRequest, this, [this](QSessionManager&) { Save(); });
    // The session's end arrives as a quit of the application (Qt turns the
    // session manager's "die" into one), which would otherwise skip the exit.
    gui->installEventFilter(this);
    connect(&m_window, &frmSavenook::Unloaded, this, [this] { m_unloaded = true; });
}

void DesktopSession::Save()
{
    Main::Trace(QStringLiteral("session save"));
    // Once an exit has begun, Paused reads true whatever the user chose; the exit saved it already.
    if (!m_state.Exiting)
        SavePausedState(m_state);
    m_window.QueryUnload();
}

bool DesktopSession::eventFilter(QObject* watched, QEvent* event)
{
    // The exit itself ends with a quit once the window has unloaded: that one passes.
    // Any earlier one runs the exit (or lets a running one finish) first.
    if (event->type() == QEvent::Quit && watched == QCoreApplication::instance() && !m_unloaded) {
        if (!m_state.Exiting) {
            Main::Trace(QStringLiteral("session ending"));
            m_window.ExitSequence(false);
        }
        return true;
    }
    return QObject::eventFilter(watched, event);
}
