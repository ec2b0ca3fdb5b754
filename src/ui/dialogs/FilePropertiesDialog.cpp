#include "ui/dialogs/FilePropertiesDialog.h"

#include "core/DateText.h"
#include "ui/dialogs/ShellIcons.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QString typeText(const QFileInfo& info)
{
    if (info.isSymLink())
        return QObject::tr("Link to %1").arg(QDir::toNativeSeparators(info.symLinkTarget()));
    if (info.isDir())
        return QObject::tr("Folder");
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(info);
    if (!mime.isValid() || mime.comment().isEmpty())
        return QObject::tr("File");
    return QStringLiteral("%1 (%2)").arg(mime.comment(), mime.name());
}

QString sizeText(const QFileInfo& info)
{
    const QLocale locale;
    if (info.isDir()) {
        const qsizetype count =
            QDir(info.filePath())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                .size();
        return QObject::tr("%n item(s)", nullptr, int(count));
    }
    if (!info.exists())
        return QString(); // a link whose target is gone
    return QObject::tr("%1 (%2 bytes)")
        .arg(locale.formattedDataSize(info.size()), locale.toString(info.size()));
}

QString ownerText(const QFileInfo& info)
{
    const QString owner = info.owner().isEmpty() ? QString::number(info.ownerId()) : info.owner();
    const QString group = info.group().isEmpty() ? QString::number(info.groupId()) : info.group();
    return owner + QLatin1Char(':') + group;
}
} // namespace

QString FilePropertiesDialog::PermissionText(QFileDevice::Permissions p)
{
    const auto bit = [p](QFileDevice::Permission flag, char letter) {
        return QLatin1Char(p.testFlag(flag) ? letter : '-');
    };
    QString text;
    text += bit(QFileDevice::ReadOwner, 'r');
    text += bit(QFileDevice::WriteOwner, 'w');
    text += bit(QFileDevice::ExeOwner, 'x');
    text += bit(QFileDevice::ReadGroup, 'r');
    text += bit(QFileDevice::WriteGroup, 'w');
    text += bit(QFileDevice::ExeGroup, 'x');
    text += bit(QFileDevice::ReadOther, 'r');
    text += bit(QFileDevice::WriteOther, 'w');
    text += bit(QFileDevice::ExeOther, 'x');
    return text;
}

FilePropertiesDialog::FilePropertiesDialog(const QString& path, QWidget* parent) : QDialog(parent)
{
    // A link is described as itself, not as what it points to.
    QFileInfo info(path);
    const QString name = info.fileName().isEmpty() ? info.absoluteFilePath() : info.fileName();
    setWindowTitle(tr("%1 Properties").arg(name));

    auto* layout = new QVBoxLayout(this);
    auto* heading = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("imgIcon"));
    SetSmallFileIcon(icon, path);
    auto* title = new QLabel(name, this);
    title->setObjectName(QStringLiteral("lblTitle"));
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    heading->addWidget(icon);
    heading->addWidget(title, 1);
    layout->addLayout(heading);

    auto* form = new QFormLayout;
    addRow(form, tr("Name:"), QStringLiteral("lblName"), name);
    addRow(form, tr("Location:"), QStringLiteral("lblLocation"),
           QDir::toNativeSeparators(info.absolutePath()));
    addRow(form, tr("Type:"), QStringLiteral("lblType"), typeText(info));
    addRow(form, tr("Size:"), QStringLiteral("lblSize"), sizeText(info));
    const QDateTime modified = info.isSymLink() && !info.exists()
                                   ? info.fileTime(QFileDevice::FileModificationTime)
                                   : info.lastModified();
    addRow(form, tr("Modified:"), QStringLiteral("lblModified"),
           modified.isValid() ? DateText::Format(modified) : QString());
    addRow(form, tr("Permissions:"), QStringLiteral("lblPermissions"), PermissionText(info.permissions()));
    addRow(form, tr("Owner:"), QStringLiteral("lblOwner"), ownerText(info));
    layout->addLayout(form);
    layout->addStretch(1); // spare height below the fields, not between the rows

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("cmdClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

QLabel* FilePropertiesDialog::addRow(QFormLayout* form, const QString& caption, const QString& objectName,
                                     const QString& text)
{
    auto* value = new QLabel(text, this);
    value->setObjectName(objectName);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setWordWrap(true);
    form->addRow(caption, value);
    return value;
}

bool ShowFileProperties(const QString& path, QWidget* parent)
{
    const QFileInfo info(path);
    if (path.isEmpty() || (!info.exists() && !info.isSymLink()))
        return false;
    auto* dialog = new FilePropertiesDialog(path, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    return true;
}
