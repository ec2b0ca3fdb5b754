#include "settings/OptionsFile.h"
#include "core/DataFolder.h"
#include "core/StoreFile.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

Options loaded()
{
    Options options = OptionsStartValues();
    LoadOptions(options);
    return options;
}

// The boolean fields with their line in the file.
const std::vector<std::pair<int, bool Options::*>> BoolLines = {
    {2, &Options::ShowSplash},          {4, &Options::NotifySuccessDisabled},
    {5, &Options::NotifyErrorDisabled}, {6, &Options::TrayNod},
    {7, &Options::TrayShake},           {8, &Options::TrayShrug},
    {9, &Options::ShowScanning},        {10, &Options::SourceIsBusy},
    {11, &Options::FullSource},         {12, &Options::FullDest},
    {13, &Options::AutoAdvance},        {15, &Options::ErrorNoSource},
    {16, &Options::ErrorSourceVol},     {17, &Options::ErrorNoDest},
    {18, &Options::ErrorCreateFolder},  {19, &Options::ErrorDestVol},
    {20, &Options::ErrorCopyFailed},    {21, &Options::ErrorPrevSave},
    {22, &Options::ErrorLoop},          {23, &Options::UseFilters}};

// Every field away from both its default and its start value.
Options unusualOptions()
{
    Options o;
    for (const auto& [line, field] : BoolLines)
        o.*field = !(Options().*field) && !(OptionsStartValues().*field);
    o.BusyTimeout = 2.5;
    o.PrevSaveName = QStringLiteral("Older ones");
    o.AdvanceSeconds = 0.001;
    o.Prefixes = QStringLiteral("~|x_");
    o.Suffixes = QString::fromUtf8(".tmp|.b\xc3\xa4k|");
    return o;
}

class OptionsFile : public testing::Test
{
  protected:
    TestEnvironment env;
};

TEST_F(OptionsFile, MissingFileGivesDefaultsAnUnreadableOneChangesNothingAndAShortOneStartValues)
{
    Options options = OptionsStartValues();
    options.ShowSplash = true;
    LoadOptions(options);
    Options expected;
    expected.ShowSplash = true;
    EXPECT_EQ(options, expected);
    EXPECT_FALSE(QFileInfo::exists(DataFilePath("opts")));

    QDir().mkpath(DataFilePath("opts"));
    options = unusualOptions();
    LoadOptions(options);
    EXPECT_EQ(options, unusualOptions());

    // Start values, not defaults, for the lines a short file lacks.
    QDir(DataFilePath("opts")).removeRecursively();
    WriteFile(DataFilePath("opts"),
              "45\r\n1\r\nOld\r\n0\r\n1\r\n0\r\n1\r\n1\r\n1\r\n1\r\n0\r\n1\r\n1\r\n"); // 13 lines
    expected = OptionsStartValues();
    expected.BusyTimeout = 45;
    expected.PrevSaveName = QStringLiteral("Old");
    expected.ShowSplash = expected.NotifyErrorDisabled = expected.TrayShake = expected.TrayShrug = true;
    expected.ShowScanning = expected.SourceIsBusy = expected.FullDest = expected.AutoAdvance = true;
    expected.TrayNod = false;
    EXPECT_EQ(loaded(), expected);
}

// Legacy files hold the filters in Latin-1.
TEST_F(OptionsFile, WrittenFileReadsBackEqualLatin1IsReadAndAFailedWriteKeepsTheFile)
{
    ASSERT_TRUE(WriteOptions(unusualOptions()));
    const QByteArray bytes = ReadFile(DataFilePath("opts"));
    EXPECT_TRUE(bytes.startsWith("2.5\r\n1\r\nOlder ones\r\n1\r\n1\r\n0\r\n"));
    EXPECT_TRUE(bytes.endsWith("\r\n1\r\n~|x_\r\n.tmp|.b\xc3\xa4k|\r\n"));
    EXPECT_EQ(loaded(), unusualOptions());

    WriteFile(DataFilePath("opts"),
              "30\r\n0\r\n~PrevSave\r\n" + QByteArray("1\r\n").repeated(20) + "\xa7|~\r\n.b\xe4k\r\n");
    EXPECT_EQ(loaded().Prefixes, QString::fromUtf8("\xc2\xa7|~"));
    EXPECT_EQ(loaded().Suffixes, QString::fromUtf8(".b\xc3\xa4k"));

    // A failed write still gives the fields the new values.
    QDir().mkpath(DataFilePath("optsTEMP") + "/blocker");
    Options options;
    EXPECT_FALSE(SaveOptions(FormFromOptions(unusualOptions()), options));
    EXPECT_EQ(options, unusualOptions());
}

