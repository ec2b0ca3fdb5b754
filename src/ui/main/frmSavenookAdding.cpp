// The commands of the main window that add and remove associations.
#include "ui/main/frmSavenook.h"

#include "core/DateText.h"
#include "core/Stores.h"
#include "platform/FilePath.h"
#include "ui/dialogs/UnstorableName.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QThread>
#include <QTreeWidget>

namespace {
const QString kAlreadyFolder = QStringLiteral("This folder is already backed up.");
const QString kNoFolder = QStringLiteral("This folder does not exist by displayed path");
// "unecessary" is intended: the program's own wording.
const QString kWholeDocuments = QStringLiteral(
    "It is not recommended to back up entire My Documents folders. Backing up individual folders "
    "within this folder prevents unecessary scanning times.\n\nAdd folder anyway?");
// The "/" for "?" is intended: the program's own wording.
const QString kRemoveQuestion = QStringLiteral("Do you really want to remove this association/");

QString alreadyFile(const QString& path)
{
    // Joined exactly so: no closing quote and no blank before "is".
    return QStringLiteral("File: '") + path + QStringLiteral("is already backed up.");
}

// The volume text of a new association: the drive's name, or two NULs for a drive without one.
QString volumeText(const QString& label)
{
    return label.isEmpty() ? QString(2, QChar(0)) : label;
}
} // namespace

NetworkPaths frmSavenook::Paths() const
{
    // Without drives every path is on a drive that no longer exists, and adding says so.
    static const struct NoDrives : Drives
    {
        std::optional<MountEntry> MountOf(const QString&) const override { return std::nullopt; }
        bool IsReady(const QString&) const override { return false; }
        QString Label(const QString&) const override { return QString(); }
    } none;
    return NetworkPaths(Svc.DriveInfo ? *Svc.DriveInfo : none, Svc.Shares, m_state.ComputerName);
}

bool frmSavenook::MayChangeAssociations()
{
    if (!m_state.Scanning && !m_state.ManualSync && !m_state.BusyWaiting)
        return true;
    // The running work holds associations by key and lets the interface run meanwhile.
    Ask().Message(this, Prompts::Icon::Information,
                  QStringLiteral("Savenook is busy backing up files right now.\n"
                                 "Please try again when it has finished."));
    return false;
}

bool frmSavenook::RefuseUnsafeName(const QString& path)
{
    const QString message = UnstorableNameMessage(path, QStringLiteral("back up a file or folder"));
    if (message.isEmpty())
        return false;
    Ask().Message(this, Prompts::Icon::Exclamation, message);
    return true;
}

bool frmSavenook::RefuseRemote(const QString& path)
{
    if (!Paths().RefusesSource(path))
        return false;
    Ask().Message(this, Prompts::Icon::Information, NetworkPaths::RemoteSourceMessage);
    return true;
}

bool frmSavenook::DriveChecks(const QString& path)
{
    const NetworkPaths::PathVolume volume = Paths().GetPathVolume(path);
    if (volume.IsReady())
        return true;
    Ask().Message(this, Prompts::Icon::Exclamation, volume.FailureMessage());
    return false;
}

clsBackup* frmSavenook::AddAssociation(const QString& path, bool folder)
{
    clsBackup b;
    b.SourcePath = path;
    b.Folder = folder;
    b.Recursive = false;
    b.DateCreated = DateText::Now();
    b.Volume = volumeText(Paths().GetPathVolume(path).Label().value_or(QString()));
    b.NotifyOnError = true;
    b.NotifyOnSuccess = true;
    b.Enabled = true;
    b.DateLastModified = DateText::Never;
    b.DateLastActivity = DateText::Never;
    b.KeepBackup = false;
    b.Versions = 1;
    b.CopyHidden = false;
    return m_state.Backups.Add(b, path);
}

