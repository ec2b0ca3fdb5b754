#include "ui/main/frmSavenook.h"

#include "core/Main.h"
#include "core/Stores.h"
#include "platform/FileNames.h"
#include "platform/ProgramFiles.h"
#include "ui/dialogs/FilePropertiesDialog.h"
#include "ui/dialogs/WindowPrefs.h"
#include "ui/main/ButtonPictures.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

const QString frmSavenook::HomePage = QStringLiteral("https://savenook.org/");

namespace {
// 9000 x 5250 twips.
constexpr qint16 kStartWidth = 9000;
constexpr qint16 kStartHeight = 5250;
constexpr QSize kMinimumSize(490, 300);
// "Associatoin" is intended: the program's own spelling.
constexpr char kRemoveTip[] = "Remove Associatoin";

QPixmap logo()
{
    return ButtonPictures::Picture(ButtonPictures::Kind::Logo).pixmap(QSize(32, 32));
}

QFrame* separatorLine(QWidget* parent, const char* name, QPalette::ColorRole role)
{
    auto* line = new QFrame(parent);
    line->setObjectName(QLatin1String(name));
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, palette.color(role));
    line->setPalette(palette);
    return line;
}

qreal dpiX(const QWidget* w)
{
    const QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchX() : 96;
}

qreal dpiY(const QWidget* w)
{
    const QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : 96;
}

QRect workArea(const QWidget* w)
{
    const QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
}
} // namespace

frmSavenook::frmSavenook(ProgramState& state, QWidget* parent) : QMainWindow(parent), m_state(state)
{
    setWindowTitle(QStringLiteral("Savenook"));
    setObjectName(QStringLiteral("frmSavenook"));
    setWindowIcon(QIcon(logo()));

    auto* central = new QWidget(this);
    setCentralWidget(central);
    m_layout = new QVBoxLayout(central);
    m_layout->setSpacing(4);
    m_layout->addWidget(separatorLine(central, "lnUnderMenus", QPalette::Mid));
    m_layout->addWidget(separatorLine(central, "lnUnderMenus2", QPalette::Light));
    m_layout->addSpacing(2);
    buildButtons(central);
    buildTree();
    m_layout->addWidget(treeBackupsLocal, 1);
    buildMenus();
    SetWideMargins(false);

    // Keys and order are the program's own; the last one takes the spare width.
    const struct
    {
        const char* key;
        int stretch;
    } panels[] = {{"Backups", 0}, {"Running", 0}, {"Volume", 0}, {"Scheme", 1}};
    for (const auto& panel : panels) {
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("sbStatusBar_%1").arg(QLatin1String(panel.key)));
        statusBar()->addWidget(label, panel.stretch);
        m_panels[QLatin1String(panel.key)] = label;
    }
    statusBar()->setObjectName(QStringLiteral("sbStatusBar"));
    m_panels.at(QStringLiteral("Running"))->installEventFilter(this);
    m_state.Status = this;

    tmrExit.setInterval(100);
    connect(&tmrExit, &QTimer::timeout, this, &frmSavenook::OnExitTimer);
    for (QTimer* oneShot : {&tmrAssociate, &tmrView}) {
        oneShot->setSingleShot(true);
        oneShot->setInterval(100);
    }
    connect(&tmrAssociate, &QTimer::timeout, this, &frmSavenook::mnuAssociate_Click);
    connect(&tmrView, &QTimer::timeout, this, &frmSavenook::TreeDblClick);
    connect(&tmrFlashMe, &QTimer::timeout, this, &frmSavenook::OnFlashTimer);
    connect(this, &frmSavenook::RunningPanelClicked, this, &frmSavenook::TogglePause);

    installStandIns();
}

frmSavenook::~frmSavenook()
{
    if (m_state.Status == this)
        m_state.Status = nullptr;
}

