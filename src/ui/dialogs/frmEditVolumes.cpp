#include "ui/dialogs/frmEditVolumes.h"

#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/SourceVolumeList.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace {
const QString kOneNameNeeded =
    QStringLiteral("At least one volume name must be assigned to the source path.");
}

frmEditVolumes::frmEditVolumes(const QString& volumes, const QString& sourcePath, const NetworkPaths& paths,
                               Prompts& prompts, QWidget* parent)
    : QDialog(parent), m_volumes(volumes), m_sourcePath(sourcePath), m_paths(paths), m_prompts(prompts)
{
    setObjectName(QStringLiteral("frmEditVolumes"));
    setWindowTitle(QStringLiteral("Edit Source Volumes"));
    setModal(true);

    lbxVolumes = new QListWidget(this);
    lbxVolumes->setObjectName(QStringLiteral("lbxVolumes"));
    lbxVolumes->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lbxVolumes->installEventFilter(this);
    txtVolume = new QLineEdit(this);
    txtVolume->setObjectName(QStringLiteral("txtVolume"));
    chkNoVol = new QCheckBox(QStringLiteral("Back up source if volume is blank"), this);
    chkNoVol->setObjectName(QStringLiteral("chkNoVol"));
    const auto button = [this](QPushButton*& b, const char* name, const QString& caption) {
        b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
    };
    button(cmdAdd, "cmdAdd", QStringLiteral("&Add"));
    button(cmdRemove, "cmdRemove", QStringLiteral("&Remove"));
    button(cmdRetrieve, "cmdRetrieve", QStringLiteral("R&etrieve"));
    button(cmdOk, "cmdOk", QStringLiteral("OK"));
    button(cmdCancel, "cmdCancel", QStringLiteral("&Cancel"));
    cmdOk->setDefault(true);

    auto* grid = new QGridLayout(this);
    auto* listLabel = new QLabel(QStringLiteral("Pass these source volume names:"), this);
    listLabel->setBuddy(lbxVolumes);
    grid->addWidget(listLabel, 0, 0, 1, 2);
    grid->addWidget(lbxVolumes, 1, 0, 3, 1);
    grid->addWidget(cmdRemove, 1, 1);
    grid->addWidget(chkNoVol, 4, 0, 1, 2);
    auto* addLabel = new QLabel(QStringLiteral("Volume name to add:"), this);
    addLabel->setBuddy(txtVolume);
    grid->addWidget(addLabel, 5, 0, 1, 2);
    grid->addWidget(txtVolume, 6, 0);
    grid->addWidget(cmdAdd, 6, 1);
    grid->addWidget(cmdRetrieve, 7, 1);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(cmdOk);
    row->addWidget(cmdCancel);
    grid->addLayout(row, 8, 0, 1, 2);

    const SourceVolumeList list = SourceVolumeList::Decode(volumes);
    lbxVolumes->addItems(list.Names);
    if (volumes.isEmpty())
        lbxVolumes->addItem(QString());
    chkNoVol->setChecked(list.AcceptBlank);

    connect(cmdAdd, &QPushButton::clicked, this, &frmEditVolumes::cmdAdd_Click);
    connect(cmdRemove, &QPushButton::clicked, this, &frmEditVolumes::cmdRemove_Click);
    connect(cmdRetrieve, &QPushButton::clicked, this, &frmEditVolumes::cmdRetrieve_Click);
    connect(cmdOk, &QPushButton::clicked, this, &frmEditVolumes::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(chkNoVol, &QCheckBox::clicked, this, &frmEditVolumes::chkNoVol_Click);
}

void frmEditVolumes::cmdAdd_Click()
{
    const QString name = txtVolume->text();
    if (!name.isEmpty()) {
        bool listed = false;
        for (int i = 0; i < lbxVolumes->count(); ++i)
            listed = listed || lbxVolumes->item(i)->text().compare(name, Qt::CaseInsensitive) == 0;
        if (!listed)
            lbxVolumes->addItem(name.toUpper());
    }
    txtVolume->setFocus();
}

void frmEditVolumes::cmdRemove_Click()
{
    const QList<QListWidgetItem*> selected = lbxVolumes->selectedItems();
    if (selected.size() == lbxVolumes->count() && !chkNoVol->isChecked()) {
        m_prompts.Message(this, Prompts::Icon::Information, kOneNameNeeded);
        return;
    }
    qDeleteAll(selected);
}

void frmEditVolumes::chkNoVol_Click()
{
    if (!chkNoVol->isChecked() && lbxVolumes->count() == 0) {
        chkNoVol->setChecked(true);
        m_prompts.Message(this, Prompts::Icon::Information, kOneNameNeeded);
    }
}

void frmEditVolumes::cmdRetrieve_Click()
{
    const NetworkPaths::PathVolume volume = m_paths.GetPathVolume(m_sourcePath);
    if (volume.IsReady())
        txtVolume->setText(*volume.Label());
    else
        m_prompts.Message(this, Prompts::Icon::Exclamation, volume.FailureMessage());
}

void frmEditVolumes::cmdOk_Click()
{
    SourceVolumeList list;
    for (int i = 0; i < lbxVolumes->count(); ++i)
        list.Names << lbxVolumes->item(i)->text();
    list.AcceptBlank = chkNoVol->isChecked();
    m_volumes = list.Encode();
    accept();
}

bool frmEditVolumes::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lbxVolumes && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        cmdRemove_Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
