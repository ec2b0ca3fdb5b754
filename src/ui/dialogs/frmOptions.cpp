#include "ui/dialogs/frmOptions.h"

#include "core/DataFolder.h"
#include "platform/AutostartEntry.h"
#include "platform/ProgramFiles.h"
#include "settings/OptionsFile.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int kPreviewTicks = 25;
constexpr int kPreviewIntervalMs = 125;
// Characters a file name cannot hold on the systems the destinations may live on.
const QString kNotInFileNames = QStringLiteral("|\\/:*?\"<>");

QLabel* note(QWidget* parent, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

QLineEdit* numberBox(QWidget* parent, const char* name)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setMaximumWidth(70);
    box->setAlignment(Qt::AlignRight);
    return box;
}

// The multi-line boxes show line feeds; the options file's conversion takes CR LF line ends.
QString boxToForm(const QString& text)
{
    QString lines = text;
    return lines.replace(u'\n', QStringLiteral("\r\n"));
}

QString formToBox(const QString& text)
{
    QString lines = text;
    return lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

frmOptions::frmOptions(ProgramState& state, Options& options, QWidget* parent)
    : QDialog(parent), Program(ProgramFiles::Executable()), m_state(state), m_options(options)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Savenook Options"));
    setModal(false);

    tbsOptions = new QTabWidget(this);
    tbsOptions->setObjectName(QStringLiteral("tbsOptions"));
    buildGeneral();
    buildNotification();
    buildErrors();
    buildFilters();

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(cmdOK, QDialogButtonBox::AcceptRole);
    buttons->addButton(cmdCancel, QDialogButtonBox::RejectRole);
    connect(cmdOK, &QPushButton::clicked, this, [this] { Confirm(); });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tbsOptions);
    layout->addWidget(buttons);

    connect(chkAdvance, &QCheckBox::toggled, txtAdvance, &QWidget::setEnabled);
    connect(chkUseFilters, &QCheckBox::toggled, txtPrefixes, &QWidget::setEnabled);
    connect(chkUseFilters, &QCheckBox::toggled, txtSuffixes, &QWidget::setEnabled);
    connect(cmdMoreAdv, &QToolButton::clicked, this, [this] { stepAdvance(1); });
    connect(cmdLessAdv, &QToolButton::clicked, this, [this] { stepAdvance(-1); });
    for (QLineEdit* box : {txtBusyTimeout, txtAdvance, txtPrevSave})
        box->installEventFilter(this);
    for (QCheckBox* box : {chkTrayNod, chkTrayShake, chkTrayShrug})
        box->installEventFilter(this);
    for (QTimer* timer : {&tmrNod, &tmrShake, &tmrShrug})
        connect(timer, &QTimer::timeout, this, [this, timer] { previewTick(timer); });

    LoadControls();
}

QCheckBox* frmOptions::check(QWidget* page, const char* name, const QString& caption,
                             bool OptionsForm::*field)
{
    auto* box = new QCheckBox(caption, page);
    box->setObjectName(QLatin1String(name));
    if (field)
        m_checks.push_back({field, box});
    page->layout()->addWidget(box);
    return box;
}

void frmOptions::buildGeneral()
{
    fraGeneral = new QWidget;
    fraGeneral->setObjectName(QStringLiteral("fraGeneral"));
    auto* layout = new QVBoxLayout(fraGeneral);
    chkStartup =
        check(fraGeneral, "chkStartup", QStringLiteral("Run Savenook at startup (This user only)"), nullptr);
    layout->addSpacing(8);
    layout->addWidget(note(fraGeneral, QStringLiteral("Time until copy fails when source file is busy or "
                                                      "permission is denied")));
    auto* busyRow = new QHBoxLayout;
    txtBusyTimeout = numberBox(fraGeneral, "txtBusyTimeout");
    busyRow->addWidget(txtBusyTimeout);
    busyRow->addWidget(new QLabel(QStringLiteral("seconds*"), fraGeneral));
    busyRow->addStretch();
    layout->addLayout(busyRow);
    layout->addWidget(
        note(fraGeneral, QStringLiteral("* Value should be greater if backing up large files like "
                                        "those of media")));
    layout->addSpacing(8);
    chkSplash = check(fraGeneral, "chkSplash", QStringLiteral("Start Savenook with splash screen*"),
                      &OptionsForm::ShowSplash);
    layout->addWidget(note(fraGeneral, QStringLiteral("* Splash screen shows only on icon click to start")));
    layout->addSpacing(8);
    layout->addWidget(note(
        fraGeneral, QStringLiteral("Base name of previous version storage folder in destination folder")));
    txtPrevSave = new QLineEdit(fraGeneral);
    txtPrevSave->setObjectName(QStringLiteral("txtPrevSave"));
    layout->addWidget(txtPrevSave);
    layout->addStretch();
    tbsOptions->addTab(fraGeneral, QStringLiteral("General"));
}