void frmSavenook::installStandIns()
{
    // Until the properties dialog exists: accept the new association as it is
    // and set up its watching, as the dialog's OK does.
    Later.ShowProperties = [this](const QString& sourcePath) {
        m_state.PropertiesCancelled = false;
        m_state.ApplyToAll = false;
        if (const clsBackup* b = m_state.Backups.Item(sourcePath))
            CreateDetectFolder(b->SourcePath, b->Recursive);
    };
    Later.UnloadProperties = [] {};
    const auto notYet = [this](const QString& what) {
        Ask().Message(this, Prompts::Icon::Information,
                      QStringLiteral("%1 is not available in this version of Savenook.").arg(what));
    };
    Later.ShowOptions = [notYet] { notYet(QStringLiteral("The options window")); };
    Later.ShowRecentActivity = [notYet] { notYet(QStringLiteral("The recent-activity window")); };
    Later.ShowPreviousVersions = [notYet](const QString&) {
        notYet(QStringLiteral("The previous-versions window"));
    };
    Later.LoadScheme = [notYet] {
        notYet(QStringLiteral("Loading schemes"));
        return false;
    };
    Later.SaveScheme = [notYet] { notYet(QStringLiteral("Saving schemes")); };
    Later.PauseProgram = [this] {
        m_state.Paused = true;
        m_state.SetRunningText(QStringLiteral("Paused... "));
    };
    Later.UnpauseProgram = [this] {
        m_state.Paused = false;
        m_state.SetRunningText(QStringLiteral("Waiting... "));
    };
    Later.SynchronizeBackup = [notYet](const QString&) {
        notYet(QStringLiteral("Synchronizing"));
        return false;
    };
    Later.SynchronizeAll = [notYet] {
        notYet(QStringLiteral("Synchronizing"));
        return false;
    };
    Later.SetTrayEditing = [](bool) {};
    Later.SetTrayAddItemsEnabled = [](bool) {};
}

void frmSavenook::SetPrompts(Prompts* prompts)
{
    m_prompts = prompts ? prompts : &m_realPrompts;
}

void frmSavenook::buildButtons(QWidget* top)
{
    auto* row = new QHBoxLayout;
    row->setSpacing(2);
    const auto button = [&](QToolButton*& target, const char* name, const char* caption, const char* tip,
                            const QIcon& icon, const std::function<void()>& run) {
        target = new QToolButton(top);
        target->setObjectName(QLatin1String(name));
        target->setText(QLatin1String(caption));
        target->setToolTip(QLatin1String(tip));
        target->setIcon(icon);
        target->setIconSize(QSize(24, 24));
        target->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        target->setAutoRaise(true);
        target->setMinimumWidth(64);
        connect(target, &QToolButton::clicked, this, run);
        row->addWidget(target);
    };
    button(cmdAddFile, "cmdAddFile", "Add File", "Back up File(s)",
           ButtonPictures::Picture(ButtonPictures::Kind::AddFile), [this] { MenuAddFile(); });
    button(cmdAddFolder, "cmdAddFolder", "Add Folder", "Back Up a Folder",
           ButtonPictures::Picture(ButtonPictures::Kind::AddFolder), [this] { MenuAddFolder(); });
    button(cmdRemove, "cmdRemove", "Remove", kRemoveTip,
           ButtonPictures::Picture(ButtonPictures::Kind::Remove), [this] { mnuRemove_Click(); });
    row->addSpacing(8);
    button(cmdOptions, "cmdOptions", "Options", "Change Options",
           ButtonPictures::Picture(ButtonPictures::Kind::Options), [this] { Later.ShowOptions(); });
    button(cmdHelp, "cmdHelp", "Manual", "Open the Manual",
           ButtonPictures::Picture(ButtonPictures::Kind::Manual), [this] { OpenManual(); });
    button(cmdVisit, "cmdVisit", "Visit Tolm", "Visit Savenook on the Web",
           ButtonPictures::Picture(ButtonPictures::Kind::Web),
           [] { QDesktopServices::openUrl(QUrl(HomePage)); });
    row->addStretch(1);

    Image1 = new QLabel(top);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(logo());
    Image1->setToolTip(QStringLiteral("Savenook v") + VersionText());
    Image1->installEventFilter(this);
    row->addWidget(Image1);
    m_layout->addLayout(row);
}

