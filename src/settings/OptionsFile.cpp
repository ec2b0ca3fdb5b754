#include "settings/OptionsFile.h"

#include "core/StoreFile.h"
#include "core/StoreValues.h"

#include <algorithm>
#include <functional>
#include <vector>

namespace {

const QString kOptionsStore = QStringLiteral("opts");

// One opts line: how a field is written and read back, in file order.
struct OptionsLine
{
    std::function<QString(const Options&)> write;
    std::function<void(Options&, const QString&)> read;
};

template <bool Options::*Field> OptionsLine boolLine()
{
    return {[](const Options& o) { return StoreValues::WriteBool(o.*Field); },
            [](Options& o, const QString& line) { o.*Field = StoreValues::ReadBool(line); }};
}

template <double Options::*Field> OptionsLine numberLine()
{
    return {[](const Options& o) { return StoreValues::WriteNumber(o.*Field); },
            [](Options& o, const QString& line) {
                o.*Field = RepresentableSeconds(StoreValues::ReadNumber(line));
            }};
}

template <QString Options::*Field> OptionsLine textLine()
{
    return {[](const Options& o) { return o.*Field; },
            [](Options& o, const QString& line) { o.*Field = line; }};
}

const std::vector<OptionsLine>& optionsLines()
{
    static const std::vector<OptionsLine> lines = {
        numberLine<&Options::BusyTimeout>(),
        boolLine<&Options::ShowSplash>(),
        textLine<&Options::PrevSaveName>(),
        boolLine<&Options::NotifySuccessDisabled>(),
        boolLine<&Options::NotifyErrorDisabled>(),
        boolLine<&Options::TrayNod>(),
        boolLine<&Options::TrayShake>(),
        boolLine<&Options::TrayShrug>(),
        boolLine<&Options::ShowScanning>(),
        boolLine<&Options::SourceIsBusy>(),
        boolLine<&Options::FullSource>(),
        boolLine<&Options::FullDest>(),
        boolLine<&Options::AutoAdvance>(),
        numberLine<&Options::AdvanceSeconds>(),
        boolLine<&Options::ErrorNoSource>(),
        boolLine<&Options::ErrorSourceVol>(),
        boolLine<&Options::ErrorNoDest>(),
        boolLine<&Options::ErrorCreateFolder>(),
        boolLine<&Options::ErrorDestVol>(),
        boolLine<&Options::ErrorCopyFailed>(),
        boolLine<&Options::ErrorPrevSave>(),
        boolLine<&Options::ErrorLoop>(),
        boolLine<&Options::UseFilters>(),
        textLine<&Options::Prefixes>(),
        textLine<&Options::Suffixes>(),
    };
    return lines;
}

// Their positions in optionsLines(), counted from 0.
constexpr qsizetype kBusyTimeoutLine = 0;
constexpr qsizetype kAdvanceSecondsLine = 13;

QStringList optionsText(const Options& options)
{
    QStringList text;
    for (const OptionsLine& line : optionsLines())
        text << line.write(options);
    return text;
}

} // namespace

Options OptionsStartValues()
{
    Options o;
    o.BusyTimeout = 0;
    o.ShowSplash = false;
    o.PrevSaveName.clear();
    o.NotifySuccessDisabled = false;
    o.NotifyErrorDisabled = false;
    o.TrayNod = true;
    o.TrayShake = true;
    o.TrayShrug = false;
    o.ShowScanning = false;
    o.SourceIsBusy = false;
    o.FullSource = false;
    o.FullDest = false;
    o.AutoAdvance = false;
    o.AdvanceSeconds = 0;
    o.ErrorNoSource = false;
    o.ErrorSourceVol = false;
    o.ErrorNoDest = false;
    o.ErrorCreateFolder = false;
    o.ErrorDestVol = false;
    o.ErrorCopyFailed = false;
    o.ErrorPrevSave = false;
    o.ErrorLoop = false;
    o.UseFilters = false;
    o.Prefixes.clear();
    o.Suffixes.clear();
    return o;
}

void LoadOptions(Options& options)
{
    const StoreContent content = StoreFile::Read(kOptionsStore);
    if (content.Status == StoreContent::State::Missing) {
        const bool showSplash = options.ShowSplash;
        options = Options();
        options.ShowSplash = showSplash;
        return;
    }
    if (content.Status != StoreContent::State::Read)
        return;
    // A file from an older version is shorter: the fields past its end keep their values.
    const std::vector<OptionsLine>& lines = optionsLines();
    const size_t present = std::min(lines.size(), static_cast<size_t>(content.Lines.size()));
    for (size_t i = 0; i < present; ++i)
        lines[i].read(options, content.Lines.at(static_cast<qsizetype>(i)));
}

bool WriteOptions(const Options& options)
{
    return StoreFile::Write(kOptionsStore, optionsText(options));
}

bool SaveOptions(const OptionsForm& form, Options& options)
{
    options = OptionsFromForm(form);
    // The number lines keep the text as typed ("030" stays "030").
    QStringList text = optionsText(options);
    text[kBusyTimeoutLine] = BusyTimeoutLine(form);
    text[kAdvanceSecondsLine] = AdvanceSecondsLine(form);
    return StoreFile::Write(kOptionsStore, text);
}