void frmOptions::buildNotification()
{
    fraNotification = new QWidget;
    fraNotification->setObjectName(QStringLiteral("fraNotification"));
    auto* layout = new QVBoxLayout(fraNotification);
    QWidget* page = fraNotification;
    chkNotifySuccessDisabled =
        check(page, "chkNotifySuccessDisabled", QStringLiteral("Disable notification on success"),
              &OptionsForm::NotifySuccessDisabled);
    chkNotifyErrorDisabled =
        check(page, "chkNotifyErrorDisabled", QStringLiteral("Disable notification on error"),
              &OptionsForm::NotifyErrorDisabled);
    chkTrayNod = check(page, "chkTrayNod", QStringLiteral("Animate system tray icon on success"),
                       &OptionsForm::TrayNod);
    chkTrayShake = check(page, "chkTrayShake", QStringLiteral("Animate system tray icon on error"),
                         &OptionsForm::TrayShake);
    chkTrayShrug = check(page, "chkTrayShrug", QStringLiteral("Animate system tray icon on mixed results"),
                         &OptionsForm::TrayShrug);
    chkShowScanning =
        check(page, "chkShowScanning", QStringLiteral("Show notification when scanning for updated files"),
              &OptionsForm::ShowScanning);
    chkSourceIsBusy =
        check(page, "chkSourceIsBusy", QStringLiteral("Show notification when permission is denied"),
              &OptionsForm::SourceIsBusy);
    chkFullSource =
        check(page, "chkFullSource", QStringLiteral("Show full source path"), &OptionsForm::FullSource);
    chkFullDest =
        check(page, "chkFullDest", QStringLiteral("Show full destination path"), &OptionsForm::FullDest);

    auto* advanceRow = new QHBoxLayout;
    chkAdvance = new QCheckBox(QStringLiteral("Auto advance notifications after"), page);
    chkAdvance->setObjectName(QStringLiteral("chkAdvance"));
    m_checks.push_back({&OptionsForm::AutoAdvance, chkAdvance});
    txtAdvance = numberBox(page, "txtAdvance");
    cmdLessAdv = new QToolButton(page);
    cmdLessAdv->setObjectName(QStringLiteral("cmdLessAdv"));
    cmdLessAdv->setArrowType(Qt::DownArrow);
    cmdLessAdv->setToolTip(QStringLiteral("One second less"));
    cmdMoreAdv = new QToolButton(page);
    cmdMoreAdv->setObjectName(QStringLiteral("cmdMoreAdv"));
    cmdMoreAdv->setArrowType(Qt::UpArrow);
    cmdMoreAdv->setToolTip(QStringLiteral("One second more"));
    advanceRow->addWidget(chkAdvance);
    advanceRow->addWidget(txtAdvance);
    advanceRow->addWidget(cmdLessAdv);
    advanceRow->addWidget(cmdMoreAdv);
    advanceRow->addWidget(new QLabel(QStringLiteral("seconds*"), page));
    advanceRow->addStretch();
    layout->addLayout(advanceRow);
    layout->addWidget(note(page, QStringLiteral("* Value factored over number of queued notifications")));
    layout->addWidget(note(page, QStringLiteral("* Right-click checkboxes for preview in system tray")));
    layout->addStretch();
    tbsOptions->addTab(page, QStringLiteral("Notification"));
}

