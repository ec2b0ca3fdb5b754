#pragma once

#include "core/ProgramState.h"
#include "ui/dialogs/DialogMessages.h"

#include <QDialog>

class QListWidget;
class QMenu;

// What the two scheme dialogs share: the list of the "sch" folder with its
// Delete command, and the recent scheme in the main window's status bar.
class SchemeDialog : public QDialog
{
    Q_OBJECT
  public:
    DialogMessages::Function Message = DialogMessages::Real;

    // The selected scheme file name, empty when none.
    QString SelectedScheme() const;
    void RefreshList();
    // Asks, then deletes the selected scheme and its companion.
    void DeleteSelected();

  protected:
    SchemeDialog(ProgramState& state, const QString& listName, QWidget* parent);
    // The list's pop-up menu, built by each dialog.
    virtual void FillMenu(QMenu& menu) = 0;
    // "Recent scheme: " in the status bar and RecentScheme.
    void SetRecentScheme(const QString& fileName);
    void changeEvent(QEvent* event) override;

    ProgramState& m_state;
    QListWidget* m_list = nullptr;
};
