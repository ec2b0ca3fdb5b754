// The properties dialog: its pages, the version controls, OK / Apply / "OK
// for All" / Close and the load and unload steps. The Destinations page's
// commands are in frmPropertiesDestinations.cpp.
#include "ui/dialogs/frmProperties.h"

#include "core/DateText.h"
#include "core/Stores.h"
#include "platform/FilePath.h"
#include "ui/dialogs/DestinationLoop.h"
#include "ui/dialogs/FilePropertiesDialog.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/WindowPrefs.h"
#include "ui/dialogs/frmEditVolumes.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {
constexpr int kMaxVersions = 9999;
const QSize kMinimumSize(560, 380);

QRect workArea(const QWidget* w)
{
    const QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return screen->availableGeometry();
}
qreal dpiX(const QWidget* w)
{
    return w->screen() ? w->screen()->logicalDotsPerInchX() : 96;
}
qreal dpiY(const QWidget* w)
{
    return w->screen() ? w->screen()->logicalDotsPerInchY() : 96;
}
} // namespace

frmProperties::frmProperties(ProgramState& state, const Drives& drives, NetworkPaths::ShareList shares,
                             PropertiesHost host, Prompts& prompts, QWidget* parent)
    : QDialog(parent), m_state(state), m_drives(drives),
      m_paths(drives, std::move(shares), state.ComputerName), m_host(std::move(host)), m_prompts(prompts),
      m_path(state.PropertiesPath)
{
    setObjectName(QStringLiteral("frmProperties"));
    setAttribute(Qt::WA_DeleteOnClose);
    setSizeGripEnabled(false);
    tmrVersions.setInterval(125);
    connect(&tmrVersions, &QTimer::timeout, this, [this] { StepVersions(m_versionDirection); });

    auto* layout = new QVBoxLayout(this);
    tabProps = new QTabWidget(this);
    tabProps->setObjectName(QStringLiteral("tabProps"));
    layout->addWidget(tabProps, 1);
    buildGeneral();
    buildSettings();
    buildDestinations();
    buildButtons();
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(cmdCancel);
    row->addWidget(cmdApply);
    row->addWidget(cmdSaveAll);
    row->addWidget(cmdOk);
    layout->addLayout(row);
    sbStatus = new QStatusBar(this);
    sbStatus->setObjectName(QStringLiteral("sbStatus"));
    layout->addWidget(sbStatus);
    layout->setContentsMargins(8, 8, 8, 0);

    // While the dialog loads, nothing may add or remove associations under it.
    if (m_host.SetAddingEnabled)
        m_host.SetAddingEnabled(false);
    setMinimumSize(kMinimumSize);
    m_state.PropertiesOpen = true;

    m_state.PropertiesCancelled = false;
    m_multiAdd = m_state.MultiAdd;
    if (m_multiAdd) {
        cmdSaveAll->setEnabled(true);
        cmdCancel->setText(QStringLiteral("Skip"));
        cmdOk->setDefault(false);
        cmdSaveAll->setDefault(true);
        m_state.MultiAdd = false;
    } else {
        cmdSaveAll->setEnabled(false);
    }
    // A disabled "OK for All" is covered by Apply: it takes no room in the row.
    cmdSaveAll->setVisible(cmdSaveAll->isEnabled());

    const QString path = m_path;
    QString shown = FilePath::StripTrailingBackslash(path);
    shown = shown == QLatin1String("/") ? shown : shown.mid(shown.lastIndexOf(QLatin1Char('/')) + 1);
    setWindowTitle(shown + QStringLiteral("<< Savenook"));

    if (clsBackup* association = m_state.Backups.Item(path)) {
        LoadStatus(*association);
        LoadDestinations();
        LoadFields(*association);
    }
    RestorePropertiesPlacement();
    if (m_multiAdd)
        MoveForMultiAdd();
    cmdRemove->setEnabled(false);
    tabProps->setCurrentWidget(fraGeneral);
}

