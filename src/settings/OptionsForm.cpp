#include "settings/OptionsForm.h"

#include "core/StoreValues.h"

namespace {

// Blanks only: a line break at either end of a list box is an empty item the user left there.
QString trimBlanks(const QString& text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text.at(start) == u' ')
        ++start;
    while (end > start && text.at(end - 1) == u' ')
        --end;
    return text.mid(start, end - start);
}

QString listToLines(const QString& list)
{
    QString text = list;
    return text.replace(u'|', QStringLiteral("\r\n"));
}

// Line breaks become "|", so a box ending in a line break gives an empty last item.
QString linesToList(const QString& text)
{
    QString list;
    for (const QChar c : trimBlanks(text)) {
        if (c == u'\r')
            list += u'|';
        else if (c != u'\n')
            list += c;
    }
    return list;
}

} // namespace

double FormNumber(const QString& text)
{
    return StoreValues::ReadNumber(text);
}

QString FormNumberText(double value)
{
    QString text = StoreValues::WriteNumber(value);
    if (text.startsWith(QLatin1String("0.")))
        text.remove(0, 1);
    else if (text.startsWith(QLatin1String("-0.")))
        text.remove(1, 1);
    return text;
}

OptionsForm FormFromOptions(const Options& o)
{
    OptionsForm f;
    f.BusyTimeout = FormNumberText(o.BusyTimeout);
    f.ShowSplash = o.ShowSplash;
    f.PrevSaveName = o.PrevSaveName;
    f.NotifySuccessDisabled = o.NotifySuccessDisabled;
    f.NotifyErrorDisabled = o.NotifyErrorDisabled;
    f.TrayNod = o.TrayNod;
    f.TrayShake = o.TrayShake;
    f.TrayShrug = o.TrayShrug;
    f.ShowScanning = o.ShowScanning;
    f.SourceIsBusy = o.SourceIsBusy;
    f.FullSource = o.FullSource;
    f.FullDest = o.FullDest;
    f.AutoAdvance = o.AutoAdvance;
    f.AdvanceSeconds = FormNumberText(o.AdvanceSeconds);
    f.ErrorNoSource = o.ErrorNoSource;
    f.ErrorSourceVol = o.ErrorSourceVol;
    f.ErrorNoDest = o.ErrorNoDest;
    f.ErrorCreateFolder = o.ErrorCreateFolder;
    f.ErrorDestVol = o.ErrorDestVol;
    f.ErrorCopyFailed = o.ErrorCopyFailed;
    f.ErrorPrevSave = o.ErrorPrevSave;
    f.ErrorLoop = o.ErrorLoop;
    f.UseFilters = o.UseFilters;
    f.Prefixes = listToLines(o.Prefixes);
    f.Suffixes = listToLines(o.Suffixes);
    return f;
}

Options OptionsFromForm(const OptionsForm& f)
{
    Options o;
    const double busy = FormNumber(f.BusyTimeout);
    o.BusyTimeout = busy == 0 ? 1 : busy;
    o.ShowSplash = f.ShowSplash;
    const QString prevSave = trimBlanks(f.PrevSaveName);
    o.PrevSaveName = prevSave.isEmpty() ? QStringLiteral("PrevSave") : prevSave;
    o.NotifySuccessDisabled = f.NotifySuccessDisabled;
    o.NotifyErrorDisabled = f.NotifyErrorDisabled;
    o.TrayNod = f.TrayNod;
    o.TrayShake = f.TrayShake;
    o.TrayShrug = f.TrayShrug;
    o.ShowScanning = f.ShowScanning;
    o.SourceIsBusy = f.SourceIsBusy;
    o.FullSource = f.FullSource;
    o.FullDest = f.FullDest;
    o.AutoAdvance = f.AutoAdvance;
    const double advance = FormNumber(f.AdvanceSeconds);
    o.AdvanceSeconds = advance <= 0.001 ? 0.001 : advance;
    o.ErrorNoSource = f.ErrorNoSource;
    o.ErrorSourceVol = f.ErrorSourceVol;
    o.ErrorNoDest = f.ErrorNoDest;
    o.ErrorCreateFolder = f.ErrorCreateFolder;
    o.ErrorDestVol = f.ErrorDestVol;
    o.ErrorCopyFailed = f.ErrorCopyFailed;
    o.ErrorPrevSave = f.ErrorPrevSave;
    o.ErrorLoop = f.ErrorLoop;
    o.UseFilters = f.UseFilters;
    o.Prefixes = linesToList(f.Prefixes);
    o.Suffixes = linesToList(f.Suffixes);
    return o;
}
