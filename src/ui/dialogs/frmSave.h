#pragma once

#include "ui/dialogs/SchemeDialog.h"

#include <functional>

class QLineEdit;
class QPushButton;

// "Save scheme - Savenook": the current associations under a name in "sch".
class frmSave : public SchemeDialog
{
    Q_OBJECT
  public:
    explicit frmSave(ProgramState& state, QWidget* parent = nullptr);

    // The main window's tree click handler, run after a save.
    std::function<void()> TreeClick;

    // The Save button: false when the dialog stays open.
    bool Save();

    QLineEdit* txtSchemeName = nullptr;
    QPushButton *cmdSave = nullptr, *cmdCancel = nullptr;

  protected:
    void FillMenu(QMenu& menu) override;
};
