#pragma once

#include "core/ProgramState.h"
#include "settings/Options.h"
#include "settings/OptionsForm.h"
#include "ui/dialogs/DialogMessages.h"

#include <QDialog>
#include <QTimer>

#include <functional>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QToolButton;

// "Savenook Options": the options record on four tabs and the start at login.
// Not modal; it changes the record only when confirmed with OK.
class frmOptions : public QDialog
{
    Q_OBJECT
  public:
    enum class TrayIcon { Normal, Success, Error };

    frmOptions(ProgramState& state, Options& options, QWidget* parent = nullptr);

    // The program a login entry starts (the installed one when there is one).
    QString Program;
    DialogMessages::Function Message = DialogMessages::Real;
    // Shows one icon in the notification area, for the animation previews.
    std::function<void(TrayIcon)> ShowTrayIcon;

    // Fills every control from the options record and the login entries.
    void LoadControls();
    // The controls as the options file's conversion takes them.
    OptionsForm Form() const;
    void CheckStartup();
    // OK: the login entry, then the options file. False, with the dialog still
    // open, when the name of the version folder is refused or the file could not be written.
    bool Confirm();
    // Starts the animation preview of tmrNod, tmrShake or tmrShrug from the normal icon.
    void StartPreview(QTimer* timer);

    QTabWidget* tbsOptions = nullptr;
    QWidget *fraGeneral = nullptr, *fraNotification = nullptr, *fraErrors = nullptr, *fraFilters = nullptr;
    QCheckBox *chkStartup = nullptr, *chkSplash = nullptr, *chkNotifySuccessDisabled = nullptr,
              *chkNotifyErrorDisabled = nullptr, *chkTrayNod = nullptr, *chkTrayShake = nullptr,
              *chkTrayShrug = nullptr, *chkShowScanning = nullptr, *chkSourceIsBusy = nullptr,
              *chkFullSource = nullptr, *chkFullDest = nullptr, *chkAdvance = nullptr,
              *chkErrorNoSource = nullptr, *chkErrorSourceVol = nullptr, *chkErrorNoDest = nullptr,
              *chkErrorCreateFolder = nullptr, *chkErrorDestVol = nullptr, *chkErrorCopyFailed = nullptr,
              *chkErrorPrevSave = nullptr, *chkErrorLoop = nullptr, *chkUseFilters = nullptr;
    QLineEdit *txtBusyTimeout = nullptr, *txtPrevSave = nullptr, *txtAdvance = nullptr;
    QPlainTextEdit *txtPrefixes = nullptr, *txtSuffixes = nullptr;
    QToolButton *cmdLessAdv = nullptr, *cmdMoreAdv = nullptr;
    QPushButton *cmdOK = nullptr, *cmdCancel = nullptr;
    QTimer tmrNod, tmrShake, tmrShrug;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    struct CheckBinding
    {
        bool OptionsForm::*Field;
        QCheckBox* Box;
    };

    void buildGeneral();
    void buildNotification();
    void buildErrors();
    void buildFilters();
    QCheckBox* check(QWidget* page, const char* name, const QString& caption, bool OptionsForm::*field);
    void stepAdvance(int step);
    void previewTick(QTimer* timer);
    void stopPreviews();
    bool refusePrevSaveName();

    ProgramState& m_state;
    Options& m_options;
    std::vector<CheckBinding> m_checks;
    quint16 m_previewTicks = 0;
};