void frmOptions::buildErrors()
{
    fraErrors = new QWidget;
    fraErrors->setObjectName(QStringLiteral("fraErrors"));
    auto* layout = new QVBoxLayout(fraErrors);
    layout->addWidget(note(fraErrors, QStringLiteral("Show notification on the following checked errors:")));
    QWidget* page = fraErrors;
    chkErrorNoSource =
        check(page, "chkErrorNoSource", QStringLiteral("Source file / drive no longer exists / is not ready"),
              &OptionsForm::ErrorNoSource);
    chkErrorSourceVol = check(page, "chkErrorSourceVol", QStringLiteral("Source volume name mismatch"),
                              &OptionsForm::ErrorSourceVol);
    chkErrorNoDest =
        check(page, "chkErrorNoDest", QStringLiteral("Destination drive no longer exists / is not ready"),
              &OptionsForm::ErrorNoDest);
    chkErrorCreateFolder =
        check(page, "chkErrorCreateFolder", QStringLiteral("Cannot create destination folder(s)"),
              &OptionsForm::ErrorCreateFolder);
    chkErrorDestVol = check(page, "chkErrorDestVol", QStringLiteral("Destination volume name mismatch"),
                            &OptionsForm::ErrorDestVol);
    chkErrorCopyFailed =
        check(page, "chkErrorCopyFailed", QStringLiteral("Copy failed"), &OptionsForm::ErrorCopyFailed);
    chkErrorPrevSave = check(page, "chkErrorPrevSave", QStringLiteral("Storing of previous version failed"),
                             &OptionsForm::ErrorPrevSave);
    chkErrorLoop =
        check(page, "chkErrorLoop", QStringLiteral("Attempted to save into recursive source folder"),
              &OptionsForm::ErrorLoop);
    layout->addStretch();
    tbsOptions->addTab(page, QStringLiteral("Errors"));
}

void frmOptions::buildFilters()
{
    fraFilters = new QWidget;
    fraFilters->setObjectName(QStringLiteral("fraFilters"));
    auto* layout = new QVBoxLayout(fraFilters);
    chkUseFilters =
        check(fraFilters, "chkUseFilters", QStringLiteral("Use filters to block copying of certain files"),
              &OptionsForm::UseFilters);
    auto* grid = new QGridLayout;
    txtPrefixes = new QPlainTextEdit(fraFilters);
    txtPrefixes->setObjectName(QStringLiteral("txtPrefixes"));
    txtSuffixes = new QPlainTextEdit(fraFilters);
    txtSuffixes->setObjectName(QStringLiteral("txtSuffixes"));
    for (QPlainTextEdit* box : {txtPrefixes, txtSuffixes}) {
        box->setLineWrapMode(QPlainTextEdit::NoWrap);
        box->setTabChangesFocus(true);
    }
    grid->addWidget(new QLabel(QStringLiteral("File prefixes to block: (i.e. ~)"), fraFilters), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("File suffixes to block: (i.e. .tmp)"), fraFilters), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("(One per line)"), fraFilters), 1, 0);
    grid->addWidget(new QLabel(QStringLiteral("(One per line)"), fraFilters), 1, 1);
    grid->addWidget(txtPrefixes, 2, 0);
    grid->addWidget(txtSuffixes, 2, 1);
    layout->addLayout(grid);
    tbsOptions->addTab(fraFilters, QStringLiteral("Filters"));
}

void frmOptions::LoadControls()
{
    tbsOptions->setCurrentWidget(fraGeneral);
    CheckStartup();
    const OptionsForm form = FormFromOptions(m_options);
    for (const CheckBinding& b : m_checks)
        b.Box->setChecked(form.*b.Field);
    txtBusyTimeout->setText(form.BusyTimeout.trimmed());
    txtPrevSave->setText(form.PrevSaveName);
    txtAdvance->setText(form.AdvanceSeconds.trimmed());
    txtPrefixes->setPlainText(formToBox(form.Prefixes));
    txtSuffixes->setPlainText(formToBox(form.Suffixes));
    txtAdvance->setEnabled(chkAdvance->isChecked());
    txtPrefixes->setEnabled(chkUseFilters->isChecked());
    txtSuffixes->setEnabled(chkUseFilters->isChecked());
}

OptionsForm frmOptions::Form() const
{
    OptionsForm form;
    for (const CheckBinding& b : m_checks)
        form.*b.Field = b.Box->isChecked();
    form.BusyTimeout = txtBusyTimeout->text();
    form.PrevSaveName = txtPrevSave->text();
    form.AdvanceSeconds = txtAdvance->text();
    form.Prefixes = boxToForm(txtPrefixes->toPlainText());
    form.Suffixes = boxToForm(txtSuffixes->toPlainText());
    return form;
}

void frmOptions::CheckStartup()
{
    chkStartup->setChecked(AutostartEntry::IsPresent(Program));
}

