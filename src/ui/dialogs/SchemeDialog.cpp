#include "ui/dialogs/SchemeDialog.h"

#include "core/SchemeFiles.h"

#include <QEvent>
#include <QListWidget>
#include <QMenu>

SchemeDialog::SchemeDialog(ProgramState& state, const QString& listName, QWidget* parent)
    : QDialog(parent), m_state(state)
{
    SchemeFiles::MakeFolder();
    m_list = new QListWidget(this);
    m_list->setObjectName(listName);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        FillMenu(menu);
        menu.exec(m_list->viewport()->mapToGlobal(at));
    });
    RefreshList();
}

QString SchemeDialog::SelectedScheme() const
{
    const QListWidgetItem* item = m_list->currentItem();
    return item && item->isSelected() ? item->text() : QString();
}

void SchemeDialog::RefreshList()
{
    m_list->clear();
    m_list->addItems(SchemeFiles::List());
}

void SchemeDialog::DeleteSelected()
{
    const QString scheme = SelectedScheme();
    if (scheme.isEmpty())
        return;
    if (Message(this, QMessageBox::Question,
                QStringLiteral("Are you sure you want to delete this Savenook scheme?"),
                QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
        return;
    if (!SchemeFiles::Delete(scheme))
        Message(this, QMessageBox::Warning,
                QStringLiteral("The scheme %1 could not be deleted completely.").arg(scheme),
                QMessageBox::Ok);
    RefreshList();
}

void SchemeDialog::SetRecentScheme(const QString& fileName)
{
    m_state.RecentScheme = fileName;
    if (m_state.Status)
        m_state.Status->SetPanelText(QStringLiteral("Scheme"),
                                     QStringLiteral("Recent scheme: %1 ").arg(fileName));
}

void SchemeDialog::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        m_state.OwnWindowActivated = true;
    QDialog::changeEvent(event);
}
