#pragma once

#include <QIcon>
#include <QString>

#include <array>
#include <functional>

// What the properties dialog asks of the window that opens it. Any hook may be
// left empty; the dialog then simply skips that step.
struct PropertiesHost
{
    // Off while the dialog is open: the adding and editing menus and buttons,
    // the tray's adding items and file drops (with the grey title banner).
    std::function<void(bool enabled)> SetAddingEnabled;
    // Rebuilds the association tree and shows the node of this path, if any.
    std::function<void(const QString& path)> RefreshTree;
    std::function<void()> BringMainToTop;
    // Sets up (or renews) the watched folder that serves a source path.
    std::function<void(const QString& path, bool recursive)> WatchSourceFolder;
    // The manual synchronisation of one association; false when not available.
    std::function<bool(const QString& path)> SynchronizeBackup;
    // Destinations the user has just chosen (confirmed by OK or Apply), so each is
    // tied to the drive that holds it now, a new drive included.
    std::function<void(const QStringList& paths)> DestinationsChosen;
    // The tray's editing picture while something edits associations.
    std::function<void(bool editing)> SetTrayEditing;
    // A picture of the tree's image list by key ("*Folder", "*FileYellow", ...).
    std::function<QIcon(const QString& key)> TreeIcon;
    // One line on the space the association's previous versions take in each destination.
    std::function<QString(const QString& sourcePath)> VersionSpace;
    // Top, left, height, width and the destination column's width in twips,
    // kept with the window preferences; null keeps them nowhere.
    std::array<qint16, 5>* Placement = nullptr;
    // Alternates with each dialog of a multi-file add, so each opens visibly
    // apart from the one before.
    bool* MultiAddShift = nullptr;
};