frmProperties::~frmProperties()
{
    // Destroyed without closing (the program ending): the opener must not wait on.
    if (!m_unloaded)
        m_state.PropertiesOpen = false;
}

// ---------------------------------------------------------------- pages

void frmProperties::buildGeneral()
{
    fraGeneral = new QWidget;
    fraGeneral->setObjectName(QStringLiteral("fraGeneral"));
    tabProps->addTab(fraGeneral, QStringLiteral("General"));
    const auto field = [this](QLineEdit*& edit, const char* name) {
        edit = new QLineEdit(fraGeneral);
        edit->setObjectName(QLatin1String(name));
        edit->setReadOnly(true);
    };
    // Read-only: the source path is the association's key and its destinations'
    // link; a different source is a new association.
    field(txtSource, "txtSource");
    field(txtCreated, "txtCreated");
    field(txtActivity, "txtActivity");
    field(txtStatus, "txtStatus");
    picIcon = new QLabel(fraGeneral);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setFixedSize(32, 32);
    picIcon->setAlignment(Qt::AlignCenter);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Source path:"), txtSource);
    form->addRow(QStringLiteral("Started:"), txtCreated);
    form->addRow(QStringLiteral("Last Activity:"), txtActivity);
    form->addRow(QStringLiteral("Status:"), txtStatus);
    const auto button = [this](QPushButton*& b, const char* name, const QString& caption) {
        b = new QPushButton(caption, fraGeneral);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
    };
    button(cmdOpen, "cmdOpen", QStringLiteral("&Open"));
    button(cmdProperties, "cmdProperties", QStringLiteral("&Properties"));
    button(cmdSync, "cmdSync", QStringLiteral(" Sync Now "));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdOpen);
    buttons->addWidget(cmdProperties);
    buttons->addStretch();
    buttons->addWidget(cmdSync);

    auto* top = new QHBoxLayout;
    top->addWidget(picIcon, 0, Qt::AlignTop);
    top->addLayout(form, 1);
    auto* page = new QVBoxLayout(fraGeneral);
    page->addLayout(top);
    page->addStretch();
    page->addLayout(buttons);

    connect(cmdOpen, &QPushButton::clicked, this, &frmProperties::cmdOpen_Click);
    connect(cmdProperties, &QPushButton::clicked, this, &frmProperties::cmdProperties_Click);
    connect(cmdSync, &QPushButton::clicked, this, &frmProperties::cmdSync_Click);
}

