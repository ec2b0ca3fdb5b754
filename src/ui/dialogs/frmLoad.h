#pragma once

#include "ui/dialogs/SchemeDialog.h"

class QPushButton;

// "Load scheme - Savenook": replaces the stores by a saved scheme. The caller
// reloads the associations when SchemeLoaded is set.
class frmLoad : public SchemeDialog
{
    Q_OBJECT
  public:
    explicit frmLoad(ProgramState& state, QWidget* parent = nullptr);

    // The Load button: false when the dialog stays open.
    bool Load();

    QPushButton *cmdOpen = nullptr, *cmdCancel = nullptr;

  protected:
    void FillMenu(QMenu& menu) override;

  private:
    void updateButtons();
};
