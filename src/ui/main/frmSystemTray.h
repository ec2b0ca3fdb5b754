#pragma once

#include "ui/main/TrayAnimations.h"

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

#include <functional>

struct ProgramState;

// The notification-area icon for the whole run, with its menu. Without a tray
// host (some desktops, the offscreen platform) it stays away and the program
// reaches the user through its main window instead.
class frmSystemTray : public QObject
{
    Q_OBJECT
  public:
    // What the menu's items and the activation do; set by whoever builds the program.
    struct Commands
    {
        std::function<void()> About, Exit, Recent, Options, AddFile, AddFolder, Manual, HomePage;
        // The main window visible and not minimised.
        std::function<bool()> MainWindowShown;
        std::function<void()> ShowWindow, HideWindow;
        // Every window back to normal, the main window in front.
        std::function<void()> RestoreWindows;
    };

    explicit frmSystemTray(ProgramState& state, QObject* parent = nullptr);
    ~frmSystemTray() override;

    Commands Run;

    // Whether a tray host answers; the icon docks only then.
    static bool Available();

    void AddTrayIcon(const QString& tooltip);
    void SetTrayIcon(TrayIconRole role);
    void RemoveTrayIcon();
    // The editing icon while a dialog edits associations; animations come back to it.
    void SetEditing(bool editing);
    void SetAddItemsEnabled(bool enabled);
    TrayIconRole Shown() const { return m_shown; }

    // Sets the show/hide caption and the bold default, as the menu opens.
    void UpdateMenu();
    void OnActivated(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon Icon;
    QMenu mnuSystemTray;
    QAction *mnuAbout = nullptr, *mnuShowHide = nullptr, *mnuExit = nullptr, *mnuRecent = nullptr,
            *mnuOptions = nullptr, *mnuAddFile = nullptr, *mnuAddFolder = nullptr, *mnuManual = nullptr,
            *mnuHomePage = nullptr;

  private:
    ProgramState& m_state;
    TrayIconRole m_shown = TrayIconRole::Normal;
    bool m_editing = false;
    QIcon m_icons[4];
};