void frmProperties::buildSettings()
{
    fraSettings = new QWidget;
    fraSettings->setObjectName(QStringLiteral("fraSettings"));
    fraSettings->installEventFilter(this);
    tabProps->addTab(fraSettings, QStringLiteral("Settings"));
    const auto check = [this](QCheckBox*& box, const char* name, const QString& caption) {
        box = new QCheckBox(caption, fraSettings);
        box->setObjectName(QLatin1String(name));
    };
    check(chkEnabled, "chkEnabled", QStringLiteral("Enabled"));
    check(chkRecursive, "chkRecursive", QStringLiteral("Recurse subfolders"));
    check(chkHidden, "chkHidden", QStringLiteral("Copy hidden files"));
    check(chkNotifySuccess, "chkNotifySuccess", QStringLiteral("Notify on success"));
    check(chkNotifyError, "chkNotifyError", QStringLiteral("Notify on error"));
    check(chkKeepBackup, "chkKeepBackup", QString());
    lblKeep = new QLabel(QStringLiteral(" Keep"), fraSettings);
    lblKeep->setObjectName(QStringLiteral("lblKeep"));
    lblPrevVersions = new QLabel(QStringLiteral("previous versions of each file"), fraSettings);
    lblPrevVersions->setObjectName(QStringLiteral("lblPrevVersions"));
    for (QLabel* label : {lblKeep, lblPrevVersions})
        label->installEventFilter(this);
    txtVersions = new QLineEdit(fraSettings);
    txtVersions->setObjectName(QStringLiteral("txtVersions"));
    txtVersions->setMaxLength(5);
    txtVersions->setFixedWidth(txtVersions->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 12);
    txtVersions->setAlignment(Qt::AlignRight);
    txtVersions->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), txtVersions));
    txtVersions->installEventFilter(this);
    const auto arrow = [this](QToolButton*& b, const char* name, Qt::ArrowType type) {
        b = new QToolButton(fraSettings);
        b->setObjectName(QLatin1String(name));
        b->setArrowType(type);
        b->setFixedSize(20, 12);
    };
    arrow(cmdMoreVersions, "cmdMoreVersions", Qt::UpArrow);
    arrow(cmdLessVersions, "cmdLessVersions", Qt::DownArrow);
    cmdVolume = new QPushButton(QStringLiteral("Edit Source &Volumes"), fraSettings);
    cmdVolume->setObjectName(QStringLiteral("cmdVolume"));
    cmdVolume->setAutoDefault(false);

    auto* spin = new QVBoxLayout;
    spin->setSpacing(0);
    spin->addWidget(cmdMoreVersions);
    spin->addWidget(cmdLessVersions);
    auto* keep = new QHBoxLayout;
    keep->setSpacing(2);
    keep->addWidget(chkKeepBackup);
    keep->addWidget(lblKeep);
    keep->addSpacing(4);
    keep->addWidget(txtVersions);
    keep->addLayout(spin);
    keep->addSpacing(4);
    keep->addWidget(lblPrevVersions);
    keep->addStretch();
    auto* page = new QVBoxLayout(fraSettings);
    for (QCheckBox* box : {chkEnabled, chkRecursive, chkHidden, chkNotifySuccess, chkNotifyError})
        page->addWidget(box);
    page->addSpacing(8);
    page->addLayout(keep);
    lblVersionSpace = new QLabel(fraSettings);
    lblVersionSpace->setObjectName(QStringLiteral("lblVersionSpace"));
    lblVersionSpace->setWordWrap(true);
    page->addWidget(lblVersionSpace);
    page->addStretch();
    auto* volumeRow = new QHBoxLayout;
    volumeRow->addWidget(cmdVolume);
    volumeRow->addStretch();
    page->addLayout(volumeRow);

    connect(chkKeepBackup, &QCheckBox::clicked, this, &frmProperties::chkKeepBackup_Click);
    connect(chkRecursive, &QCheckBox::clicked, this, &frmProperties::chkRecursive_Click);
    connect(txtVersions, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!text.isEmpty() && VersionValue() == 0) {
            chkKeepBackup->setChecked(false);
            chkKeepBackup_Click();
            txtVersions->setText(QStringLiteral("1"));
        }
    });
    for (auto [button, direction] : {std::pair{cmdMoreVersions, 1}, std::pair{cmdLessVersions, -1}}) {
        // pressed and released come from the left button only.
        connect(button, &QToolButton::pressed, this, [this, direction] {
            m_versionDirection = direction;
            StepVersions(direction);
            tmrVersions.start();
        });
        connect(button, &QToolButton::released, &tmrVersions, &QTimer::stop);
    }
    connect(cmdVolume, &QPushButton::clicked, this, &frmProperties::cmdVolume_Click);
}

void frmProperties::buildButtons()
{
    const auto button = [this](QPushButton*& b, const char* name, const QString& caption) {
        b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
    };
    button(cmdOk, "cmdOk", QStringLiteral("OK"));
    button(cmdApply, "cmdApply", QStringLiteral("Appl&y"));
    button(cmdSaveAll, "cmdSaveAll", QStringLiteral("OK for All"));
    button(cmdCancel, "cmdCancel", QStringLiteral("&Close"));
    cmdOk->setDefault(true);
    connect(cmdOk, &QPushButton::clicked, this, &frmProperties::cmdOk_Click);
    connect(cmdApply, &QPushButton::clicked, this, &frmProperties::cmdApply_Click);
    connect(cmdSaveAll, &QPushButton::clicked, this, &frmProperties::cmdSaveAll_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmProperties::cmdCancel_Click);
}