bool frmOptions::refusePrevSaveName()
{
    // The name is a folder inside every destination: it must stay one folder there.
    const QString name = txtPrevSave->text().trimmed();
    bool plain = name != QLatin1String(".") && name != QLatin1String("..");
    for (const QChar c : name)
        plain = plain && c.unicode() >= 0x20 && !kNotInFileNames.contains(c);
    if (plain)
        return false;
    tbsOptions->setCurrentWidget(fraGeneral);
    Message(
        this, QMessageBox::Warning,
        QStringLiteral("The base name of the previous version storage folder must be a plain folder name.\n\n"
                       "It cannot be \".\" or \"..\", and cannot hold a line break or any of the characters "
                       "| \\ / : * ? \" < >."),
        QMessageBox::Ok);
    txtPrevSave->setFocus();
    return true;
}

bool frmOptions::Confirm()
{
    if (refusePrevSaveName())
        return false;
    if (!AutostartEntry::Apply(chkStartup->isChecked(), Program))
        Message(this, QMessageBox::Warning,
                QStringLiteral("Savenook could not %1 its login entry in %2.")
                    .arg(chkStartup->isChecked() ? QStringLiteral("create") : QStringLiteral("remove"),
                         AutostartEntry::Folder()),
                QMessageBox::Ok);
    // Written first, kept only once written: a dialog that stays open must not have changed anything.
    Options saved = m_options;
    if (!SaveOptions(Form(), saved)) {
        Message(this, QMessageBox::Warning,
                QStringLiteral("The options could not be saved, so they are unchanged.\n\n"
                               "Check that the folder %1 can be written to, then press OK again.")
                    .arg(DataFolder()),
                QMessageBox::Ok);
        return false;
    }
    m_options = saved;
    accept();
    return true;
}

void frmOptions::stepAdvance(int step)
{
    const double value = FormNumber(txtAdvance->text());
    if (value == (step > 0 ? 99 : 1))
        return;
    txtAdvance->setText(FormNumberText(value + step).trimmed());
}

void frmOptions::stopPreviews()
{
    for (QTimer* timer : {&tmrNod, &tmrShake, &tmrShrug})
        timer->stop();
    m_previewTicks = 0;
}

void frmOptions::StartPreview(QTimer* timer)
{
    stopPreviews();
    if (ShowTrayIcon)
        ShowTrayIcon(TrayIcon::Normal);
    timer->start(1);
}

void frmOptions::previewTick(QTimer* timer)
{
    // Nod: success and normal; shake: error and normal; shrug: success, normal, error, normal.
    static constexpr TrayIcon kShrug[] = {TrayIcon::Success, TrayIcon::Normal, TrayIcon::Error,
                                          TrayIcon::Normal};
    const TrayIcon first = timer == &tmrShake ? TrayIcon::Error : TrayIcon::Success;
    const TrayIcon shown = timer == &tmrShrug ? kShrug[m_previewTicks % 4]
                                              : (m_previewTicks % 2 == 0 ? first : TrayIcon::Normal);
    if (ShowTrayIcon)
        ShowTrayIcon(shown);
    if (m_previewTicks >= kPreviewTicks) {
        timer->stop();
        m_previewTicks = 0;
        return;
    }
    timer->setInterval(kPreviewIntervalMs);
    ++m_previewTicks;
}

bool frmOptions::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const QString text = static_cast<QKeyEvent*>(event)->text();
        // Control characters (Backspace, Delete, shortcuts) pass; typed characters are filtered.
        if (!text.isEmpty() && text.at(0).isPrint()) {
            if ((watched == txtBusyTimeout || watched == txtAdvance) && !text.at(0).isDigit())
                return true;
            if (watched == txtPrevSave && kNotInFileNames.contains(text.at(0)))
                return true;
        }
    }
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        if (watched == chkTrayNod)
            StartPreview(&tmrNod);
        else if (watched == chkTrayShake)
            StartPreview(&tmrShake);
        else if (watched == chkTrayShrug)
            StartPreview(&tmrShrug);
    }
    return QDialog::eventFilter(watched, event);
}

void frmOptions::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        m_state.OwnWindowActivated = true;
    QDialog::changeEvent(event);
}

void frmOptions::hideEvent(QHideEvent* event)
{
    // A preview cut short must not leave the success or error icon in the tray.
    if (tmrNod.isActive() || tmrShake.isActive() || tmrShrug.isActive()) {
        stopPreviews();
        if (ShowTrayIcon)
            ShowTrayIcon(TrayIcon::Normal);
    }
    QDialog::hideEvent(event);
}