void frmSavenook::buildMenus()
{
    const auto item = [this](QMenu* menu, QAction*& target, const char* name, const char* caption,
                             const std::function<void()>& run) {
        target = menu->addAction(QString::fromUtf8(caption));
        target->setObjectName(QLatin1String(name));
        connect(target, &QAction::triggered, this, run);
    };
    const auto menu = [this](QMenu*& target, const char* name, const char* title) {
        target = menuBar()->addMenu(QLatin1String(title));
        target->setObjectName(QLatin1String(name));
        connect(target, &QMenu::aboutToShow, this, &frmSavenook::UpdateMenuStates);
    };

    menu(mnuFile, "mnuFile", "&Window");
    item(mnuFile, mnuOptions, "mnuOptions", "Options", [this] { Later.ShowOptions(); });
    item(mnuFile, mnuLog, "mnuLog", "Recent Activity", [this] { Later.ShowRecentActivity(); });
    mnuFile->addSeparator();
    item(mnuFile, mnuShowHide, "mnuShowHide", "Hide Window", [this] {
        if (isMinimized())
            showNormal();
        else
            setWindowState(windowState() | Qt::WindowMinimized);
    });
    item(mnuFile, mnuExit, "mnuExit", "Stop and Exit", [this] { ExitSequence(true); });
    mnuFile->addSeparator();
    item(mnuFile, mnuAbout, "mnuAbout", "About Savenook", [this] { ShowAbout(); });

    menu(mnuBackups, "mnuBackups", "&Backup");
    item(mnuBackups, mnuLoad, "mnuLoad", "Load Scheme", [this] { LoadSchemeCommand(); });
    item(mnuBackups, mnuSave, "mnuSave", "Save Scheme", [this] {
        Later.SetTrayEditing(true);
        Later.SaveScheme();
        Later.SetTrayEditing(false);
    });
    mnuBackups->addSeparator();
    item(mnuBackups, mnuAddFiles, "mnuAddFiles", "Add File(s)", [this] { MenuAddFile(); });
    item(mnuBackups, mnuAddFolder, "mnuAddFolder", "Add Folder", [this] { MenuAddFolder(); });
    mnuBackups->addSeparator();
    item(mnuBackups, mnuEdit, "mnuEdit", "View / Edit", [this] { TreeDblClick(); });
    item(mnuBackups, mnuAssociate, "mnuAssociate", "Associate", [this] { mnuAssociate_Click(); });
    item(mnuBackups, mnuEnabled, "mnuEnabled", "Disable", [this] { mnuEnabled_Click(); });
    item(mnuBackups, mnuRemove, "mnuRemove", "Remove", [this] { mnuRemove_Click(); });
    item(mnuBackups, mnuRemoveAll, "mnuRemoveAll", "Remove All", [this] { mnuRemoveAll_Click(); });
    mnuBackups->addSeparator();
    item(mnuBackups, mnuSync, "mnuSync", "Sync", [this] { SyncOne(); });
    item(mnuBackups, mnuSyncAll, "mnuSyncAll", "Sync All", [this] { SyncAll(); });

    menu(mnuEditMenu, "mnuEditMenu", "&Edit");
    item(mnuEditMenu, mnuCopyPath, "mnuCopyPath", "Copy Pathname", [this] { CopyToClipboard(false); });
    item(mnuEditMenu, mnuCopyVolume, "mnuCopyVolume", "Copy Volumename", [this] { CopyToClipboard(true); });

    menu(mnuSpecial, "mnuSpecial", "&Actions");
    item(mnuSpecial, mnuOpen, "mnuOpen", "Open", [this] { OpenSelected(false); });
    item(mnuSpecial, mnuProperties, "mnuProperties", "Properties", [this] { OpenSelected(true); });
    item(mnuSpecial, mnuVersions, "mnuVersions", "Previous Versions...",
         [this] { Later.ShowPreviousVersions(SourcePathOfNode(SelectedNode())); });
    mnuSpecial->addSeparator();
    item(mnuSpecial, mnuExpandTree, "mnuExpandTree", "Expand Tree", [this] { ExpandAllNodes(); });
    item(mnuSpecial, mnuCollapseTree, "mnuCollapseTree", "Collapse Tree", [this] { CollapseAllNodes(); });
    item(mnuSpecial, mnuRefresh, "mnuRefresh", "Refresh Tree", [this] { mnuRefresh_Click(); });
    mnuSpecial->addSeparator();
    item(mnuSpecial, mnuPaused, "mnuPaused", "Pause Program", [this] { TogglePause(); });

    menu(mnuInfo, "mnuInfo", "&Help");
    item(mnuInfo, mnuWeb, "mnuWeb", "Home Page", [] { QDesktopServices::openUrl(QUrl(HomePage)); });
    item(mnuInfo, mnuHelp, "mnuHelp", "Users\u0060 Manual", [this] { OpenManual(); });

    // The tree's pop-up; never in the menu bar.
    mnuPopup = new QMenu(QStringLiteral("Popup Menu"), this);
    mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    connect(mnuPopup, &QMenu::aboutToShow, this, &frmSavenook::UpdateMenuStates);
    // "Associate" and "View / Edit" run once the menu has closed.
    item(mnuPopup, mnuPopupEdit, "mnuPopupEdit", "View / Edit", [this] { tmrView.start(); });
    item(mnuPopup, mnuSyncPop, "mnuSyncPop", "Sync", [this] { SyncOne(); });
    mnuPopup->addSeparator();
    item(mnuPopup, mnuPopupOpen, "mnuPopupOpen", "Open", [this] { OpenSelected(false); });
    item(mnuPopup, mnuPopupProperties, "mnuPopupProperties", "Properties", [this] { OpenSelected(true); });
    item(mnuPopup, mnuPopupVersions, "mnuPopupVersions", "Previous Versions...",
         [this] { Later.ShowPreviousVersions(SourcePathOfNode(SelectedNode())); });
    mnuPopup->addSeparator();
    item(mnuPopup, mnuPopupCopyPath, "mnuPopupCopyPath", "Copy Path", [this] { CopyToClipboard(false); });
    item(mnuPopup, mnuPopupCopyVolume, "mnuPopupCopyVolume", "Copy Volume",
         [this] { CopyToClipboard(true); });
    mnuPopup->addSeparator();
    item(mnuPopup, mnuPopupAssociate, "mnuPopupAssociate", "Associate", [this] { tmrAssociate.start(); });
    item(mnuPopup, mnuPopupEnabled, "mnuPopupEnabled", "Enable", [this] { mnuEnabled_Click(); });
    item(mnuPopup, mnuPopupRemove, "mnuPopupRemove", "Remove", [this] { mnuRemove_Click(); });
    mnuPopup->setDefaultAction(mnuPopupEdit);
}

