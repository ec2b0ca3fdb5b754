#pragma once

#include "core/ProgramState.h"
#include "core/StatusPanels.h"
#include "engine/NetworkPaths.h"
#include "ui/dialogs/Prompts.h"
#include "ui/main/TreeImages.h"

#include <QHash>
#include <QMainWindow>
#include <QTimer>

#include <array>
#include <functional>
#include <map>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;
class colRecent;

// The main window: picture buttons, the association tree, the status bar, five
// menus and the tree's pop-up menu. Closing it by its frame only hides it
// (after saving the stores); it really unloads once, at the end of the exit
// sequence. Its members are spread over three files: the window and its
// commands (frmSavenook.cpp), the tree (frmSavenookTree.cpp) and the adding
// and removing commands (frmSavenookAdding.cpp).
class frmSavenook : public QMainWindow, public StatusPanels
{
    Q_OBJECT
  public:
    // What the window works with beyond the program-wide state.
    struct Services
    {
        // Drives (mount points) of paths; required for the tree and the adding commands.
        const Drives* DriveInfo = nullptr;
        // This computer's shares, for the remote-source check.
        NetworkPaths::ShareList Shares;
        // The recent-activity log; a disabled association with a missing source is logged there.
        colRecent* Recent = nullptr;
        // Sets up (or renews) the watched folder that serves a path (the engine's WatchSourceFolder).
        std::function<void(const QString& path, bool recursive)> WatchFolder;
        // Stops the watched folder with this key, keeping its record (AutoBackup -1).
        std::function<void(const QString& folder)> StopWatchedFolder;
    };

    // The commands whose windows come later. Each starts as a stand-in; the
    // properties stand-in accepts the defaults, so adding works end to end.
    struct LaterWindows
    {
        // Shows the properties of the association with this source path. The
        // dialog sets PropertiesOpen while it is open, and PropertiesCancelled / ApplyToAll.
        std::function<void(const QString& sourcePath)> ShowProperties;
        std::function<void()> UnloadProperties;
        std::function<void()> ShowOptions;
        std::function<void()> ShowRecentActivity;
        // The held copies of the association with this source path (or of a file below it).
        std::function<void(const QString& sourcePath)> ShowPreviousVersions;
        // True when a scheme was loaded (its files copied over the stores).
        std::function<bool()> LoadScheme;
        std::function<void()> SaveScheme;
        std::function<void()> PauseProgram;
        std::function<void()> UnpauseProgram;
        // False when it did not run (the user has been told why).
        std::function<bool(const QString& sourcePath)> SynchronizeBackup;
        // Every association in collection order, as one run that an exit waits for.
        std::function<bool()> SynchronizeAll;
        // The tray's editing icon while a dialog edits associations.
        std::function<void(bool editing)> SetTrayEditing;
        // The tray's "Add File(s)" and "Add Folder" items.
        std::function<void(bool enabled)> SetTrayAddItemsEnabled;
    };

    explicit frmSavenook(ProgramState& state, QWidget* parent = nullptr);
    ~frmSavenook() override;

    Services Svc;
    LaterWindows Later;
    // Replaces the message boxes and file dialogs (tests); null restores the real ones.
    void SetPrompts(Prompts* prompts);

    // The load steps: panels, icons, stores, tree, window and node preferences.
    // onLoaded runs for every association loaded, so the engine can watch its folder.
    void Load(const std::function<void(const clsBackup&)>& onLoaded);

    void SetPanelText(const QString& key, const QString& text) override;
    QString PanelText(const QString& key) const override;

    // Shown normal (not minimised), raised and activated, even from hidden.
    void ShowNormalAndActivate();

    // "Stop and Exit". askWhileScanning is false for signals and the end of the
    // desktop session, where nobody could answer. False when the user declined.
    bool ExitSequence(bool askWhileScanning);

    // Closes the change notifications of every watched folder at the final unload.
    std::function<void()> CloseAllNotifications;
    // Removes the tray icon at the final unload.
    std::function<void()> RemoveTrayIcon;
    // Without a tray nothing could bring a hidden window back: closing minimises it.
    bool CloseMinimises = false;

