#pragma once

#include "core/ProgramState.h"
#include "core/colDestinations.h"
#include "engine/NetworkPaths.h"
#include "ui/dialogs/DestinationWriteTest.h"
#include "ui/dialogs/PropertiesHost.h"

#include <QDialog>
#include <QTimer>

class Prompts;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

// The properties of one association (the one whose source path is in
// PropertiesPath): General, Settings and Destinations pages. Edits stay in the
// controls and a private copy of the destinations until OK, Apply, "OK for
// All" or " Sync Now "; a just-added association that is never confirmed is
// removed again when the dialog closes. Shown without being modal: the opener
// waits while PropertiesOpen is set.
class frmProperties : public QDialog
{
    Q_OBJECT
  public:
    frmProperties(ProgramState& state, const Drives& drives, NetworkPaths::ShareList shares,
                  PropertiesHost host, Prompts& prompts, QWidget* parent = nullptr);
    ~frmProperties() override;

    // The write test of the destination list (tests put in one that fails).
    void SetWriteTest(const DestinationWriteTest* test) { m_writeTest = test ? test : &m_realWriteTest; }
    // Called with each volume editor before it is shown (tests answer it there).
    std::function<void(QDialog& editor)> EditorOpened;

    // ---- controls
    QTabWidget* tabProps = nullptr;
    QWidget *fraGeneral = nullptr, *fraSettings = nullptr, *fraDestinations = nullptr;
    QLabel* picIcon = nullptr;
    QLineEdit *txtSource = nullptr, *txtCreated = nullptr, *txtActivity = nullptr, *txtStatus = nullptr;
    QPushButton *cmdOpen = nullptr, *cmdProperties = nullptr, *cmdSync = nullptr;
    QCheckBox *chkEnabled = nullptr, *chkRecursive = nullptr, *chkHidden = nullptr,
              *chkNotifySuccess = nullptr, *chkNotifyError = nullptr, *chkKeepBackup = nullptr;
    QLabel *lblKeep = nullptr, *lblPrevVersions = nullptr, *lblVersionSpace = nullptr;
    QLineEdit* txtVersions = nullptr;
    QToolButton *cmdMoreVersions = nullptr, *cmdLessVersions = nullptr;
    QPushButton* cmdVolume = nullptr;
    QTreeWidget* listDestinations = nullptr;
    QPushButton *cmdAdd = nullptr, *cmdRemove = nullptr;
    QMenu* mnuPopup = nullptr;
    QAction *mnuPopupAdd = nullptr, *mnuPopupRemove = nullptr, *mnuPopupVolume = nullptr,
            *mnuPopupOpen = nullptr, *mnuPopupProperties = nullptr, *mnuCopyPath = nullptr,
            *mnuCopyVolume = nullptr;
    QPushButton *cmdOk = nullptr, *cmdApply = nullptr, *cmdSaveAll = nullptr, *cmdCancel = nullptr;
    QStatusBar* sbStatus = nullptr;

    // ---- commands
    void cmdOk_Click();
    void cmdApply_Click();
    void cmdSaveAll_Click();
    void cmdCancel_Click();
    void cmdSync_Click();
    void cmdOpen_Click();
    void cmdProperties_Click();
    void cmdVolume_Click();
    void chkKeepBackup_Click();
    // Ticking it can turn a destination inside the folder into a loop: say so.
    void chkRecursive_Click();
    // One step of the version buttons (the 125 ms repeat calls it while held).
    void StepVersions(int direction);
    void cmdAdd_Click();
    void cmdRemove_Click();
    void EditDestinationVolume();
    void OpenDestination(bool properties);
    void CopyDestination(bool volume);

    // The private copy of the association's destinations.
    const colDestinations& WorkingDests() const { return gcolWorkingDests; }
    QString Volumes() const { return gstrVolumes; }
    QString SourcePath() const { return m_path; }
    // Closed for good (it may live on until the event loop deletes it).
    bool Unloaded() const { return m_unloaded; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildGeneral();
    void buildSettings();
    void buildDestinations();
    void buildButtons();
    void LoadStatus(clsBackup& association);
    void LoadDestinations();
    void LoadFields(const clsBackup& association);
    void RestorePropertiesPlacement();
    void SavePropertiesPlacement();
    void MoveForMultiAdd();
    // The OK action: controls and working copy into the model. False when the
    // association is gone (removed meanwhile).
    bool SaveSettings();
    bool SaveStores();
    // The unload steps; false when Apply cancels the unload.
    bool Unload();
    void SetYellowStatus(const QString& text);
    void AddRow(const clsDestination& destination);
    QTreeWidgetItem* SelectedRow() const;
    void UpdateRemoveButton();
    void ShowPopup(const QPoint& at);
    void ShowEditor(QDialog& editor);
    QIcon Picture(const QString& key) const;
    int VersionValue() const;
    void call(const std::function<void()>& f) const
    {
        if (f)
            f();
    }

    ProgramState& m_state;
    const Drives& m_drives;
    NetworkPaths m_paths;
    PropertiesHost m_host;
    Prompts& m_prompts;
    // PropertiesPath as it was when the dialog opened: the opener of another
    // dialog may change the program-wide text while this one is still open.
    const QString m_path;
    DestinationWriteTest m_realWriteTest;
    const DestinationWriteTest* m_writeTest = &m_realWriteTest;

    colDestinations gcolWorkingDests;
    QString gstrVolumes;
    bool mblnClickedOk = false;
    bool ApplyPending = false;
    bool m_unloaded = false;
    bool m_multiAdd = false;
    bool m_rightClickPending = false;
    int m_versionDirection = 0;
    QTimer tmrVersions;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};