void frmSavenook::buildTree()
{
    treeBackupsLocal = new QTreeWidget(centralWidget());
    treeBackupsLocal->setObjectName(QStringLiteral("treeBackupsLocal"));
    treeBackupsLocal->setHeaderHidden(true);
    treeBackupsLocal->setColumnCount(1);
    treeBackupsLocal->setIconSize(QSize(16, 16));
    treeBackupsLocal->setContextMenuPolicy(Qt::CustomContextMenu);
    treeBackupsLocal->setExpandsOnDoubleClick(false);
    treeBackupsLocal->installEventFilter(this);
    connect(treeBackupsLocal, &QTreeWidget::currentItemChanged, this, [this] { TreeClick(); });
    connect(treeBackupsLocal, &QTreeWidget::itemDoubleClicked, this, [this] { TreeDblClick(); });
    connect(treeBackupsLocal, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (QTreeWidgetItem* node = treeBackupsLocal->itemAt(at))
            treeBackupsLocal->setCurrentItem(node);
        if (SelectedNode())
            mnuPopup->popup(treeBackupsLocal->viewport()->mapToGlobal(at));
    });
}

int frmSavenook::margin(int twips) const
{
    return Twips::ToPixels(Twips::Saturate(twips), dpiX(this));
}

void frmSavenook::SetWideMargins(bool wide)
{
    m_wideMargins = wide;
    // The tree is W narrower than the window, half of it on each side; the
    // height margins cover the caption, menu, buttons and status bar, which the layout places.
    const int side = margin(wide ? 225 : 150) / 2;
    m_layout->setContentsMargins(side, 0, side, side);
}

