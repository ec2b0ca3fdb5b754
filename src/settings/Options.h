#pragma once

#include <QString>

// Every program-wide setting that is not part of an association, in the order
// of their lines in the opts file. Defaults are those used when opts is absent;
// ShowSplash is the only field whose default equals its start value.
struct Options
{
    double BusyTimeout = 30;
    bool ShowSplash = false;
    QString PrevSaveName = QStringLiteral("~PrevSave");
    bool NotifySuccessDisabled = false;
    bool NotifyErrorDisabled = false;
    bool TrayNod = true;
    bool TrayShake = true;
    bool TrayShrug = true;
    bool ShowScanning = false;
    bool SourceIsBusy = true;
    bool FullSource = false;
    bool FullDest = false;
    bool AutoAdvance = true;
    double AdvanceSeconds = 3;
    bool ErrorNoSource = true;
    bool ErrorSourceVol = true;
    bool ErrorNoDest = true;
    bool ErrorCreateFolder = true;
    bool ErrorDestVol = true;
    bool ErrorCopyFailed = true;
    bool ErrorPrevSave = true;
    bool ErrorLoop = true;
    bool UseFilters = false;
    QString Prefixes;
    QString Suffixes;

    bool operator==(const Options&) const = default;
};
