#include "ui/dialogs/frmLoad.h"

#include "core/SchemeFiles.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

frmLoad::frmLoad(ProgramState& state, QWidget* parent)
    : SchemeDialog(state, QStringLiteral("flbLoad"), parent)
{
    setObjectName(QStringLiteral("frmLoad"));
    setWindowTitle(QStringLiteral("Load scheme - Savenook"));
    m_state.SchemeLoaded = false;

    cmdOpen = new QPushButton(QStringLiteral("&Load"), this);
    cmdOpen->setObjectName(QStringLiteral("cmdOpen"));
    cmdOpen->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(cmdOpen, QDialogButtonBox::AcceptRole);
    buttons->addButton(cmdCancel, QDialogButtonBox::RejectRole);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(new QLabel(QStringLiteral("* Right-click file area for more options"), this));
    layout->addWidget(buttons);
    resize(360, 300);

    connect(m_list, &QListWidget::itemSelectionChanged, this, &frmLoad::updateButtons);
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { Load(); });
    connect(cmdOpen, &QPushButton::clicked, this, [this] { Load(); });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    updateButtons();
}

void frmLoad::updateButtons()
{
    cmdOpen->setEnabled(!SelectedScheme().isEmpty());
}

void frmLoad::FillMenu(QMenu& menu)
{
    const bool selected = !SelectedScheme().isEmpty();
    QAction* mnuOpen = menu.addAction(QStringLiteral("Open"), this, [this] { Load(); });
    mnuOpen->setObjectName(QStringLiteral("mnuOpen"));
    mnuOpen->setEnabled(selected);
    QAction* mnuDelete = menu.addAction(QStringLiteral("Delete"), this, [this] {
        DeleteSelected();
        updateButtons();
    });
    mnuDelete->setObjectName(QStringLiteral("mnuDelete"));
    mnuDelete->setEnabled(selected);
}

bool frmLoad::Load()
{
    const QString scheme = SelectedScheme();
    if (scheme.isEmpty()) {
        Message(this, QMessageBox::Information, QStringLiteral("Please select a scheme from the list above."),
                QMessageBox::Ok);
        return false;
    }
    if (Message(this, QMessageBox::Question,
                QStringLiteral("Are you sure you want to load the scheme: %1?").arg(scheme),
                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel) != QMessageBox::Yes)
        return false;
    QString error;
    switch (SchemeFiles::Load(scheme, &error)) {
    case SchemeFiles::LoadResult::Loaded:
        SetRecentScheme(scheme);
        // Only a scheme actually copied is reloaded: the model may hold changes not yet written.
        m_state.SchemeLoaded = true;
        break;
    case SchemeFiles::LoadResult::Missing:
        Message(this, QMessageBox::Warning, QStringLiteral("Error in retrieving scheme."), QMessageBox::Ok);
        break;
    case SchemeFiles::LoadResult::Failed:
        Message(this, QMessageBox::Warning,
                QStringLiteral("Error in retrieving scheme.\n\nThe current associations are unchanged:\n%1")
                    .arg(error),
                QMessageBox::Ok);
        break;
    }
    accept();
    return true;
}