void frmSavenook::Load(const std::function<void(const clsBackup&)>& onLoaded)
{
    m_loading = true;
    setMinimumSize(kMinimumSize);
    resize(Twips::ToPixels(kStartWidth, dpiX(this)), Twips::ToPixels(kStartHeight, dpiY(this)));
    const QRect area = workArea(this);
    move(area.center() - QPoint(width() / 2, height() / 2));

    PlaceIcons();
    SetPanelText(QStringLiteral("Running"), QStringLiteral("Initializing... "));
    SetPanelText(QStringLiteral("Scheme"), QStringLiteral("Recent scheme: <n/a> "));
    SetPanelText(QStringLiteral("Volume"), QStringLiteral("Drive Volume of Selected: <n/a> "));
    LoadBackups(m_state, onLoaded);
    LoadDestinations(m_state);

    UpdateTreeLocal();
    if (!treeBackupsLocal->currentItem() && treeBackupsLocal->topLevelItemCount() > 0)
        treeBackupsLocal->setCurrentItem(treeBackupsLocal->topLevelItem(0));
    TreeClick();
    UpdateAssociationCount(m_state);
    LoadWindowPrefs();
    LoadVisibleNodePrefs();
    setAcceptDrops(true);
    m_loading = false;
    m_flashes = 0;
    tmrFlashMe.start(1);
}

void frmSavenook::OnFlashTimer()
{
    tmrFlashMe.setInterval(200);
    QApplication::alert(this, 150);
    if (++m_flashes >= 6)
        tmrFlashMe.stop();
}

void frmSavenook::LoadWindowPrefs()
{
    const std::optional<WindowPrefs> prefs = WindowPrefs::Load();
    if (!prefs)
        return;
    PropertiesPlacement = prefs->Properties;
    LogPlacement = prefs->Log;
    m_state.RecentScheme = prefs->RecentScheme;
    SetPanelText(QStringLiteral("Scheme"),
                 QStringLiteral("Recent scheme: %1 ")
                     .arg(prefs->RecentScheme.isEmpty() ? QStringLiteral("<n/a>") : prefs->RecentScheme));

    const auto& [top, left, height, width] = prefs->Main;
    const QRect area = workArea(this);
    if (top == 0 && left == 0 && height == 0 && width == 0) {
        move(area.center() - QPoint(this->width() / 2, this->height() / 2));
        return;
    }
    const QRect wanted =
        PlaceOnScreens(QRect(Twips::ToPixels(left, dpiX(this)), Twips::ToPixels(top, dpiY(this)),
                             Twips::ToPixels(width, dpiX(this)), Twips::ToPixels(height, dpiY(this))),
                       area, kMinimumSize);
    resize(wanted.size());
    move(wanted.topLeft());
}

void frmSavenook::CaptureMainPlacement()
{
    if (!isVisible() || isMinimized())
        return;
    const QPoint at = pos();
    MainPlacement = {Twips::FromPixels(at.y(), dpiY(this)), Twips::FromPixels(at.x(), dpiX(this)),
                     Twips::FromPixels(height(), dpiY(this)), Twips::FromPixels(width(), dpiX(this))};
}

