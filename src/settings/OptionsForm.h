#pragma once

#include "settings/Options.h"

#include <QString>

// The options dialog's controls as raw texts and check states, in the order of
// the opts lines. The dialog fills one from its controls; SaveOptions turns it
// into the Options record.
struct OptionsForm
{
    QString BusyTimeout; // txtBusyTimeout
    bool ShowSplash = false;
    QString PrevSaveName; // txtPrevSave
    bool NotifySuccessDisabled = false;
    bool NotifyErrorDisabled = false;
    bool TrayNod = false;
    bool TrayShake = false;
    bool TrayShrug = false;
    bool ShowScanning = false;
    bool SourceIsBusy = false;
    bool FullSource = false;
    bool FullDest = false;
    bool AutoAdvance = false; // chkAdvance
    QString AdvanceSeconds;   // txtAdvance
    bool ErrorNoSource = false;
    bool ErrorSourceVol = false;
    bool ErrorNoDest = false;
    bool ErrorCreateFolder = false;
    bool ErrorDestVol = false;
    bool ErrorCopyFailed = false;
    bool ErrorPrevSave = false;
    bool ErrorLoop = false;
    bool UseFilters = false;
    QString Prefixes; // multi-line, one item per line
    QString Suffixes;
};

// The controls as the dialog shows them for these options: numbers without a
// leading zero before the point (.5), the "|" lists one item per line.
OptionsForm FormFromOptions(const Options& options);

// The record the dialog's controls stand for: an empty or zero busy time is 1,
// an advance time at or below 0.001 is 0.001, an empty previous-version name is
// "PrevSave", lists are trimmed with line breaks turned into "|".
Options OptionsFromForm(const OptionsForm& form);

// The longest time the two number options can hold: in milliseconds it still
// fits the timers and clocks that use it, so a huge value means "very long"
// rather than overflowing into "at once".
inline constexpr double kLongestSeconds = 2147483;
// seconds held within plus or minus kLongestSeconds.
double RepresentableSeconds(double seconds);

// Text to number as the dialog's number boxes mean it: the leading numeric part,
// held within kLongestSeconds.
double FormNumber(const QString& text);

// The opts lines of the two number boxes: the box's text with blanks trimmed,
// or the replacement ("1", "0.001") when the value was raised.
QString BusyTimeoutLine(const OptionsForm& form);
QString AdvanceSecondsLine(const OptionsForm& form);
// Number to text for the dialog's number boxes: 0.5 shows as .5, 30 as 30.
QString FormNumberText(double value);