bool frmSavenook::PropertiesHandOff(const QString& sourcePath)
{
    m_state.PropertiesPath = sourcePath;
    Later.SetTrayEditing(true);
    Later.ShowProperties(sourcePath);
    while (m_state.PropertiesOpen && !m_state.Exiting) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(10);
    }
    if (m_state.Exiting)
        return false;
    Later.SetTrayEditing(false);
    return true;
}

void frmSavenook::TrayAddItems(bool enabled)
{
    Later.SetTrayAddItemsEnabled(enabled);
}

void frmSavenook::ClosingSteps(const QString& lastPath)
{
    SaveBackups(m_state);
    SaveDestinations(m_state);
    mnuRefresh_Click();
    SelectAndShow(FindTreeIndexFromFullPath(lastPath));
    TreeClick();
    QDir::setCurrent(QCoreApplication::applicationDirPath());
}

void frmSavenook::MenuAddFile()
{
    TrayAddItems(false);
    SaveVisibleNodePrefs();
    const auto reenable = qScopeGuard([this] {
        if (!m_state.Exiting)
            TrayAddItems(true);
    });
    QStringList files = Ask().OpenFiles(this, QStringLiteral("Select a file for automatic backup"),
                                        QStringLiteral("All Files (*)"));
    if (files.isEmpty() || m_state.Exiting)
        return;
    for (QString& file : files) {
        if (RefuseUnsafeName(file))
            return;
        file = QDir::cleanPath(file);
    }

    if (files.size() == 1) {
        const QString& path = files.first();
        if (RefuseRemote(path))
            return;
        if (BackupExists(path)) {
            Ask().Message(this, Prompts::Icon::Information, alreadyFile(path));
            return;
        }
        if (!DriveChecks(path) || !AddAssociation(path, false) || !PropertiesHandOff(path))
            return;
        ClosingSteps(path);
        return;
    }

    for (const QString& file : files)
        if (RefuseRemote(file))
            return;
    std::vector<bool> skipped(size_t(files.size()), false);
    QString last;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString& file = files.at(i);
        if (BackupExists(file)) {
            Ask().Message(this, Prompts::Icon::Information, alreadyFile(file));
            skipped[size_t(i)] = true;
            continue;
        }
        m_state.MultiAdd = true;
        const bool added = DriveChecks(file) && AddAssociation(file, false);
        const bool goOn = added && PropertiesHandOff(file);
        m_state.MultiAdd = false;
        if (m_state.Exiting)
            return;
        if (!goOn)
            break; // what the earlier dialogs confirmed is still saved below
        last = file;
        if (!m_state.PropertiesCancelled && m_state.ApplyToAll) {
            m_state.ApplyToAll = false;
            ApplyToAllFiles(files, i, skipped);
            break;
        }
    }
    ClosingSteps(last);
}

void frmSavenook::ApplyToAllFiles(const QStringList& files, qsizetype current, std::vector<bool>& skipped)
{
    const clsBackup* confirmed = m_state.Backups.Item(files.at(current));
    if (!confirmed)
        return;
    // Copies: positions in both lists change below.
    const clsBackup model = *confirmed;
    const std::vector<clsDestination> destinations = m_state.Destinations.ForSource(model.SourcePath);

    // Files confirmed in their own dialog take the settings chosen last.
    for (qsizetype j = 0; j < current; ++j) {
        if (skipped[size_t(j)])
            continue;
        if (BackupExists(files.at(j)))
            RemoveBackup(files.at(j));
        else
            skipped[size_t(j)] = true;
    }
    for (qsizetype j = 0; j < files.size(); ++j) {
        const QString& file = files.at(j);
        if (j == current || skipped[size_t(j)])
            continue;
        // A later file that already is an association ends the command; each
        // file added so far is whole, with its destinations, and gets saved.
        if (BackupExists(file)) {
            Ask().Message(this, Prompts::Icon::Information, alreadyFile(file));
            return;
        }
        clsBackup b = model;
        b.SourcePath = file;
        b.KeepBackup = true;
        b.DateLastActivity = DateText::Never;
        b.DateCreated = DateText::Now();
        const std::optional<QString> label = Paths().GetPathVolume(file).Label();
        b.Volume = label ? volumeText(*label) : model.Volume;
        if (!m_state.Backups.Add(b, file))
            return;
        for (const clsDestination& d : destinations)
            m_state.Destinations.Add(d.Path, file, d.Volume);
        CreateDetectFolder(file, b.Recursive);
    }
}