QIcon frmProperties::Picture(const QString& key) const
{
    if (m_host.TreeIcon) {
        const QIcon icon = m_host.TreeIcon(key);
        if (!icon.isNull())
            return icon;
    }
    QStyle::StandardPixmap fallback = QStyle::SP_FileIcon;
    if (key.endsWith(QLatin1String("Yellow")))
        fallback = QStyle::SP_MessageBoxWarning;
    else if (key == QLatin1String("*Drive"))
        fallback = QStyle::SP_DriveHDIcon;
    else if (key == QLatin1String("*FolderShared"))
        fallback = QStyle::SP_DriveNetIcon;
    else if (key == QLatin1String("*Folder"))
        fallback = QStyle::SP_DirIcon;
    return style()->standardIcon(fallback);
}

// ---------------------------------------------------------------- load

void frmProperties::SetYellowStatus(const QString& text)
{
    txtStatus->setText(text);
    // Yellow text needs a dark ground to be read at all.
    txtStatus->setStyleSheet(
        QStringLiteral("QLineEdit { color: rgb(255, 255, 0); background: rgb(64, 64, 64); }"));
}

void frmProperties::LoadStatus(clsBackup& association)
{
    const QString path = m_path;
    const QFileInfo source(path);
    QString picture;
    if (!source.exists()) {
        picture = association.Folder ? QStringLiteral("*FolderYellow") : QStringLiteral("*FileYellow");
        SetYellowStatus(association.Folder ? QStringLiteral("Folder no longer exists")
                                           : QStringLiteral("File no longer exists"));
        if (association.Enabled) {
            association.Enabled = false;
            if (m_host.RefreshTree)
                m_host.RefreshTree(path);
        }
    } else {
        const std::optional<MountEntry> mount = m_drives.MountOf(path);
        const bool drive = path.endsWith(QLatin1Char('/')) || (mount && mount->MountPoint == path);
        picture = drive            ? QStringLiteral("*Drive")
                  : source.isDir() ? QStringLiteral("*Folder")
                                   : QStringLiteral("*File");
        txtStatus->setText(source.isDir() ? QStringLiteral("Folder exists") : QStringLiteral("File exists"));
    }
    const NetworkPaths::PathVolume volume = m_paths.GetPathVolume(path);
    if (!volume.IsReady()) {
        SetYellowStatus(volume.State() == NetworkPaths::PathVolume::Outcome::NoDrive
                            ? NetworkPaths::DriveGoneMessage
                            : QStringLiteral("Drive is not ready!"));
        picture = QStringLiteral("*DriveYellow");
    }
    const QIcon icon = Picture(picture);
    setWindowIcon(icon);
    picIcon->setPixmap(icon.pixmap(32));
}

void frmProperties::LoadFields(const clsBackup& association)
{
    chkRecursive->setEnabled(association.Folder);
    chkRecursive->setChecked(association.Recursive);
    txtSource->setText(association.SourcePath);
    gstrVolumes = association.Volume;
    txtCreated->setText(association.DateCreated);
    txtActivity->setText(association.DateLastActivity);
    chkEnabled->setChecked(association.Enabled);
    chkHidden->setChecked(association.CopyHidden);
    chkNotifySuccess->setChecked(association.NotifyOnSuccess);
    chkNotifyError->setChecked(association.NotifyOnError);
    chkKeepBackup->setChecked(association.KeepBackup);
    txtVersions->setText(QString::number(association.Versions));
    chkKeepBackup_Click();
    lblVersionSpace->setText(m_host.VersionSpace ? m_host.VersionSpace(association.SourcePath) : QString());
    lblVersionSpace->setVisible(!lblVersionSpace->text().isEmpty());
}

