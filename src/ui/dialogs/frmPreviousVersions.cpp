#include "ui/dialogs/frmPreviousVersions.h"

#include "engine/TextDiff.h"
#include "engine/VersionRestore.h"
#include "platform/FileNames.h"
#include "platform/FilePath.h"
#include "platform/LocalFiles.h"

#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {
QString nameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString timeText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// Text to compare: no NUL byte and valid UTF-8; none otherwise.
std::optional<QString> textOf(const QString& localCopy)
{
    QFile f(localCopy);
    if (!f.open(QIODevice::ReadOnly) || f.size() > 8 * 1024 * 1024)
        return std::nullopt;
    const QByteArray bytes = f.readAll();
    if (bytes.contains('\0'))
        return std::nullopt;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (utf8.hasError())
        return std::nullopt;
    return text;
}
} // namespace

frmPreviousVersions::frmPreviousVersions(const clsBackup& backup, PreviousVersions& versions,
                                         FileCopier& copier, colRecent& recent,
                                         std::function<bool(const QString&)> keepAsVersion, QWidget* parent)
    : QDialog(parent), m_backup(backup), m_versions(versions), m_copier(copier), m_recent(recent),
      m_keepAsVersion(std::move(keepAsVersion))
{
    setObjectName(QStringLiteral("frmPreviousVersions"));
    setWindowTitle(QStringLiteral("Previous Versions"));
    Ask.ChooseFile = [](QWidget* w, const QString& folder) {
        return QFileDialog::getOpenFileName(w, QStringLiteral("Choose a File"), folder);
    };
    Ask.ChooseTarget = [](QWidget* w, const QString& suggested) {
        return QFileDialog::getSaveFileName(w, QStringLiteral("Restore To"), suggested);
    };
    Ask.Confirm = [](QWidget* w, const QString& q) {
        return QMessageBox::question(w, QStringLiteral("Savenook"), q) == QMessageBox::Yes;
    };
    Ask.Tell = [](QWidget* w, const QString& t) {
        QMessageBox::information(w, QStringLiteral("Savenook"), t);
    };
    Ask.OpenPath = [](const QString& p) { QDesktopServices::openUrl(QUrl::fromLocalFile(p)); };
    Ask.ShowDiff = [](QWidget* w, const QString& diff) {
        QDialog view(w);
        view.setWindowTitle(QStringLiteral("Compare"));
        auto* text =
            new QPlainTextEdit(diff.isEmpty() ? QStringLiteral("The two versions are the same.") : diff);
        text->setReadOnly(true);
        text->setLineWrapMode(QPlainTextEdit::NoWrap);
        text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        auto* layout = new QVBoxLayout(&view);
        layout->addWidget(text);
        view.resize(720, 480);
        view.exec();
    };

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    lblFile = new QLabel(this);
    lblFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
    top->addWidget(lblFile, 1);
    cmdChoose = new QPushButton(QStringLiteral("Choose File..."), this);
    cmdChoose->setObjectName(QStringLiteral("cmdChoose"));
    cmdChoose->setVisible(backup.Folder);
    top->addWidget(cmdChoose);
    layout->addLayout(top);

    cboDeleted = new QComboBox(this);
    cboDeleted->setObjectName(QStringLiteral("cboDeleted"));
    layout->addWidget(cboDeleted);
    if (backup.Folder) {
        const QStringList deleted = m_versions.Deleted(backup);
        cboDeleted->addItem(deleted.isEmpty() ? QStringLiteral("(no deleted files held)")
                                              : QStringLiteral("Deleted files (%1)...").arg(deleted.size()));
        for (const QString& d : deleted)
            cboDeleted->addItem(FileNames::ForDisplay(d.mid(backup.SourcePath.size())), d);
        cboDeleted->setEnabled(!deleted.isEmpty());
        connect(cboDeleted, &QComboBox::activated, this, [this](int i) {
            if (i > 0)
                SetFile(cboDeleted->itemData(i).toString());
        });
    } else {
        cboDeleted->hide();
    }

    lstVersions = new QTreeWidget(this);
    lstVersions->setObjectName(QStringLiteral("lstVersions"));
    lstVersions->setRootIsDecorated(false);
    lstVersions->setHeaderLabels({QStringLiteral("Modified"), QStringLiteral("Version"),
                                  QStringLiteral("Size"), QStringLiteral("Destination")});
    lstVersions->header()->setStretchLastSection(true);
    layout->addWidget(lstVersions, 1);

    auto* buttons = new QHBoxLayout;
    auto button = [&](QPushButton*& b, const char* name, const char* text, auto slot) {
        b = new QPushButton(QLatin1String(text), this);
        b->setObjectName(QLatin1String(name));
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
    };
    button(cmdOpen, "cmdOpen", "&Open", [this] { OpenCopy(); });
    button(cmdFolder, "cmdFolder", "Show &Folder", [this] { ShowFolder(); });
    button(cmdCompare, "cmdCompare", "&Compare", [this] { Compare(); });
    buttons->addStretch(1);
    button(cmdRestore, "cmdRestore", "&Restore", [this] { Restore(false); });
    button(cmdRestoreTo, "cmdRestoreTo", "Restore &to...", [this] { Restore(true); });
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(cmdChoose, &QPushButton::clicked, this, [this] {
        const QString chosen = Ask.ChooseFile(this, m_backup.SourcePath);
        if (!chosen.isEmpty() && (chosen + QLatin1Char('/')).startsWith(m_backup.SourcePath))
            SetFile(chosen);
    });
    connect(lstVersions, &QTreeWidget::itemSelectionChanged, this, [this] { updateButtons(); });
    connect(lstVersions, &QTreeWidget::itemDoubleClicked, this, [this] { OpenCopy(); });
    resize(760, 400);
    SetFile(backup.Folder ? QString() : backup.SourcePath);
}