// A "1" on exactly one line of an otherwise all-"0" file turns on exactly its field, the dialog's check
// box carries it through unchanged, and writing puts it back on the same line.
TEST_F(OptionsFile, EachBooleanLineHasItsPlaceAmongTwentyFiveCrLfLines)
{
    for (const auto& [line, field] : BoolLines) {
        QByteArray bytes;
        for (int l = 1; l <= 25; ++l)
            bytes += (l == line ? "1" : "0") + QByteArray("\r\n");
        WriteFile(DataFilePath("opts"), bytes);
        const Options viaForm = OptionsFromForm(FormFromOptions(loaded()));
        for (const auto& [_, f] : BoolLines)
            EXPECT_EQ(viaForm.*f, f == field) << "line " << line;
        ASSERT_TRUE(WriteOptions(loaded()));
        EXPECT_EQ(ReadFile(DataFilePath("opts")), bytes) << "line " << line;
    }
}

// The number lines hold the box text as typed; a value no timer could wait for (an endless row of nines,
// or written so by hand) is held to the longest wait. How the boxes become numbers is the dialog's rule.
TEST_F(OptionsFile, NumberLinesKeepTheTypedTextAndHugeValuesAreHeld)
{
    const QString nines(400, u'9');
    const std::tuple<QString, QString, QString> typed[] = {
        {" 030 ", "030", "030"}, {"2.50", "2.50", "2.50"}, {"0", "1", "0.001"}, {nines, nines, nines}};
    for (const auto& [box, busyLine, advanceLine] : typed) {
        OptionsForm form = FormFromOptions(Options());
        form.BusyTimeout = form.AdvanceSeconds = box;
        Options saved;
        ASSERT_TRUE(SaveOptions(form, saved));
        const QStringList lines = StoreFile::Read("opts").Lines;
        ASSERT_EQ(lines.size(), 25);
        EXPECT_EQ(lines.at(0).toStdString(), busyLine.toStdString());
        EXPECT_EQ(lines.at(13).toStdString(), advanceLine.toStdString());
        EXPECT_EQ(loaded(), saved);
    }
    for (const auto& [line, seconds] : std::vector<std::pair<QByteArray, double>>{
             {"1e999", kLongestSeconds}, {"-1e999", -kLongestSeconds}, {"1e300", kLongestSeconds}}) {
        WriteFile(DataFilePath("opts"), line + "\r\n");
        EXPECT_EQ(loaded().BusyTimeout, seconds) << line.toStdString();
    }
}

TEST(DialogForm, BoxesAreConvertedByTheDialogRules)
{
    // Busy time-out never zero, advance never below a thousandth; the name trimmed and never empty.
    const std::vector<std::tuple<const char*, double, double, const char*>> numbers = {
        {"", 1, 0.001, "PrevSave"},        {"0", 1, 0.001, "0"},           {" 45 ", 45, 45, "45"},
        {"-.999", -0.999, 0.001, "-.999"}, {".001", 0.001, 0.001, ".001"}, {"0.002", 0.002, 0.002, "0.002"},
        {"abc", 1, 0.001, "abc"},          {"1,5", 1, 1, "1,5"},           {"   ", 1, 0.001, "PrevSave"}};
    for (const auto& [text, busy, advance, name] : numbers) {
        OptionsForm form;
        form.BusyTimeout = form.AdvanceSeconds = form.PrevSaveName = QString::fromLatin1(text);
        const Options options = OptionsFromForm(form);
        EXPECT_DOUBLE_EQ(options.BusyTimeout, busy) << text;
        EXPECT_DOUBLE_EQ(options.AdvanceSeconds, advance) << text;
        EXPECT_EQ(options.PrevSaveName.toStdString(), name);
    }
    // Line breaks become bars after trimming blanks at the ends; shown again, one item a line.
    const std::pair<const char*, const char*> lists[] = {
        {"~\r\nx_", "~|x_"},     {"~\r\n.tmp\r\n", "~|.tmp|"},
        {"  ~\r\nx_  ", "~|x_"}, {"~\nx_\n", "~|x_|"},
        {"~\rx_", "~|x_"},       {"", ""},
        {"\r\n~", "|~"},         {"a b", "a b"}};
    for (const auto& [box, stored] : lists) {
        OptionsForm form;
        form.Prefixes = form.Suffixes = QString::fromUtf8(box);
        const Options options = OptionsFromForm(form);
        EXPECT_EQ(options.Prefixes.toStdString(), stored);
        EXPECT_EQ(FormFromOptions(options).Prefixes, QString(stored).replace('|', "\r\n"));
    }
    // Numbers show without a leading zero.
    for (const auto& [number, text] : std::vector<std::pair<double, const char*>>{
             {30, "30"}, {0.5, ".5"}, {0.001, ".001"}, {-0.999, "-.999"}, {151, "151"}})
        EXPECT_EQ(FormNumberText(number).toStdString(), text);
}

} // namespace
