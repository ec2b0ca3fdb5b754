// The association tree of the main window: nodes, images, visible-node memory
// and the tree's own handlers.
#include "ui/main/frmSavenook.h"

#include "core/DateText.h"
#include "core/Stores.h"
#include "platform/FilePath.h"
#include "platform/MountTable.h"
#include "reporting/colRecent.h"
#include "ui/dialogs/ShellIcons.h"
#include "ui/main/ButtonPictures.h"
#include "ui/main/VisibleNodePrefs.h"

#include <QApplication>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMenu>
#include <QStyle>
#include <QTreeWidget>

namespace {
constexpr int kPathRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;
const QString kFile = QStringLiteral("*File");
const QString kFileYellow = QStringLiteral("*FileYellow");
const QString kFolder = QStringLiteral("*Folder");
const QString kFolderYellow = QStringLiteral("*FolderYellow");
const QString kFolderShared = QStringLiteral("*FolderShared");
const QString kDrive = QStringLiteral("*Drive");
const QString kDriveYellow = QStringLiteral("*DriveYellow");

// The provider's generic pictures need no file of their own (the program's
// folder is read-only once installed); the style's stand in without an icon theme.
QIcon genericIcon(QFileIconProvider::IconType type, QStyle::StandardPixmap fallback)
{
    QIcon icon = QFileIconProvider().icon(type);
    if (icon.isNull() || icon.pixmap(16).isNull())
        icon = QApplication::style()->standardIcon(fallback);
    return QIcon(IconToPicture(icon));
}

// Children sorted as file managers show them: letter case does not split the list.
class SortedNode : public QTreeWidgetItem
{
  public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override
    {
        const int order = text(0).compare(other.text(0), Qt::CaseInsensitive);
        return order != 0 ? order < 0 : text(0) < other.text(0);
    }
};

void visibleNodes(const QTreeWidgetItem* node, QStringList& lines)
{
    lines << frmSavenook::NodePath(node);
    if (!node->isExpanded())
        return;
    for (int i = 0; i < node->childCount(); ++i)
        visibleNodes(node->child(i), lines);
}
} // namespace

QString frmSavenook::NodePath(const QTreeWidgetItem* node)
{
    return node ? node->data(0, kPathRole).toString() : QString();
}

QString frmSavenook::NodeImage(const QTreeWidgetItem* node)
{
    return node ? node->data(0, kImageRole).toString() : QString();
}

void frmSavenook::SetNodeImage(QTreeWidgetItem* node, const QString& imageKey)
{
    node->setData(0, kImageRole, imageKey);
    node->setIcon(0, m_images.Icon(imageKey));
}

QTreeWidgetItem* frmSavenook::SelectedNode() const
{
    return treeBackupsLocal->currentItem();
}

QString frmSavenook::SelectedPath() const
{
    return NodePath(SelectedNode());
}

QString frmSavenook::DriveOf(const QString& path, bool* exists) const
{
    std::optional<MountEntry> mount;
    if (Svc.DriveInfo)
        mount = Svc.DriveInfo->MountOf(QDir::cleanPath(path));
    if (exists)
        *exists = mount.has_value();
    return mount ? mount->MountPoint : QStringLiteral("/");
}

QString frmSavenook::SourcePathOfNode(const QTreeWidgetItem* node) const
{
    const QString path = NodePath(node);
    if (path.isEmpty())
        return QString();
    if (m_state.Backups.Item(path))
        return path;
    // A source kept with its trailing "/" still belongs to the node without it.
    if (path != QStringLiteral("/") && m_state.Backups.Item(path + QLatin1Char('/')))
        return path + QLatin1Char('/');
    return QString();
}

bool frmSavenook::IsMissingNode(const QTreeWidgetItem* node) const
{
    const QString image = NodeImage(node);
    return image == kFileYellow || image == kFolderYellow || image == kDriveYellow;
}