void frmPreviousVersions::SetFile(const QString& filePath)
{
    m_file = filePath;
    lblFile->setText(filePath.isEmpty()
                         ? QStringLiteral("Choose a file below %1, or a deleted one.")
                               .arg(FileNames::ForDisplay(m_backup.SourcePath))
                         : QStringLiteral("File: ") + FileNames::ForDisplay(filePath) +
                               (LocalFiles::Exists(filePath) ? QString() : QStringLiteral("  (deleted)")));
    refresh();
}

void frmPreviousVersions::refresh()
{
    lstVersions->clear();
    m_listing = m_file.isEmpty() ? PreviousVersions::Listing{} : m_versions.List(m_backup, m_file);
    const QLocale locale;
    for (const PreviousVersions::Copy& c : m_listing.Copies) {
        auto* item = new QTreeWidgetItem(lstVersions);
        item->setText(0, timeText(c.ModifiedMs));
        item->setText(1, c.Version == 0 ? QStringLiteral("Current backup")
                                        : QStringLiteral("Previous version %1").arg(c.Version));
        item->setText(2, locale.formattedDataSize(c.Size));
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(3, FileNames::ForDisplay(c.Destination));
    }
    if (!m_file.isEmpty()) {
        for (const PreviousVersions::Unreachable& u : m_listing.Missing) {
            auto* item = new QTreeWidgetItem(lstVersions);
            item->setText(1, QStringLiteral("Unreachable"));
            item->setText(3, FileNames::ForDisplay(u.Destination) + QStringLiteral(" (") + u.Reason +
                                 QLatin1Char(')'));
            item->setFlags(Qt::ItemIsEnabled);
            item->setForeground(3, palette().brush(QPalette::Disabled, QPalette::Text));
        }
    }
    if (!m_listing.Copies.empty())
        SelectCopy(0);
    for (int i = 0; i < 3; ++i)
        lstVersions->resizeColumnToContents(i);
    updateButtons();
}

void frmPreviousVersions::SelectCopy(int index)
{
    if (QTreeWidgetItem* item = lstVersions->topLevelItem(index))
        lstVersions->setCurrentItem(item);
}

const PreviousVersions::Copy* frmPreviousVersions::selected() const
{
    const int row = lstVersions->indexOfTopLevelItem(lstVersions->currentItem());
    return row >= 0 && size_t(row) < m_listing.Copies.size() ? &m_listing.Copies[size_t(row)] : nullptr;
}