    // For SAVENOOK_TRACE: one line per change ("window shown" / "window hidden").
    void TraceVisibility(bool visible);
    // Node and window preferences, then the associations and destinations.
    void QueryUnload();

    // ---- window preferences (wprefs)
    void LoadWindowPrefs();
    void SaveWindowPrefs();
    // Copies the window's place into MainPlacement while it is shown (on every move
    // and resize), so that a minimised or hidden window keeps its last place.
    void CaptureMainPlacement();
    std::array<qint16, 4> MainPlacement{}; // twips: top, left, height, width
    std::array<qint16, 5> PropertiesPlacement{};
    std::array<qint16, 4> LogPlacement{};
    bool WasActivated = false;
    // The larger layout margins ("vist" on the command line).
    void SetWideMargins(bool wide);

    // ---- the association tree
    void UpdateTreeLocal();
    void PlaceIcons();
    void AddPathIcon(const QString& path);
    void AddStateIcons(const QString& path);
    QTreeWidgetItem* FindTreeIndexFromFullPath(const QString& strFullPath) const;
    bool NodeExists(const QString& strFullPath) const;
    bool BackupExists(const QString& strSourcePath) const;
    bool IsAssociationNode(const QTreeWidgetItem* node) const;
    bool HasDescendantNodes(const QString& path) const;
    void DestroyBranchToNode(QTreeWidgetItem* node);
    void ExpandAllNodes();
    void CollapseAllNodes();
    void ClearTreeNodes();
    void ClearTreeImages();
    void SaveVisibleNodePrefs();
    void LoadVisibleNodePrefs();
    void mnuRefresh_Click();
    // The node's full path (its key) and image key.
    static QString NodePath(const QTreeWidgetItem* node);
    static QString NodeImage(const QTreeWidgetItem* node);
    const TreeImages& Images() const { return m_images; }

    // ---- adding and removing
    void MenuAddFile();
    void MenuAddFolder(const QString& strSkipBrowse = QString());
    void GotADrop(const QString& filename);
    void mnuAssociate_Click();
    void RemoveBackup(const QString& strFullPath);
    void RemoveLocal(QTreeWidgetItem* node);
    void mnuRemove_Click();
    void mnuRemoveAll_Click();
    void CreateDetectFolder(const QString& strPath, bool blnRecursive);
    void RemoveDetectFolder(const QString& strPath);
    // False, after telling the user, while a scan, a synchronisation or a busy
    // retry runs: associations must not change under them. The tray asks too.
    bool MayChangeAssociations();

    // ---- other commands
    void mnuEnabled_Click();
    void TreeDeleteKey();
    void TreeDblClick();
    void TreeClick();

    QToolButton *cmdAddFile = nullptr, *cmdAddFolder = nullptr, *cmdRemove = nullptr, *cmdOptions = nullptr,
                *cmdHelp = nullptr, *cmdVisit = nullptr;
    QTreeWidget* treeBackupsLocal = nullptr;
    QLabel* Image1 = nullptr;
    QAction *mnuOptions = nullptr, *mnuLog = nullptr, *mnuShowHide = nullptr, *mnuExit = nullptr,
            *mnuAbout = nullptr;
    QAction *mnuLoad = nullptr, *mnuSave = nullptr, *mnuAddFiles = nullptr, *mnuAddFolder = nullptr,
            *mnuEdit = nullptr, *mnuAssociate = nullptr, *mnuEnabled = nullptr, *mnuRemove = nullptr,
            *mnuRemoveAll = nullptr, *mnuSync = nullptr, *mnuSyncAll = nullptr;
    QAction *mnuCopyPath = nullptr, *mnuCopyVolume = nullptr;
    QAction *mnuOpen = nullptr, *mnuProperties = nullptr, *mnuExpandTree = nullptr,
            *mnuCollapseTree = nullptr, *mnuRefresh = nullptr, *mnuPaused = nullptr;
    QAction *mnuVersions = nullptr, *mnuPopupVersions = nullptr;
    QAction *mnuWeb = nullptr, *mnuHelp = nullptr;
    QMenu *mnuFile = nullptr, *mnuBackups = nullptr, *mnuEditMenu = nullptr, *mnuSpecial = nullptr,
          *mnuInfo = nullptr, *mnuPopup = nullptr;
    QAction *mnuPopupEdit = nullptr, *mnuSyncPop = nullptr, *mnuPopupOpen = nullptr,
            *mnuPopupProperties = nullptr, *mnuPopupCopyPath = nullptr, *mnuPopupCopyVolume = nullptr,
            *mnuPopupAssociate = nullptr, *mnuPopupEnabled = nullptr, *mnuPopupRemove = nullptr;
    // Enables and captions the items by the selected node, as a menu opens.
    void UpdateMenuStates();

