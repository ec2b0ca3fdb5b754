#pragma once

#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/frmProperties.h"

#include <QPointer>
#include <QString>

#include <functional>

class frmSavenook;

// Puts the properties dialog behind the main window's properties hand-off:
// the dialog gets what it needs of the window (menus to disable, the tree to
// refresh, the tree's pictures, the saved placement) without knowing it.
class PropertiesOpener
{
  public:
    PropertiesOpener(frmSavenook& window, ProgramState& state);

    // Replaces the window's stand-in for showing and unloading the dialog.
    void Install();
    // Shows the dialog of sourcePath, or brings the open one to the front.
    void Show(const QString& sourcePath);
    // Closes an open dialog as Close does (the program is ending).
    void Unload();
    frmProperties* Dialog() const { return m_dialog; }
    // Handed to the dialog (see PropertiesHost).
    std::function<QString(const QString& sourcePath)> VersionSpace;

    // Replaces the message boxes and the folder browser (tests); null restores the real ones.
    void SetPrompts(Prompts* prompts) { m_prompts = prompts ? prompts : &m_realPrompts; }
    // Runs with each dialog once it is shown (tests answer it there).
    std::function<void(frmProperties&)> Opened;
    // Destinations the user has just chosen: the engine ties each to its drive.
    std::function<void(const QStringList& paths)> DestinationsChosen;

  private:
    PropertiesHost Host();
    void SetAddingEnabled(bool enabled);

    frmSavenook& m_window;
    ProgramState& m_state;
    Prompts m_realPrompts;
    Prompts* m_prompts = &m_realPrompts;
    QPointer<frmProperties> m_dialog;
    bool m_multiAddShift = false;
};