void frmProperties::RestorePropertiesPlacement()
{
    const std::array<qint16, 5> saved = m_host.Placement ? *m_host.Placement : std::array<qint16, 5>{};
    const auto [top, left, height, width, column] = saved;
    const QRect area = workArea(this);
    const auto px = [this](qint16 twips) { return Twips::ToPixels(twips, dpiX(this)); };
    const auto py = [this](qint16 twips) { return Twips::ToPixels(twips, dpiY(this)); };
    if (top == 0 && left == 0 && height == 0 && width == 0) {
        const QSize size = QSize(px(9330), py(6000)).expandedTo(kMinimumSize);
        resize(size);
        move(area.center() - QPoint(size.width() / 2, size.height() / 2));
        // The page's margins stand between the dialog's edge and the list's.
        listDestinations->setColumnWidth(
            0,
            std::max(100, size.width() - px(2000) - 4 * style()->pixelMetric(QStyle::PM_LayoutLeftMargin)));
        return;
    }
    const int y = area.height() <= py(top) ? area.top() : py(top);
    const int x = area.width() <= px(left) ? area.left() : px(left);
    const int w = area.width() < this->width() ? area.width() : px(width);
    const int h = area.height() < this->height() ? area.height() : py(height);
    resize(QSize(w, h).expandedTo(kMinimumSize));
    move(x, y);
    listDestinations->setColumnWidth(0, px(column < 401 ? qint16(1000) : column));
}

void frmProperties::MoveForMultiAdd()
{
    if (!m_host.MultiAddShift)
        return;
    const QRect area = workArea(this);
    const int stepX = Twips::ToPixels(300, dpiX(this)), stepY = Twips::ToPixels(300, dpiY(this));
    QPoint at = pos();
    if (!*m_host.MultiAddShift) {
        if (at.x() >= 2 * stepX)
            at.rx() -= stepX;
        if (at.y() >= 2 * stepY)
            at.ry() -= stepY;
    } else {
        if (at.x() <= area.width() - Twips::ToPixels(400, dpiX(this)))
            at.rx() += stepX;
        if (at.y() <= area.height() - Twips::ToPixels(400, dpiY(this)))
            at.ry() += stepY;
    }
    move(at);
    *m_host.MultiAddShift = !*m_host.MultiAddShift;
}

void frmProperties::SavePropertiesPlacement()
{
    if (!m_host.Placement)
        return;
    *m_host.Placement = {Twips::FromPixels(y(), dpiY(this)), Twips::FromPixels(x(), dpiX(this)),
                         Twips::FromPixels(height(), dpiY(this)), Twips::FromPixels(width(), dpiX(this)),
                         Twips::FromPixels(listDestinations->columnWidth(0), dpiX(this))};
}

// ---------------------------------------------------------------- settings page

int frmProperties::VersionValue() const
{
    return txtVersions->text().toInt();
}

void frmProperties::chkKeepBackup_Click()
{
    const bool keep = chkKeepBackup->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{txtVersions, cmdMoreVersions, cmdLessVersions})
        w->setEnabled(keep);
    if (!keep)
        tmrVersions.stop();
}

void frmProperties::chkRecursive_Click()
{
    const clsBackup* association = m_state.Backups.Item(m_path);
    if (!association || !chkRecursive->isChecked())
        return;
    clsBackup asShown = *association;
    asShown.Recursive = true;
    QStringList reasons;
    for (const clsDestination& d : gcolWorkingDests)
        if (const QString reason = DestinationLoop::Reason(asShown, d.Path, m_drives); !reason.isEmpty())
            reasons << reason;
    if (!reasons.isEmpty())
        m_prompts.Message(this, Prompts::Icon::Exclamation,
                          reasons.join(QStringLiteral("\n\n")) +
                              QStringLiteral("\n\nRemove that destination, or leave sub-folders out."));
}

void frmProperties::StepVersions(int direction)
{
    const int value = VersionValue();
    if (direction > 0 && value < kMaxVersions)
        txtVersions->setText(QString::number(value + 1));
    else if (direction > 0 && value > kMaxVersions)
        txtVersions->setText(QString::number(kMaxVersions));
    else if (direction < 0 && value > 1)
        txtVersions->setText(QString::number(value - 1));
}