void frmSavenook::SaveWindowPrefs()
{
    // A run in which the window was never shown must not overwrite the saved places.
    if (!WasActivated)
        return;
    CaptureMainPlacement();
    WindowPrefs prefs;
    prefs.Main = MainPlacement;
    prefs.Properties = PropertiesPlacement;
    prefs.Log = LogPlacement;
    prefs.RecentScheme = m_state.RecentScheme;
    prefs.Save();
}

void frmSavenook::SetPanelText(const QString& key, const QString& text)
{
    if (const auto it = m_panels.find(key); it != m_panels.end())
        it->second->setText(text);
}

QString frmSavenook::PanelText(const QString& key) const
{
    const auto it = m_panels.find(key);
    return it == m_panels.end() ? QString() : it->second->text();
}

void frmSavenook::ShowNormalAndActivate()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    showNormal();
    raise();
    activateWindow();
}

void frmSavenook::UpdateMenuStates()
{
    const bool any = m_state.Backups.Count() > 0;
    QTreeWidgetItem* node = SelectedNode();
    const bool association = node && IsAssociationNode(node);
    const bool missing = node && IsMissingNode(node);
    const QString path = SelectedPath();
    const bool exists = node && QFileInfo::exists(path) && !missing;
    bool enabled = false;
    if (association)
        if (const clsBackup* b = m_state.Backups.Item(SourcePathOfNode(node)))
            enabled = b->Enabled;

    mnuRemoveAll->setEnabled(any);
    mnuSyncAll->setEnabled(any);
    for (QAction* a : {mnuEdit, mnuSync, mnuEnabled, mnuRemove, mnuPopupEdit, mnuSyncPop, mnuPopupEnabled,
                       mnuPopupRemove, mnuVersions, mnuPopupVersions})
        a->setEnabled(association);
    mnuEnabled->setEnabled(association && !missing);
    mnuPopupEnabled->setEnabled(association && !missing);
    const QString toggle = enabled ? QStringLiteral("Disable") : QStringLiteral("Enable");
    mnuEnabled->setText(toggle);
    mnuPopupEnabled->setText(toggle);
    for (QAction* a : {mnuAssociate, mnuPopupAssociate})
        a->setEnabled(node && !association);
    for (QAction* a : {mnuCopyPath, mnuCopyVolume, mnuPopupCopyPath, mnuPopupCopyVolume})
        a->setEnabled(node != nullptr);
    for (QAction* a : {mnuOpen, mnuProperties, mnuPopupOpen, mnuPopupProperties})
        a->setEnabled(exists);
    mnuShowHide->setText(isMinimized() ? QStringLiteral("Show Window") : QStringLiteral("Hide Window"));
}

void frmSavenook::TogglePause()
{
    if (m_state.Exiting)
        return;
    if (m_state.Paused)
        Later.UnpauseProgram();
    else
        Later.PauseProgram();
}

void frmSavenook::SyncOne()
{
    QTreeWidgetItem* node = SelectedNode();
    if (!node || !IsAssociationNode(node))
        return;
    if (!Later.SynchronizeBackup(SourcePathOfNode(node)))
        return;
    if (!m_state.Exiting)
        Ask().Message(this, Prompts::Icon::Information, QStringLiteral("Synchronization complete!"));
}