void frmSavenook::MenuAddFolder(const QString& strSkipBrowse)
{
    TrayAddItems(false);
    SaveVisibleNodePrefs();
    const auto reenable = qScopeGuard([this] {
        if (!m_state.Exiting)
            TrayAddItems(true);
    });
    QString folder = strSkipBrowse;
    if (folder.isEmpty())
        folder = Ask().BrowseFolder(this, QStringLiteral("Please select a folder to be backed up."));
    if (folder.isEmpty() || m_state.Exiting || RefuseUnsafeName(folder))
        return;
    folder = QDir::cleanPath(folder);
    if (RefuseRemote(folder))
        return;
    if (!QFileInfo(folder).isDir()) {
        Ask().Message(this, Prompts::Icon::Exclamation, kNoFolder);
        return;
    }
    const auto stillWanted = [this](const QString& text) {
        const auto answer = Ask().Message(this, Prompts::Icon::Information, text,
                                          QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        return answer == QMessageBox::Yes && !m_state.Exiting;
    };
    bool mounted = false;
    if (DriveOf(folder, &mounted) == folder &&
        !stillWanted(QStringLiteral("It is not recommended to back up entire drives. Backing up individual "
                                    "folders prevents copying of temporary files from tying up Savenook's "
                                    "processes.\n\nAdd drive anyway?")))
        return;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QDir::cleanPath(documents) == folder && !stillWanted(kWholeDocuments))
        return;
    if (BackupExists(folder)) {
        Ask().Message(this, Prompts::Icon::Information, kAlreadyFolder);
        return;
    }
    if (!DriveChecks(folder) || !AddAssociation(folder, true) || !PropertiesHandOff(folder))
        return;
    if (m_state.PropertiesCancelled)
        return;
    SaveBackups(m_state);
    SaveDestinations(m_state);
    SelectAndShow(FindTreeIndexFromFullPath(folder));
    mnuRefresh_Click();
    SelectAndShow(FindTreeIndexFromFullPath(m_state.PropertiesPath));
    QDir::setCurrent(QCoreApplication::applicationDirPath());
}

void frmSavenook::GotADrop(const QString& filename)
{
    SaveVisibleNodePrefs();
    // The name is taken whole: blanks at either end are part of it on Linux.
    QString path =
        filename.left(filename.indexOf(QChar(0)) < 0 ? filename.size() : filename.indexOf(QChar(0)));
    if (path.isEmpty() || RefuseUnsafeName(path))
        return;
    path = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (RefuseRemote(path))
        return;
    if (BackupExists(path)) {
        Ask().Message(this, Prompts::Icon::Information,
                      QStringLiteral("This file or folder is already backed up."));
        return;
    }
    if (!QFileInfo(path).isFile()) {
        MenuAddFolder(path);
        if (m_state.Exiting)
            return;
        mnuRefresh_Click();
        if (NodeExists(FilePath::StripTrailingBackslash(m_state.PropertiesPath)))
            SelectAndShow(FindTreeIndexFromFullPath(m_state.PropertiesPath));
        return;
    }
    if (!DriveChecks(path) || !AddAssociation(path, false) || !PropertiesHandOff(path))
        return;
    SaveBackups(m_state);
    SaveDestinations(m_state);
    UpdateTreeLocal();
    SelectAndShow(FindTreeIndexFromFullPath(path));
    TreeClick();
    QDir::setCurrent(QCoreApplication::applicationDirPath());
}