void frmSavenook::PlaceIcons()
{
    m_images.Add(kFile, genericIcon(QFileIconProvider::File, QStyle::SP_FileIcon));
    m_images.AddOverlay(kFileYellow, kFile, TreeImages::Yellow);
    m_images.Add(kFolder, genericIcon(QFileIconProvider::Folder, QStyle::SP_DirIcon));
    m_images.AddOverlay(kFolderYellow, kFolder, TreeImages::Yellow);
    m_images.AddOverlay(kFolderShared, kFolder, TreeImages::Hand);
    m_images.Add(kDrive, genericIcon(QFileIconProvider::Drive, QStyle::SP_DriveHDIcon));
    m_images.AddOverlay(kDriveYellow, kDrive, TreeImages::Yellow);

    using ButtonPictures::Kind;
    mnuOptions->setIcon(ButtonPictures::Picture(Kind::Options));
    mnuExit->setIcon(ButtonPictures::Picture(Kind::Stop));
    mnuAddFiles->setIcon(m_images.Icon(kFile));
    mnuAddFolder->setIcon(m_images.Icon(kFolder));
    mnuHelp->setIcon(ButtonPictures::Picture(Kind::Manual));
}

void frmSavenook::AddPathIcon(const QString& path)
{
    if (m_images.Exists(path))
        return;
    // Looking an icon up costs a type detection and a theme search: files of one
    // kind share one picture, so a tree of thousands of sources builds quickly.
    const QFileInfo info(path);
    QString kind;
    if (DriveOf(path) == path)
        kind = QStringLiteral("drive");
    else if (info.isDir())
        kind = QStringLiteral("folder");
    else if (!info.suffix().isEmpty() && !info.isExecutable())
        kind = QStringLiteral("file.") + info.suffix().toLower();
    QIcon icon = m_iconsByKind.value(kind);
    if (icon.isNull()) {
        icon = kind == QLatin1String("drive") ? genericIcon(QFileIconProvider::Drive, QStyle::SP_DriveHDIcon)
                                              : QIcon(IconToPicture(SmallFileIcon(path)));
        if (!kind.isEmpty())
            m_iconsByKind.insert(kind, icon);
    }
    m_images.Add(path, icon);
}

void frmSavenook::AddStateIcons(const QString& path)
{
    m_images.AddOverlay(path + TreeImages::Green, path, TreeImages::Green);
    m_images.AddOverlay(path + TreeImages::Magenta, path, TreeImages::Magenta);
}

void frmSavenook::UpdateTreeLocal()
{
    QStringList disabled;
    // A source that is not there (a drive not mounted yet at login) cannot be
    // backed up: disable it, and say so rather than stop silently.
    const auto disable = [&](clsBackup& b) {
        if (!b.Enabled)
            return;
        b.Enabled = false;
        disabled << b.SourcePath;
        if (Svc.Recent)
            Svc.Recent->Add(DateText::Now(), b.SourcePath, QString(), QString(), QString(),
                            QStringLiteral("Error: Source not found. The association was disabled; "
                                           "enable it again when the source is back."));
    };

    for (int position = 1; position <= m_state.Backups.Count(); ++position) {
        const QString source = FilePath::StripTrailingBackslash(m_state.Backups.Item(position)->SourcePath);
        if (NetworkPaths::IsNetworkPath(source) || !source.startsWith(QLatin1Char('/')))
            continue; // backed up, but not shown
        bool driveExists = false;
        const QString drive = DriveOf(source, &driveExists);
        QStringList levels{drive};
        for (const QString& part : source.mid(drive.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts))
            levels << FilePath::Join(levels.last(), part);

        QTreeWidgetItem* current = nullptr;
        for (qsizetype k = 0; k < levels.size(); ++k) {
            const QString& path = levels.at(k);
            QTreeWidgetItem* node = m_nodes.value(path);
            const bool own = k == levels.size() - 1;
            if (node && !own) {
                current = node;
                continue;
            }
            if (!node) {
                node = current ? new SortedNode(current) : new SortedNode(treeBackupsLocal);
                node->setText(0, k == 0 ? MountTable::DriveName(drive) : QFileInfo(path).fileName());
                node->setData(0, kPathRole, path);
                node->setToolTip(0, path);
                m_nodes.insert(path, node);
            }
            current = node;

            clsBackup* association = nullptr;
            if (const QString key = SourcePathOfNode(node); !key.isEmpty())
                association = m_state.Backups.Item(key);
            QString image;
            if (!association) {
                if (k > 0) {
                    image = kFolder;
                } else if (driveExists) {
                    AddPathIcon(path);
                    image = path;
                } else {
                    image = kDrive;
                }
            } else {
                const bool present =
                    k == 0 ? driveExists && Svc.DriveInfo->IsReady(drive) : QFileInfo::exists(path);
                if (present) {
                    AddPathIcon(path);
                    AddStateIcons(path);
                    image = path + (association->Enabled ? TreeImages::Green : TreeImages::Magenta);
                } else {
                    disable(*association);
                    image = k == 0 ? kDriveYellow : association->Folder ? kFolderYellow : kFileYellow;
                }
            }
            SetNodeImage(node, image);
        }
    }
    treeBackupsLocal->sortItems(0, Qt::AscendingOrder);

    if (disabled.isEmpty())
        return;
    const QString text = QStringLiteral("The source of these associations could not be found, so they were "
                                        "disabled:\n\n%1\n\nWhen the source is back (a drive mounted again), "
                                        "select it and choose Backup > Enable.")
                             .arg(disabled.join(QLatin1Char('\n')));
    if (m_loading)
        m_state.PendingWarnings << text; // shown once start-up is over, without holding it up
    else
        Ask().Message(this, Prompts::Icon::Exclamation, text);
}

