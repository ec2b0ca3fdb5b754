#include "ui/dialogs/frmEditDestVolume.h"

#include "ui/dialogs/Prompts.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

frmEditDestVolume::frmEditDestVolume(colDestinations& working, int destIndex, const QString& path,
                                     const QString& volume, const NetworkPaths& paths, Prompts& prompts,
                                     QWidget* parent)
    : QDialog(parent), glngDestIndex(destIndex), m_working(working), m_paths(paths), m_prompts(prompts)
{
    setObjectName(QStringLiteral("frmEditDestVolume"));
    setWindowTitle(QStringLiteral("Edit Destination Volume"));
    setModal(true);
    setMinimumWidth(420);

    txtDestPath = new QLineEdit(path, this);
    txtDestPath->setObjectName(QStringLiteral("txtDestPath"));
    txtDestPath->setReadOnly(true);
    txtVolume = new QLineEdit(volume, this);
    txtVolume->setObjectName(QStringLiteral("txtVolume"));
    const auto button = [this](QPushButton*& b, const char* name, const QString& caption) {
        b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
    };
    button(cmdRetrieve, "cmdRetrieve", QStringLiteral("&Retrieve"));
    button(cmdOk, "cmdOk", QStringLiteral("OK"));
    button(cmdCancel, "cmdCancel", QStringLiteral("&Cancel"));
    cmdOk->setDefault(true);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Destination path:"), this), 0, 0, 1, 2);
    grid->addWidget(txtDestPath, 1, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Pass this destination volume name:"), this), 2, 0, 1, 2);
    grid->addWidget(txtVolume, 3, 0);
    grid->addWidget(cmdRetrieve, 3, 1);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(cmdOk);
    row->addWidget(cmdCancel);
    grid->addLayout(row, 4, 0, 1, 2);

    connect(cmdRetrieve, &QPushButton::clicked, this, &frmEditDestVolume::cmdRetrieve_Click);
    connect(cmdOk, &QPushButton::clicked, this, &frmEditDestVolume::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmEditDestVolume::cmdRetrieve_Click()
{
    const NetworkPaths::PathVolume volume = m_paths.GetPathVolume(txtDestPath->text());
    if (volume.IsReady())
        txtVolume->setText(*volume.Label());
    else if (volume.State() == NetworkPaths::PathVolume::Outcome::NotReady)
        m_prompts.Message(this, Prompts::Icon::Exclamation, QStringLiteral("Drive is not ready!"));
    else
        m_prompts.Message(this, Prompts::Icon::Exclamation, NetworkPaths::DriveGoneMessage);
}

void frmEditDestVolume::cmdOk_Click()
{
    clsDestination* edited = m_working.Item(glngDestIndex);
    if (!edited) {
        reject();
        return;
    }
    // Paths compare exactly, as the file system does; volume names ignore case.
    for (int position = 1; position <= m_working.Count(); ++position) {
        const clsDestination& other = *m_working.Item(position);
        if (position != glngDestIndex && other.Path == edited->Path &&
            other.Volume.compare(txtVolume->text(), Qt::CaseInsensitive) == 0) {
            m_prompts.Message(
                this, Prompts::Icon::Information,
                QStringLiteral("A destination with this path and volume name is already assigned "
                               "to this association. Edit the volume name and try again."));
            return;
        }
    }
    edited->Volume = txtVolume->text();
    accept();
}