void frmPreviousVersions::updateButtons()
{
    const bool any = selected() != nullptr;
    for (QPushButton* b : {cmdOpen, cmdFolder, cmdRestore, cmdRestoreTo})
        b->setEnabled(any);
    cmdCompare->setEnabled(any && LocalFiles::IsFile(m_file));
}

namespace {
// A private read-only copy: the program that opens it can never change what is held.
QString viewingCopy(FileCopier& copier, const QString& path, const QString& tag)
{
    // The user's own cache, not the shared temporary folder another user could prepare.
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/versions/") + tag;
    QDir().mkpath(folder);
    const QString target = FilePath::Join(folder, nameOf(path));
    if (LocalFiles::Exists(target))
        LocalFiles::SetPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!copier.Copy(path, target, {}))
        return QString();
    LocalFiles::SetPermissions(target,
                               QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    return target;
}
} // namespace

void frmPreviousVersions::OpenCopy()
{
    const PreviousVersions::Copy* c = selected();
    if (!c)
        return;
    const QString view = viewingCopy(m_copier, c->Path, QString::number(c->Version));
    if (view.isEmpty())
        Ask.Tell(this, QStringLiteral("The copy could not be read."));
    else
        Ask.OpenPath(view);
}

void frmPreviousVersions::ShowFolder()
{
    if (const PreviousVersions::Copy* c = selected())
        Ask.OpenPath(c->Path.left(c->Path.lastIndexOf(QLatin1Char('/'))));
}

void frmPreviousVersions::Compare()
{
    const PreviousVersions::Copy* c = selected();
    if (!c)
        return;
    const QString held = viewingCopy(m_copier, c->Path, QString::number(c->Version));
    const QString now = viewingCopy(m_copier, m_file, QStringLiteral("now"));
    const std::optional<QString> a = held.isEmpty() ? std::nullopt : textOf(held);
    const std::optional<QString> b = now.isEmpty() ? std::nullopt : textOf(now);
    if (!a || !b) {
        Ask.Tell(this, QStringLiteral("Only two text files can be compared."));
        return;
    }
    const QString label = c->Version == 0 ? QStringLiteral("current backup")
                                          : QStringLiteral("previous version %1").arg(c->Version);
    Ask.ShowDiff(this,
                 TextDiff::Unified(*a, *b,
                                   nameOf(FileNames::ForDisplay(m_file)) + QStringLiteral(" (") + label +
                                       QStringLiteral(", ") + timeText(c->ModifiedMs) + QLatin1Char(')'),
                                   nameOf(FileNames::ForDisplay(m_file)) + QStringLiteral(" (now)")));
}

void frmPreviousVersions::Restore(bool elsewhere)
{
    const PreviousVersions::Copy* c = selected();
    if (!c)
        return;
    const PreviousVersions::Copy chosen = *c;
    QString target = m_file;
    if (elsewhere) {
        target = Ask.ChooseTarget(this, QDir::homePath() + QLatin1Char('/') + nameOf(m_file));
        if (target.isEmpty())
            return;
    } else if (!Ask.Confirm(this, QStringLiteral("Put the copy of %1 back as %2?\n\nThe file as it is now is "
                                                 "kept first.")
                                      .arg(timeText(chosen.ModifiedMs), FileNames::ForDisplay(m_file)))) {
        return;
    }
    // "Restore to..." has asked about overwriting in its own file dialog.
    const VersionRestore::Result r =
        VersionRestore::Restore(chosen.Path, target, m_copier, !elsewhere, m_keepAsVersion);
    VersionRestore::Log(m_recent, target, chosen.Path, r);
    if (!r.Restored)
        Ask.Tell(this, r.Error);
    else if (!r.KeptBeside.isEmpty())
        Ask.Tell(this, QStringLiteral("Restored. The file as it was is kept as %1.")
                           .arg(FileNames::ForDisplay(nameOf(r.KeptBeside))));
    if (!elsewhere)
        SetFile(m_file);
}