void frmSavenook::SyncAll()
{
    const QString selected = SelectedPath();
    QList<QWidget*> held = {treeBackupsLocal, statusBar()};
    for (QMenu* m : {mnuFile, mnuBackups, mnuSpecial, mnuInfo})
        m->menuAction()->setEnabled(false);
    for (QWidget* w : held)
        w->setEnabled(false);
    const bool ran = Later.SynchronizeAll();
    if (m_state.Exiting)
        return;
    if (ran)
        Ask().Message(this, Prompts::Icon::Information, QStringLiteral("Synchronization complete!"));
    for (QMenu* m : {mnuFile, mnuBackups, mnuSpecial, mnuInfo})
        m->menuAction()->setEnabled(true);
    for (QWidget* w : held)
        w->setEnabled(true);
    if (QTreeWidgetItem* node = FindTreeIndexFromFullPath(selected))
        treeBackupsLocal->setCurrentItem(node);
}

void frmSavenook::LoadSchemeCommand()
{
    // Paused before the stores are replaced, not after: a No to stopping a running
    // scan must leave them alone. A scan told to stop holds nothing of the model.
    const bool wasPaused = m_state.Paused;
    if (!wasPaused) {
        Later.PauseProgram();
        if (!m_state.Paused)
            return;
    }
    if (!m_state.StopScanning && !MayChangeAssociations()) {
        if (!wasPaused)
            Later.UnpauseProgram();
        return;
    }
    Later.SetTrayEditing(true);
    const bool loaded = Later.LoadScheme();
    Later.SetTrayEditing(false);
    if (m_state.Exiting)
        return;
    if (loaded) {
        ClearTreeNodes();
        ClearTreeImages();
        m_state.Backups.Clear();
        LoadBackups(m_state, [this](const clsBackup& b) { CreateDetectFolder(b.SourcePath, b.Recursive); });
        LoadDestinations(m_state);
        UpdateAssociationCount(m_state);
        PlaceIcons();
        UpdateTreeLocal();
        ExpandAllNodes();
    }
    if (!wasPaused)
        Later.UnpauseProgram();
    if (treeBackupsLocal->topLevelItemCount() > 0)
        treeBackupsLocal->setCurrentItem(treeBackupsLocal->topLevelItem(0));
}

void frmSavenook::CopyToClipboard(bool volume)
{
    if (!SelectedNode())
        return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    if (!volume) {
        clipboard->setText(SelectedPath());
        return;
    }
    const std::optional<QString> label = Paths().GetPathVolume(SelectedPath()).Label();
    clipboard->setText(label.value_or(QString()));
}

void frmSavenook::OpenSelected(bool properties)
{
    if (!SelectedNode())
        return;
    // Failures are not reported: the desktop shows its own message, if any.
    if (properties)
        ShowFileProperties(SelectedPath(), this);
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(SelectedPath()));
}

QString frmSavenook::VersionText()
{
    const QStringList parts = QStringLiteral(SAVENOOK_VERSION).split(QLatin1Char('.'));
    return QStringLiteral("%1.%2.%3")
        .arg(parts.value(0, QStringLiteral("0")), parts.value(1, QStringLiteral("0")),
             parts.value(2, QStringLiteral("0")));
}

QString frmSavenook::ManualPath()
{
    return ProgramFiles::Locate(QStringLiteral("Manual.html"));
}

void frmSavenook::OpenManual()
{
    const QString manual = ManualPath();
    if (!manual.isEmpty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(manual));
}

void frmSavenook::ShowAbout()
{
    if (m_about) {
        m_about->close();
        return;
    }
    auto* box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("About Savenook"),
                                QStringLiteral("<b>Savenook</b><br>Version %1<br><br>Backs up your files the "
                                               "moment you save them.<br><br><a href=\"%2\">%2</a>")
                                    .arg(VersionText(), HomePage),
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("frmAbout"));
    box->setIconPixmap(logo());
    box->setTextFormat(Qt::RichText);
    box->setTextInteractionFlags(Qt::TextBrowserInteraction);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    m_about = box;
    connect(box, &QObject::destroyed, this, [this] { m_about = nullptr; });
    box->show();
}