    // The copy step measures its busy time-out itself, so no busy timer lives here.
    QTimer tmrExit, tmrAssociate, tmrView, tmrFlashMe;
    // The project's address, opened by "Home Page".
    static const QString HomePage;
    // Manual.html beside the program, in its data folder or in the build folder; empty when none.
    static QString ManualPath();
    // "major.minor.revision" of this build.
    static QString VersionText();

  Q_SIGNALS:
    // The exit sequence has begun (the question, if any, was answered Yes).
    void ExitStarted();
    // Exiting was set and the window has unloaded: time to end the process.
    void Unloaded();
    // A click on the "Running" panel, which toggles pause.
    void RunningPanelClicked();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void buildButtons(QWidget* top);
    void buildMenus();
    void buildTree();
    void installStandIns();
    void OnExitTimer();
    void OnFlashTimer();
    void TogglePause();
    void SyncOne();
    void SyncAll();
    void LoadSchemeCommand();
    void CopyToClipboard(bool volume);
    void OpenSelected(bool properties);
    void ShowAbout();
    void OpenManual();
    QString SelectedPath() const;
    QTreeWidgetItem* SelectedNode() const;
    void SelectAndShow(QTreeWidgetItem* node);
    void MakeVisible(QTreeWidgetItem* node);
    void SetNodeImage(QTreeWidgetItem* node, const QString& imageKey);
    QString DriveOf(const QString& path, bool* exists = nullptr) const;
    QString SourcePathOfNode(const QTreeWidgetItem* node) const;
    bool IsMissingNode(const QTreeWidgetItem* node) const;
    NetworkPaths Paths() const;
    Prompts& Ask() { return *m_prompts; }
    // The checks every adding command makes on a chosen path; false after telling the user.
    bool RefuseUnsafeName(const QString& path);
    bool RefuseRemote(const QString& path);
    bool DriveChecks(const QString& path);
    clsBackup* AddAssociation(const QString& path, bool folder);
    // Hands the association to the properties dialog and waits for it. False
    // when the program began to exit meanwhile: the command ends at once.
    bool PropertiesHandOff(const QString& sourcePath);
    void TrayAddItems(bool enabled);
    void ClosingSteps(const QString& lastPath);
    void ApplyToAllFiles(const QStringList& files, qsizetype current, std::vector<bool>& skipped);
    int margin(int twips) const;

    ProgramState& m_state;
    std::map<QString, QLabel*> m_panels;
    int m_tracedVisible = -1;
    Prompts m_realPrompts;
    Prompts* m_prompts = &m_realPrompts;
    TreeImages m_images;
    QHash<QString, QTreeWidgetItem*> m_nodes; // by full path
    QHash<QString, QIcon> m_iconsByKind;      // "folder", "drive", "file.<suffix>"
    QVBoxLayout* m_layout = nullptr;
    int m_flashes = 0;
    bool m_loading = false;
    bool m_wideMargins = false;
    QStringList m_disabledMissing; // disabled by the last tree build because their source was missing
    QWidget* m_about = nullptr;
};