void frmSavenook::mnuAssociate_Click()
{
    SaveVisibleNodePrefs();
    const QTreeWidgetItem* node = SelectedNode();
    if (!node)
        return;
    const QString path = NodePath(node);
    if (!QFileInfo(path).isDir()) {
        Ask().Message(this, Prompts::Icon::Exclamation, kNoFolder);
        return;
    }
    MenuAddFolder(path);
    if (!m_state.Exiting)
        mnuRefresh_Click();
}

void frmSavenook::RemoveBackup(const QString& strFullPath)
{
    m_state.Backups.Remove(strFullPath);
}

void frmSavenook::RemoveLocal(QTreeWidgetItem* node)
{
    const QString source = SourcePathOfNode(node);
    if (source.isEmpty())
        return;
    const QString path = NodePath(node);
    RemoveDetectFolder(source);
    RemoveBackup(source);
    if (HasDescendantNodes(path)) {
        // It still leads to other associations: it keeps its plain picture.
        bool driveExists = false;
        DriveOf(path, &driveExists);
        if (node->parent()) {
            SetNodeImage(node, QStringLiteral("*Folder"));
        } else if (driveExists) {
            AddPathIcon(path);
            SetNodeImage(node, path);
        } else {
            SetNodeImage(node, QStringLiteral("*Drive"));
        }
    } else {
        DestroyBranchToNode(node);
    }
    SaveBackups(m_state);
    SaveDestinations(m_state);
}

void frmSavenook::mnuRemove_Click()
{
    SaveVisibleNodePrefs();
    QTreeWidgetItem* node = SelectedNode();
    if (!node || !IsAssociationNode(node)) {
        Ask().Message(this, Prompts::Icon::Information,
                      QStringLiteral("No association is selected for removal"));
        return;
    }
    if (!MayChangeAssociations())
        return;
    const QString path = NodePath(node);
    const auto answer = Ask().Message(this, Prompts::Icon::Question, kRemoveQuestion,
                                      QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (m_state.Exiting)
        return;
    // Looked up again: the tree may have been rebuilt while the question was open.
    if (answer == QMessageBox::Yes)
        RemoveLocal(FindTreeIndexFromFullPath(path));
    mnuRefresh_Click();
}

void frmSavenook::mnuRemoveAll_Click()
{
    if (m_state.Backups.Count() == 0) {
        Ask().Beep();
        return;
    }
    if (!MayChangeAssociations())
        return;
    const auto answer = Ask().Message(this, Prompts::Icon::Question,
                                      QStringLiteral("Are you sure you want to remove all associations?"),
                                      QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (answer != QMessageBox::Yes || m_state.Exiting)
        return;
    for (int position = m_state.Backups.Count(); position >= 1; --position)
        RemoveBackup(m_state.Backups.Item(position)->SourcePath);
    mnuRefresh_Click();
}

void frmSavenook::CreateDetectFolder(const QString& strPath, bool blnRecursive)
{
    if (Svc.WatchFolder)
        Svc.WatchFolder(strPath, blnRecursive);
}

void frmSavenook::RemoveDetectFolder(const QString& strPath)
{
    const clsBackup* leaving = m_state.Backups.Item(strPath);
    if (!leaving)
        return;
    const QString watched =
        leaving->Folder ? FilePath::StripTrailingBackslash(strPath) : QFileInfo(strPath).absolutePath();
    for (const clsBackup& other : m_state.Backups) {
        if (other.SourcePath == strPath)
            continue;
        const QString served = other.Folder ? FilePath::StripTrailingBackslash(other.SourcePath)
                                            : QFileInfo(other.SourcePath).absolutePath();
        if (served == watched)
            return; // still needed
    }
    if (Svc.StopWatchedFolder)
        Svc.StopWatchedFolder(watched);
}