QTreeWidgetItem* frmSavenook::FindTreeIndexFromFullPath(const QString& strFullPath) const
{
    return m_nodes.value(FilePath::StripTrailingBackslash(strFullPath));
}

bool frmSavenook::NodeExists(const QString& strFullPath) const
{
    return m_nodes.contains(strFullPath);
}

bool frmSavenook::BackupExists(const QString& strSourcePath) const
{
    return m_state.Backups.Item(strSourcePath) != nullptr;
}

bool frmSavenook::IsAssociationNode(const QTreeWidgetItem* node) const
{
    return !SourcePathOfNode(node).isEmpty();
}

bool frmSavenook::HasDescendantNodes(const QString& path) const
{
    // On whole components: /a/bc does not lie below /a/b, so only the node's own children count.
    const QTreeWidgetItem* node = FindTreeIndexFromFullPath(path);
    return node && node->childCount() > 0;
}

void frmSavenook::DestroyBranchToNode(QTreeWidgetItem* node)
{
    if (!node)
        return;
    const auto siblings = [this](const QTreeWidgetItem* n) {
        return n->parent() ? n->parent()->childCount() : treeBackupsLocal->topLevelItemCount();
    };
    QTreeWidgetItem* doomed = node;
    if (siblings(node) == 1) {
        while (siblings(doomed) == 1 && doomed->parent() && !IsAssociationNode(doomed->parent()))
            doomed = doomed->parent();
    }
    QList<QTreeWidgetItem*> pending{doomed};
    while (!pending.isEmpty()) {
        QTreeWidgetItem* n = pending.takeLast();
        m_nodes.remove(NodePath(n));
        for (int i = 0; i < n->childCount(); ++i)
            pending << n->child(i);
    }
    delete doomed;
}

void frmSavenook::ExpandAllNodes()
{
    treeBackupsLocal->expandAll();
}

void frmSavenook::CollapseAllNodes()
{
    treeBackupsLocal->collapseAll();
}

void frmSavenook::ClearTreeNodes()
{
    treeBackupsLocal->clear();
    m_nodes.clear();
}

void frmSavenook::ClearTreeImages()
{
    while (m_images.Count() > 4)
        m_images.RemoveAt(5);
}

void frmSavenook::SaveVisibleNodePrefs()
{
    QStringList lines;
    for (int i = 0; i < treeBackupsLocal->topLevelItemCount(); ++i)
        visibleNodes(treeBackupsLocal->topLevelItem(i), lines);
    VisibleNodePrefs::Save(lines);
}

void frmSavenook::LoadVisibleNodePrefs()
{
    for (const QString& line : VisibleNodePrefs::Load())
        if (QTreeWidgetItem* node = m_nodes.value(line))
            MakeVisible(node);
}