bool frmSavenook::ExitSequence(bool askWhileScanning)
{
    // A second request (another signal, the menu during the wait) must not save
    // the paused flag again: by now it reads true.
    if (m_state.Exiting)
        return true;
    Later.UnloadProperties();
    if (askWhileScanning && m_state.Scanning) {
        const auto answer = Ask().Message(
            this, Prompts::Icon::Question,
            QStringLiteral("Savenook is in the process of scanning for updated files\nExit program anyway?"),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        if (answer != QMessageBox::Yes || m_state.Exiting)
            return m_state.Exiting;
    }
    Q_EMIT ExitStarted();
    Main::Trace(QStringLiteral("exit requested"));
    // Saved before Paused is forced on, so the next start resumes as the user left it.
    SavePausedState(m_state);
    m_state.SetRunningText(QStringLiteral("Exiting... "));
    m_state.Paused = true;
    if (mnuPaused)
        mnuPaused->setEnabled(false);
    m_state.Scanning = false;
    m_state.StopScanning = true;
    m_state.Exiting = true;
    tmrExit.start();
    return true;
}

void frmSavenook::OnExitTimer()
{
    if (!m_state.WatchStopped)
        return;
    tmrExit.stop();
    close();
}

void frmSavenook::QueryUnload()
{
    SaveVisibleNodePrefs();
    SaveWindowPrefs();
    SaveBackups(m_state);
    SaveDestinations(m_state);
}

void frmSavenook::closeEvent(QCloseEvent* event)
{
    QueryUnload();
    if (!m_state.Exiting) {
        event->ignore();
        if (CloseMinimises)
            setWindowState(windowState() | Qt::WindowMinimized);
        else
            hide();
        return;
    }
    if (CloseAllNotifications)
        CloseAllNotifications();
    if (RemoveTrayIcon)
        RemoveTrayIcon();
    // Other windows close now; none is deleted here, since a command waiting
    // in a nested loop may still be on the stack until the event loop returns.
    for (QWidget* other : QApplication::topLevelWidgets())
        if (other != this && other->isVisible())
            other->close();
    setAcceptDrops(false);
    event->accept();
    Main::Trace(QStringLiteral("unloaded"));
    Q_EMIT Unloaded();
}

void frmSavenook::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    TraceVisibility(true);
}

void frmSavenook::hideEvent(QHideEvent* event)
{
    QMainWindow::hideEvent(event);
    TraceVisibility(false);
}

void frmSavenook::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        WasActivated = true;
}

void frmSavenook::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    CaptureMainPlacement();
}

void frmSavenook::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    CaptureMainPlacement();
}

void frmSavenook::TraceVisibility(bool visible)
{
    if (m_tracedVisible == int(visible))
        return;
    m_tracedVisible = int(visible);
    Main::Trace(visible ? QStringLiteral("window shown") : QStringLiteral("window hidden"));
}

bool frmSavenook::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease && watched == m_panels.at(QStringLiteral("Running")))
        Q_EMIT RunningPanelClicked();
    if (watched == Image1 &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)) {
        ShowAbout();
        return true;
    }
    if (watched == treeBackupsLocal && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        TreeDeleteKey();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmSavenook::dragEnterEvent(QDragEnterEvent* event)
{
    const QMimeData* data = event->mimeData();
    if (data->hasUrls() && !data->urls().isEmpty() && data->urls().first().isLocalFile())
        event->acceptProposedAction();
}

void frmSavenook::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return;
    event->acceptProposedAction();
    // Only the first item counts; a drop must not hold up the dragging program.
    // The name's own bytes: toLocalFile() turns bytes that are not UTF-8 into
    // U+FFFD, which names another file or none.
    const QUrl& url = urls.first();
    const QString path =
        url.host().isEmpty()
            ? FileNames::Decode(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()))
            : url.toLocalFile();
    QTimer::singleShot(0, this, [this, path] { GotADrop(path); });
}

void frmSavenook::mousePressEvent(QMouseEvent* event)
{
    // A click on the window's bare background does nothing but say so.
    QMainWindow::mousePressEvent(event);
    Ask().Beep();
}
