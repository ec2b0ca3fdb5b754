// The Destinations page of the properties dialog: the list of the working
// copy of the association's destinations and its commands.
#include "ui/dialogs/frmProperties.h"

#include "ui/dialogs/DestinationLoop.h"
#include "ui/dialogs/FilePropertiesDialog.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/UnstorableName.h"
#include "ui/dialogs/frmEditDestVolume.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {
const QString kDuplicate =
    QStringLiteral("A destination with this path and volume name is already assigned to this "
                   "association. Edit the volume name and try again.");
const QString kNotWritable = QStringLiteral(
    "Savenook has determined an inability to save to the selected folder from this machine. If it is "
    "a network folder, it needs to be shared with full access in order for successful automatic "
    "backups to be made to it.");
} // namespace

void frmProperties::buildDestinations()
{
    fraDestinations = new QWidget;
    fraDestinations->setObjectName(QStringLiteral("fraDestinations"));
    tabProps->addTab(fraDestinations, QStringLiteral("Destinations"));

    listDestinations = new QTreeWidget(fraDestinations);
    listDestinations->setObjectName(QStringLiteral("listDestinations"));
    listDestinations->setColumnCount(2);
    listDestinations->setHeaderLabels({QStringLiteral("Folder"), QStringLiteral("Volume")});
    listDestinations->setRootIsDecorated(false);
    listDestinations->setUniformRowHeights(true);
    listDestinations->setSelectionMode(QAbstractItemView::SingleSelection);
    listDestinations->setAllColumnsShowFocus(true);
    // The menu opens when the right button is released, after the row under it is selected.
    listDestinations->setContextMenuPolicy(Qt::PreventContextMenu);
    listDestinations->viewport()->installEventFilter(this);
    listDestinations->header()->setSectionsClickable(true);
    listDestinations->header()->setStretchLastSection(true);
    connect(listDestinations->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        m_sortOrder = column == m_sortColumn && m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                                  : Qt::AscendingOrder;
        m_sortColumn = column;
        listDestinations->header()->setSortIndicatorShown(true);
        listDestinations->sortItems(m_sortColumn, m_sortOrder);
    });
    connect(listDestinations, &QTreeWidget::itemSelectionChanged, this, &frmProperties::UpdateRemoveButton);

    cmdAdd = new QPushButton(QStringLiteral("&Add..."), fraDestinations);
    cmdAdd->setObjectName(QStringLiteral("cmdAdd"));
    cmdRemove = new QPushButton(QStringLiteral("&Remove"), fraDestinations);
    cmdRemove->setObjectName(QStringLiteral("cmdRemove"));
    for (QPushButton* b : {cmdAdd, cmdRemove})
        b->setAutoDefault(false);
    connect(cmdAdd, &QPushButton::clicked, this, &frmProperties::cmdAdd_Click);
    connect(cmdRemove, &QPushButton::clicked, this, &frmProperties::cmdRemove_Click);

    mnuPopup = new QMenu(this);
    mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    const auto item = [this](QAction*& action, const char* name, const QString& caption, auto handler) {
        action = mnuPopup->addAction(caption);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, handler);
    };
    item(mnuPopupAdd, "mnuPopupAdd", QStringLiteral("Add"), [this] { cmdAdd_Click(); });
    mnuPopup->addSeparator();
    item(mnuPopupRemove, "mnuPopupRemove", QStringLiteral("Remove"), [this] { cmdRemove_Click(); });
    mnuPopup->addSeparator();
    item(mnuPopupVolume, "mnuPopupVolume", QStringLiteral("Edit Volume"),
         [this] { EditDestinationVolume(); });
    mnuPopup->addSeparator();
    item(mnuPopupOpen, "mnuPopupOpen", QStringLiteral("Open"), [this] { OpenDestination(false); });
    item(mnuPopupProperties, "mnuPopupProperties", QStringLiteral("Properties"),
         [this] { OpenDestination(true); });
    mnuPopup->addSeparator();
    item(mnuCopyPath, "mnuCopyPath", QStringLiteral("Copy Pathname"), [this] { CopyDestination(false); });
    item(mnuCopyVolume, "mnuCopyVolume", QStringLiteral("Copy Volumename"),
         [this] { CopyDestination(true); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(new QLabel(QStringLiteral("* Right-click for more options"), fraDestinations));
    buttons->addStretch();
    buttons->addWidget(cmdAdd);
    buttons->addWidget(cmdRemove);
    auto* page = new QVBoxLayout(fraDestinations);
    page->addWidget(new QLabel(QStringLiteral("Destination Folders: *"), fraDestinations));
    page->addWidget(listDestinations, 1);
    page->addLayout(buttons);
}

void frmProperties::LoadDestinations()
{
    for (const clsDestination& d : m_state.Destinations.ForSource(m_path)) {
        gcolWorkingDests.Add(d.Path, d.Source, d.Volume);
        AddRow(d);
    }
}

void frmProperties::AddRow(const clsDestination& destination)
{
    auto* row = new QTreeWidgetItem(listDestinations, {destination.Path, destination.Volume});
    row->setToolTip(0, destination.Path);
    row->setToolTip(1, QStringLiteral("Volume name of drive on which this folder resides."));
    row->setIcon(0, Picture(destination.Path.startsWith(QLatin1String("//")) ? QStringLiteral("*FolderShared")
                                                                             : QStringLiteral("*Folder")));
    if (m_sortColumn >= 0)
        listDestinations->sortItems(m_sortColumn, m_sortOrder);
}

QTreeWidgetItem* frmProperties::SelectedRow() const
{
    const QList<QTreeWidgetItem*> selected = listDestinations->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void frmProperties::UpdateRemoveButton()
{
    cmdRemove->setEnabled(SelectedRow() != nullptr);
}

void frmProperties::ShowPopup(const QPoint& at)
{
    const bool selected = SelectedRow() != nullptr;
    for (QAction* action :
         {mnuPopupRemove, mnuPopupVolume, mnuPopupOpen, mnuPopupProperties, mnuCopyPath, mnuCopyVolume})
        action->setEnabled(selected);
    activateWindow();
    mnuPopup->exec(at);
}

void frmProperties::cmdAdd_Click()
{
    const QString folder =
        m_prompts.BrowseFolder(this, QStringLiteral("Please select a destination folder."));
    if (folder.isEmpty())
        return;
    if (const QString refused = UnstorableNameMessage(folder, QStringLiteral("back up into a folder"));
        !refused.isEmpty()) {
        m_prompts.Message(this, Prompts::Icon::Exclamation, refused);
        return;
    }
    NetworkPaths::PathVolume volume = m_paths.GetPathVolume(folder);
    if (volume.State() == NetworkPaths::PathVolume::Outcome::NotReady) {
        m_prompts.Message(this, Prompts::Icon::Exclamation, NetworkPaths::DriveNotReadyMessage);
        return;
    }
    if (volume.IsReady()) {
        // The path compares exactly (the file system's own rule), the volume name too.
        for (const clsDestination& d : gcolWorkingDests)
            if (d.Path == folder && d.Volume == *volume.Label()) {
                m_prompts.Message(this, Prompts::Icon::Information, kDuplicate);
                return;
            }
    }
    if (const clsBackup* association = m_state.Backups.Item(m_path)) {
        clsBackup asShown = *association;
        asShown.Recursive = chkRecursive->isChecked();
        const QString loop = DestinationLoop::Reason(asShown, folder, m_drives);
        if (!loop.isEmpty() &&
            m_prompts.Message(this, Prompts::Icon::Exclamation, loop + QStringLiteral("\n\nAdd it anyway?"),
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return;
    }

    const DestinationWriteTest::Outcome test = m_writeTest->Run(folder);
    if (test.LeftBehind)
        m_prompts.Message(this, Prompts::Icon::Exclamation,
                          QStringLiteral("Savenook could not remove its test file \"%1\". Please delete it.")
                              .arg(test.TestFile));
    if (!test.Written &&
        m_prompts.Message(this, Prompts::Icon::Question, kNotWritable + QStringLiteral("\n\nAdd it anyway?"),
                          QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;

    // Asked again: the drive may have gone while the questions were open.
    volume = m_paths.GetPathVolume(folder);
    if (volume.State() == NetworkPaths::PathVolume::Outcome::NoDrive) {
        m_prompts.Message(this, Prompts::Icon::Exclamation, NetworkPaths::DriveGoneMessage);
        return;
    }
    if (!volume.IsReady()) {
        m_prompts.Message(this, Prompts::Icon::None, NetworkPaths::DriveNotReadyMessage);
        return;
    }
    const clsDestination& added = gcolWorkingDests.Add(folder, m_path, *volume.Label());
    AddRow(added);
    const QList<QTreeWidgetItem*> rows = listDestinations->findItems(folder, Qt::MatchExactly, 0);
    for (QTreeWidgetItem* row : rows)
        if (row->text(1) == added.Volume)
            listDestinations->setCurrentItem(row);
    UpdateRemoveButton();
}

void frmProperties::cmdRemove_Click()
{
    QTreeWidgetItem* row = SelectedRow();
    if (!row)
        return;
    for (int position = 1; position <= gcolWorkingDests.Count(); ++position)
        if (gcolWorkingDests.Item(position)->Path == row->text(0)) {
            gcolWorkingDests.Remove(position);
            delete row;
            break;
        }
    UpdateRemoveButton();
}

void frmProperties::EditDestinationVolume()
{
    QTreeWidgetItem* row = SelectedRow();
    if (!row)
        return;
    int index = 0;
    for (int position = 1; position <= gcolWorkingDests.Count() && index == 0; ++position) {
        const clsDestination& d = *gcolWorkingDests.Item(position);
        if (d.Path == row->text(0) && d.Volume == row->text(1))
            index = position;
    }
    if (index == 0)
        return;
    frmEditDestVolume editor(gcolWorkingDests, index, row->text(0), row->text(1), m_paths, m_prompts, this);
    ShowEditor(editor);
    if (editor.result() == QDialog::Accepted)
        row->setText(1, gcolWorkingDests.Item(index)->Volume);
}

void frmProperties::OpenDestination(bool properties)
{
    const QTreeWidgetItem* row = SelectedRow();
    if (!row)
        return;
    // Failures are not reported: the desktop shows its own message, if any.
    if (properties)
        ShowFileProperties(row->text(0), this);
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(row->text(0)));
}

void frmProperties::CopyDestination(bool volume)
{
    const QTreeWidgetItem* row = SelectedRow();
    if (!row)
        return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(row->text(volume ? 1 : 0));
}