void frmSavenook::MakeVisible(QTreeWidgetItem* node)
{
    for (QTreeWidgetItem* up = node ? node->parent() : nullptr; up; up = up->parent())
        up->setExpanded(true);
    if (node)
        treeBackupsLocal->scrollToItem(node);
}

void frmSavenook::SelectAndShow(QTreeWidgetItem* node)
{
    if (!node)
        return;
    MakeVisible(node);
    treeBackupsLocal->setCurrentItem(node);
}

void frmSavenook::mnuRefresh_Click()
{
    const QString selected = SelectedPath();
    ClearTreeNodes();
    UpdateTreeLocal();
    LoadVisibleNodePrefs();
    if (QTreeWidgetItem* node = m_nodes.value(selected))
        treeBackupsLocal->setCurrentItem(node);
    TreeClick();
}

void frmSavenook::TreeClick()
{
    QTreeWidgetItem* node = SelectedNode();
    QString volume = QStringLiteral("<n/a>");
    if (node) {
        bool exists = false;
        const QString drive = DriveOf(NodePath(node), &exists);
        if (!exists)
            volume = QStringLiteral("<Drive Does Not Exist>");
        else if (!Svc.DriveInfo->IsReady(drive))
            volume = QStringLiteral("<Drive Is Not Ready>");
        else
            volume = Svc.DriveInfo->Label(drive);
    }
    SetPanelText(QStringLiteral("Volume"), QStringLiteral("Drive Volume of Selected: %1 ").arg(volume));
}

void frmSavenook::TreeDblClick()
{
    SaveVisibleNodePrefs();
    QTreeWidgetItem* node = SelectedNode();
    if (!node)
        return;
    node->setExpanded(true);
    const QString source = SourcePathOfNode(node);
    if (source.isEmpty())
        return;
    const QString key = NodePath(node);
    if (!PropertiesHandOff(source))
        return;
    mnuRefresh_Click();
    SelectAndShow(FindTreeIndexFromFullPath(key));
}

void frmSavenook::TreeDeleteKey()
{
    SaveVisibleNodePrefs();
    QTreeWidgetItem* node = SelectedNode();
    if (!node)
        return;
    if (!IsAssociationNode(node)) {
        Ask().Beep();
        return;
    }
    if (!MayChangeAssociations())
        return;
    QTreeWidgetItem* parent = node->parent();
    const auto sibling = [&](int index) -> QTreeWidgetItem* {
        if (parent)
            return index >= 0 && index < parent->childCount() ? parent->child(index) : nullptr;
        return treeBackupsLocal->topLevelItem(index);
    };
    const int index = parent ? parent->indexOfChild(node) : treeBackupsLocal->indexOfTopLevelItem(node);
    QTreeWidgetItem* next = sibling(index + 1);
    if (!next)
        next = sibling(index - 1);
    const QString remembered = NodePath(next);
    RemoveLocal(node);
    TreeClick();
    mnuRefresh_Click();
    if (!remembered.isEmpty())
        SelectAndShow(FindTreeIndexFromFullPath(remembered));
}

void frmSavenook::mnuEnabled_Click()
{
    QTreeWidgetItem* node = SelectedNode();
    const QString source = SourcePathOfNode(node);
    if (source.isEmpty() || IsMissingNode(node))
        return;
    const QString path = NodePath(node);
    clsBackup* b = m_state.Backups.Item(source);
    if (!b->Enabled) {
        if (b->Folder)
            CreateDetectFolder(source, b->Recursive);
        if ((b = m_state.Backups.Item(source)) == nullptr)
            return;
        b->Enabled = true;
    } else {
        if (b->Folder) {
            // A file association in this very folder still needs its watching.
            bool needed = false;
            for (const clsBackup& other : m_state.Backups)
                if (!other.Folder && QFileInfo(other.SourcePath).path() == path)
                    needed = true;
            if (!needed && Svc.StopWatchedFolder)
                Svc.StopWatchedFolder(path);
        }
        b->Enabled = false;
    }
    AddPathIcon(path);
    AddStateIcons(path);
    SetNodeImage(node, path + (b->Enabled ? TreeImages::Green : TreeImages::Magenta));
    // A change the user made must survive a crash as well as an exit.
    SaveBackups(m_state);
}
