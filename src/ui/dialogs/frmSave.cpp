#include "ui/dialogs/frmSave.h"

#include "core/SchemeFiles.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

frmSave::frmSave(ProgramState& state, QWidget* parent)
    : SchemeDialog(state, QStringLiteral("flbSave"), parent)
{
    setObjectName(QStringLiteral("frmSave"));
    setWindowTitle(QStringLiteral("Save scheme - Savenook"));

    txtSchemeName = new QLineEdit(this);
    txtSchemeName->setObjectName(QStringLiteral("txtSchemeName"));
    // Refuses the characters a file name cannot hold as they are typed, and a paste that holds them.
    txtSchemeName->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[^\"*/:<>?\\\\|\\x00-\\x1f]*")), this));
    cmdSave = new QPushButton(QStringLiteral("Save"), this);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    cmdSave->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(cmdSave, QDialogButtonBox::AcceptRole);
    buttons->addButton(cmdCancel, QDialogButtonBox::RejectRole);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(new QLabel(QStringLiteral("* Right-click file area for more options"), this));
    layout->addWidget(new QLabel(QStringLiteral("Filename:"), this));
    layout->addWidget(txtSchemeName);
    layout->addWidget(buttons);
    resize(360, 320);

    connect(m_list, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        QString name = item->text();
        if (name.endsWith(QLatin1String(".sch")))
            name.chop(4);
        txtSchemeName->setText(name);
    });
    connect(cmdSave, &QPushButton::clicked, this, [this] { Save(); });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmSave::FillMenu(QMenu& menu)
{
    QAction* mnuDelete = menu.addAction(QStringLiteral("Delete"), this, &SchemeDialog::DeleteSelected);
    mnuDelete->setObjectName(QStringLiteral("mnuDelete"));
    mnuDelete->setEnabled(!SelectedScheme().isEmpty());
}

bool frmSave::Save()
{
    const QString typed = txtSchemeName->text().trimmed();
    if (typed.isEmpty()) {
        Message(this, QMessageBox::Warning, QStringLiteral("Please enter a name for this scheme."),
                QMessageBox::Ok);
        return false;
    }
    const QString fileName = SchemeFiles::FileName(typed);
    if (fileName.isEmpty()) {
        Message(this, QMessageBox::Warning,
                QStringLiteral("A scheme name cannot be \"..\" and cannot hold a line break or any of the "
                               "characters \" * / : < > ? \\ |."),
                QMessageBox::Ok);
        return false;
    }
    if (SchemeFiles::Exists(fileName) &&
        Message(this, QMessageBox::Question,
                QStringLiteral("There is already a scheme saved by this name\nOverwrite it?"),
                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel) != QMessageBox::Yes)
        return false;
    QString error;
    if (!SchemeFiles::Save(m_state, fileName, &error)) {
        Message(this, QMessageBox::Warning, QStringLiteral("The scheme could not be saved:\n%1").arg(error),
                QMessageBox::Ok);
        RefreshList();
        return false;
    }
    Message(this, QMessageBox::Information, QStringLiteral("Scheme saved successfully!"), QMessageBox::Ok);
    SetRecentScheme(fileName);
    if (TreeClick)
        TreeClick();
    accept();
    return true;
}
