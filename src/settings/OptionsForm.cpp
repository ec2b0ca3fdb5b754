#include "settings/OptionsForm.h"

#include "core/StoreValues.h"

#include <algorithm>
#include <cmath>
#include <utility>

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
// Qt's text boxes hand back LF alone; older files and pasted text may hold CR LF.
QString linesToList(const QString& text)
{
    const QString trimmed = trimBlanks(text);
    QString list;
    for (qsizetype i = 0; i < trimmed.size(); ++i) {
        const QChar c = trimmed.at(i);
        if (c == u'\r' && i + 1 < trimmed.size() && trimmed.at(i + 1) == u'\n')
            ++i;
        list += c == u'\r' || c == u'\n' ? QChar(u'|') : c;
    }
    return list;
}

// The check boxes: each stands for one switch of the record, unchanged.
constexpr std::pair<bool Options::*, bool OptionsForm::*> kCheckBoxes[] = {
    {&Options::ShowSplash, &OptionsForm::ShowSplash},
    {&Options::NotifySuccessDisabled, &OptionsForm::NotifySuccessDisabled},
    {&Options::NotifyErrorDisabled, &OptionsForm::NotifyErrorDisabled},
    {&Options::TrayNod, &OptionsForm::TrayNod},
    {&Options::TrayShake, &OptionsForm::TrayShake},
    {&Options::TrayShrug, &OptionsForm::TrayShrug},
    {&Options::ShowScanning, &OptionsForm::ShowScanning},
    {&Options::SourceIsBusy, &OptionsForm::SourceIsBusy},
    {&Options::FullSource, &OptionsForm::FullSource},
    {&Options::FullDest, &OptionsForm::FullDest},
    {&Options::AutoAdvance, &OptionsForm::AutoAdvance},
    {&Options::ErrorNoSource, &OptionsForm::ErrorNoSource},
    {&Options::ErrorSourceVol, &OptionsForm::ErrorSourceVol},
    {&Options::ErrorNoDest, &OptionsForm::ErrorNoDest},
    {&Options::ErrorCreateFolder, &OptionsForm::ErrorCreateFolder},
    {&Options::ErrorDestVol, &OptionsForm::ErrorDestVol},
    {&Options::ErrorCopyFailed, &OptionsForm::ErrorCopyFailed},
    {&Options::ErrorPrevSave, &OptionsForm::ErrorPrevSave},
    {&Options::ErrorLoop, &OptionsForm::ErrorLoop},
    {&Options::UseFilters, &OptionsForm::UseFilters},
};

} // namespace

double RepresentableSeconds(double seconds)
{
    if (std::isnan(seconds))
        return 0;
    return std::clamp(seconds, -kLongestSeconds, kLongestSeconds);
}

double FormNumber(const QString& text)
{
    return RepresentableSeconds(StoreValues::ReadNumber(text));
}

QString BusyTimeoutLine(const OptionsForm& form)
{
    return FormNumber(form.BusyTimeout) == 0 ? QStringLiteral("1") : trimBlanks(form.BusyTimeout);
}

QString AdvanceSecondsLine(const OptionsForm& form)
{
    return FormNumber(form.AdvanceSeconds) <= 0.001 ? QStringLiteral("0.001")
                                                    : trimBlanks(form.AdvanceSeconds);
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
    for (const auto& [option, box] : kCheckBoxes)
        f.*box = o.*option;
    f.BusyTimeout = FormNumberText(o.BusyTimeout);
    f.PrevSaveName = o.PrevSaveName;
    f.AdvanceSeconds = FormNumberText(o.AdvanceSeconds);
    f.Prefixes = listToLines(o.Prefixes);
    f.Suffixes = listToLines(o.Suffixes);
    return f;
}

Options OptionsFromForm(const OptionsForm& f)
{
    Options o;
    for (const auto& [option, box] : kCheckBoxes)
        o.*option = f.*box;
    const double busy = FormNumber(f.BusyTimeout);
    o.BusyTimeout = busy == 0 ? 1 : busy;
    const QString prevSave = trimBlanks(f.PrevSaveName);
    o.PrevSaveName = prevSave.isEmpty() ? QStringLiteral("PrevSave") : prevSave;
    const double advance = FormNumber(f.AdvanceSeconds);
    o.AdvanceSeconds = advance <= 0.001 ? 0.001 : advance;
    o.Prefixes = linesToList(f.Prefixes);
    o.Suffixes = linesToList(f.Suffixes);
    return o;
}
