#include "ui/main/PropertiesOpener.h"

#include "ui/main/frmSavenook.h"

#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QTreeWidget>

PropertiesOpener::PropertiesOpener(frmSavenook& window, ProgramState& state)
    : m_window(window), m_state(state)
{
}

void PropertiesOpener::Install()
{
    m_window.Later.ShowProperties = [this](const QString& sourcePath) { Show(sourcePath); };
    m_window.Later.UnloadProperties = [this] { Unload(); };
}

void PropertiesOpener::SetAddingEnabled(bool enabled)
{
    for (QMenu* menu : {m_window.mnuBackups, m_window.mnuEditMenu, m_window.mnuSpecial})
        if (menu)
            menu->menuAction()->setEnabled(enabled);
    for (QToolButton* button : {m_window.cmdRemove, m_window.cmdAddFolder, m_window.cmdAddFile})
        if (button)
            button->setEnabled(enabled);
    if (m_window.Later.SetTrayAddItemsEnabled)
        m_window.Later.SetTrayAddItemsEnabled(enabled);
    m_window.setAcceptDrops(enabled);
    // A disabled banner is drawn grey.
    if (m_window.Image1)
        m_window.Image1->setEnabled(enabled);
}

PropertiesHost PropertiesOpener::Host()
{
    PropertiesHost host;
    host.SetAddingEnabled = [this](bool enabled) { SetAddingEnabled(enabled); };
    host.RefreshTree = [this](const QString& path) {
        m_window.mnuRefresh_Click();
        if (QTreeWidgetItem* node = m_window.FindTreeIndexFromFullPath(path))
            m_window.treeBackupsLocal->scrollToItem(node);
    };
    host.BringMainToTop = [this] {
        if (m_window.isVisible() && !m_window.isMinimized())
            m_window.raise();
    };
    host.WatchSourceFolder = [this](const QString& path, bool recursive) {
        m_window.CreateDetectFolder(path, recursive);
    };
    // Read when used: the synchronisation and the tray may plug in later.
    host.SynchronizeBackup = [this](const QString& path) {
        return m_window.Later.SynchronizeBackup && m_window.Later.SynchronizeBackup(path);
    };
    host.SetTrayEditing = [this](bool editing) {
        if (m_window.Later.SetTrayEditing)
            m_window.Later.SetTrayEditing(editing);
    };
    host.DestinationsChosen = [this](const QStringList& paths) {
        if (DestinationsChosen)
            DestinationsChosen(paths);
    };
    host.TreeIcon = [this](const QString& key) { return m_window.Images().Icon(key); };
    host.Placement = &m_window.PropertiesPlacement;
    host.VersionSpace = VersionSpace;
    host.MultiAddShift = &m_multiAddShift;
    return host;
}

void PropertiesOpener::Show(const QString& sourcePath)
{
    if (m_dialog && !m_dialog->Unloaded()) {
        // One dialog at a time: a second hand-off waits for the open one.
        m_state.PropertiesPath = m_dialog->SourcePath();
        m_dialog->raise();
        m_dialog->activateWindow();
        return;
    }
    m_state.PropertiesPath = sourcePath;
    // Owned by the window only while the window can be seen: a dialog owned by a
    // hidden or minimised window would stay out of sight, and its opener wait for good.
    const bool windowShown = m_window.isVisible() && !m_window.isMinimized();
    auto* dialog = new frmProperties(m_state, *m_window.Svc.DriveInfo, m_window.Svc.Shares, Host(),
                                     *m_prompts, windowShown ? &m_window : nullptr);
    m_dialog = dialog;
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    if (Opened)
        Opened(*dialog);
}

void PropertiesOpener::Unload()
{
    if (m_dialog && !m_dialog->Unloaded())
        m_dialog->cmdCancel_Click();
}