bool frmProperties::eventFilter(QObject* watched, QEvent* event)
{
    if (!listDestinations) // still being built
        return QDialog::eventFilter(watched, event);
    const QEvent::Type type = event->type();
    const bool press = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick;
    const bool left = press && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    if ((watched == lblKeep || watched == lblPrevVersions) && left) {
        chkKeepBackup->toggle();
        chkKeepBackup_Click();
        return true;
    }
    // A disabled text box passes its presses to the page: pressing it starts keeping versions.
    const bool onVersions =
        (watched == txtVersions && press) ||
        (watched == fraSettings && press &&
         txtVersions->geometry().contains(static_cast<QMouseEvent*>(event)->position().toPoint()));
    if (onVersions) {
        chkKeepBackup->setChecked(true);
        chkKeepBackup_Click();
        if (watched == fraSettings)
            txtVersions->setFocus(Qt::MouseFocusReason);
        return false;
    }
    if (watched == txtVersions && type == QEvent::FocusOut && VersionValue() == 0) {
        chkKeepBackup->setChecked(false);
        chkKeepBackup_Click();
        txtVersions->setText(QStringLiteral("1"));
    }
    if (watched == listDestinations->viewport()) {
        if (press) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            QTreeWidgetItem* row = listDestinations->itemAt(mouse->position().toPoint());
            if (!row) {
                listDestinations->clearSelection();
                listDestinations->setCurrentItem(nullptr);
            }
            if (mouse->button() == Qt::RightButton) {
                if (row)
                    listDestinations->setCurrentItem(row);
                m_rightClickPending = true;
                return true;
            }
            if (!row)
                return true;
        } else if (type == QEvent::MouseButtonRelease) {
            UpdateRemoveButton();
            if (m_rightClickPending) {
                m_rightClickPending = false;
                ShowPopup(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------- saving

bool frmProperties::SaveSettings()
{
    mblnClickedOk = true;
    const QString path = m_path;
    clsBackup* b = m_state.Backups.Item(path);
    if (!b)
        return false;
    b->Volume = gstrVolumes;
    b->KeepBackup = chkKeepBackup->isChecked();
    if (VersionValue() > kMaxVersions)
        txtVersions->setText(QString::number(kMaxVersions));
    if (VersionValue() < 1)
        txtVersions->setText(QStringLiteral("1"));
    b->Versions = qint16(std::max(1, VersionValue()));
    b->Recursive = chkRecursive->isChecked();
    b->Enabled = chkEnabled->isChecked();
    b->CopyHidden = chkHidden->isChecked();
    b->NotifyOnSuccess = chkNotifySuccess->isChecked();
    b->NotifyOnError = chkNotifyError->isChecked();
    b->DateLastModified = DateText::Now();

    // Exact comparison: on Linux another association may differ from this one by case only.
    const QString source = b->SourcePath;
    QStringList before;
    for (int position = m_state.Destinations.Count(); position >= 1; --position)
        if (m_state.Destinations.Item(position)->Source == source) {
            before.append(m_state.Destinations.Item(position)->Path);
            m_state.Destinations.Remove(position);
        }
    QStringList chosen;
    for (const clsDestination& d : gcolWorkingDests) {
        m_state.Destinations.Add(d.Path, path, d.Volume);
        if (!before.contains(d.Path))
            chosen.append(d.Path);
    }
    if (!chosen.isEmpty() && m_host.DestinationsChosen)
        m_host.DestinationsChosen(chosen);
    return true;
}

bool frmProperties::SaveStores()
{
    // A store that cannot be written tells the user itself, once.
    const bool backups = SaveBackups(m_state);
    const bool destinations = SaveDestinations(m_state);
    return backups && destinations;
}

void frmProperties::cmdOk_Click()
{
    if (SaveSettings())
        SaveStores();
    if (!ApplyPending && m_host.BringMainToTop)
        m_host.BringMainToTop();
    close();
}

void frmProperties::cmdApply_Click()
{
    ApplyPending = true;
    cmdOk_Click();
    // Closing was refused by the unload; make sure no later close mistakes itself for Apply.
    ApplyPending = false;
}

void frmProperties::cmdSaveAll_Click()
{
    if (SaveSettings() && SaveStores())
        m_state.ApplyToAll = true;
    if (m_host.BringMainToTop)
        m_host.BringMainToTop();
    close();
}

void frmProperties::cmdCancel_Click()
{
    m_state.PropertiesCancelled = true;
    close();
}

void frmProperties::reject()
{
    cmdCancel_Click();
}

void frmProperties::cmdSync_Click()
{
    cmdApply_Click();
    const QString path = m_path;
    if (!m_host.SynchronizeBackup || !m_host.SynchronizeBackup(path)) {
        m_prompts.Message(this, Prompts::Icon::Information,
                          QStringLiteral("Synchronizing is not available in this version of Savenook."));
        return;
    }
    if (!m_state.Exiting)
        m_prompts.Message(
            this, Prompts::Icon::Information,
            QStringLiteral("Synchronization complete!\nSee Recent Activity in Window menu log for "
                           "more details"));
}

void frmProperties::cmdOpen_Click()
{
    const QString path = txtSource->text();
    if (!QFileInfo::exists(path)) {
        m_prompts.Message(this, Prompts::Icon::Information,
                          QStringLiteral("This file or folder no longer exists"));
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void frmProperties::cmdProperties_Click()
{
    const QString path = txtSource->text();
    if (!QFileInfo::exists(path)) {
        m_prompts.Message(this, Prompts::Icon::Information,
                          QStringLiteral("This file or folder no longer exists"));
        return;
    }
    ShowFileProperties(path, this);
}

void frmProperties::ShowEditor(QDialog& editor)
{
    if (m_host.SetTrayEditing)
        m_host.SetTrayEditing(true);
    if (EditorOpened)
        EditorOpened(editor);
    else
        editor.exec();
    // Still editing: this dialog stays open.
    if (m_host.SetTrayEditing)
        m_host.SetTrayEditing(true);
}

void frmProperties::cmdVolume_Click()
{
    frmEditVolumes editor(gstrVolumes, m_path, m_paths, m_prompts, this);
    ShowEditor(editor);
    if (editor.result() == QDialog::Accepted)
        gstrVolumes = editor.Volumes();
}

// ---------------------------------------------------------------- unloading

bool frmProperties::Unload()
{
    if (m_unloaded)
        return true;
    if (!mblnClickedOk)
        m_state.PropertiesCancelled = true;
    const QString path = m_path;
    if (!m_state.PropertiesCancelled && m_host.WatchSourceFolder)
        if (const clsBackup* b = m_state.Backups.Item(path))
            m_host.WatchSourceFolder(path, b->Recursive);
    // A just-added association that was never confirmed goes again.
    for (int position = m_state.Backups.Count(); position >= 1; --position) {
        const clsBackup* b = m_state.Backups.Item(position);
        if (b->SourcePath == path && b->DateLastModified == DateText::Never)
            m_state.Backups.Remove(position);
    }
    if (m_host.RefreshTree)
        m_host.RefreshTree(path);
    if (ApplyPending) {
        ApplyPending = false;
        return false;
    }
    tmrVersions.stop();
    if (m_host.SetTrayEditing)
        m_host.SetTrayEditing(false);
    m_state.PropertiesOpen = false;
    if (m_host.SetAddingEnabled)
        m_host.SetAddingEnabled(true);
    m_unloaded = true;
    return true;
}

void frmProperties::closeEvent(QCloseEvent* event)
{
    SavePropertiesPlacement();
    if (!Unload()) {
        event->ignore();
        return;
    }
    event->accept();
}
