#include "settings/OptionsFile.h"
#include "core/DataFolder.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeOpts(const QByteArray& bytes)
{
    QDir().mkpath(DataFolder());
    QFile file(DataFilePath("opts"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// Every field away from both its default and its start value.
Options unusualOptions()
{
    Options o;
    o.BusyTimeout = 2.5;
    o.ShowSplash = true;
    o.PrevSaveName = QStringLiteral("Older ones");
    o.NotifySuccessDisabled = true;
    o.NotifyErrorDisabled = true;
    o.TrayNod = false;
    o.TrayShake = false;
    o.TrayShrug = false;
    o.ShowScanning = true;
    o.SourceIsBusy = false;
    o.FullSource = true;
    o.FullDest = true;
    o.AutoAdvance = false;
    o.AdvanceSeconds = 0.001;
    o.ErrorNoSource = false;
    o.ErrorSourceVol = false;
    o.ErrorNoDest = false;
    o.ErrorCreateFolder = false;
    o.ErrorDestVol = false;
    o.ErrorCopyFailed = false;
    o.ErrorPrevSave = false;
    o.ErrorLoop = false;
    o.UseFilters = true;
    o.Prefixes = QStringLiteral("~|x_");
    o.Suffixes = QString::fromUtf8(".tmp|.b\xc3\xa4k|");
    return o;
}

class OptionsFile : public testing::Test
{
  protected:
    TestEnvironment env;
};

TEST_F(OptionsFile, StartValuesAreFalseZeroEmptyButNodAndShake)
{
    const Options start = OptionsStartValues();
    Options expected = unusualOptions();
    expected.BusyTimeout = 0;
    expected.ShowSplash = false;
    expected.PrevSaveName.clear();
    expected.NotifySuccessDisabled = expected.NotifyErrorDisabled = false;
    expected.TrayNod = expected.TrayShake = true;
    expected.ShowScanning = expected.FullSource = expected.FullDest = false;
    expected.AdvanceSeconds = 0;
    expected.UseFilters = false;
    expected.Prefixes.clear();
    expected.Suffixes.clear();
    EXPECT_EQ(start, expected);
}

TEST_F(OptionsFile, MissingFileGivesDefaultsAndCreatesNothing)
{
    Options options = OptionsStartValues();
    LoadOptions(options);
    EXPECT_EQ(options, Options());
    EXPECT_EQ(options.BusyTimeout, 30);
    EXPECT_EQ(options.PrevSaveName, QStringLiteral("~PrevSave"));
    EXPECT_EQ(options.AdvanceSeconds, 3);
    EXPECT_TRUE(options.TrayShrug && options.SourceIsBusy && options.AutoAdvance && options.ErrorLoop);
    EXPECT_FALSE(options.ShowSplash || options.UseFilters || options.FullSource);
    EXPECT_FALSE(QFileInfo::exists(DataFilePath("opts")));
}

TEST_F(OptionsFile, MissingFileKeepsTheSplashValue)
{
    Options options = OptionsStartValues();
    options.ShowSplash = true;
    LoadOptions(options);
    EXPECT_TRUE(options.ShowSplash);
}

TEST_F(OptionsFile, ShortFileTakesItsLinesAndLeavesTheRestAtStartValues)
{
    writeOpts("45\r\n1\r\nOld\r\n0\r\n1\r\n0\r\n1\r\n1\r\n1\r\n1\r\n0\r\n1\r\n1\r\n"); // 13 lines
    Options options = OptionsStartValues();
    LoadOptions(options);

    Options expected = OptionsStartValues();
    expected.BusyTimeout = 45;
    expected.ShowSplash = true;
    expected.PrevSaveName = QStringLiteral("Old");
    expected.NotifyErrorDisabled = true;
    expected.TrayNod = false;
    expected.TrayShake = true;
    expected.TrayShrug = true;
    expected.ShowScanning = true;
    expected.SourceIsBusy = true;
    expected.FullDest = true;
    expected.AutoAdvance = true;
    EXPECT_EQ(options, expected);
    EXPECT_EQ(options.AdvanceSeconds, 0);
    EXPECT_FALSE(options.ErrorNoSource || options.ErrorLoop || options.UseFilters);
    EXPECT_TRUE(options.Prefixes.isEmpty() && options.Suffixes.isEmpty());
}

TEST_F(OptionsFile, UnreadableFileChangesNothing)
{
    QDir().mkpath(DataFilePath("opts"));
    Options options = unusualOptions();
    LoadOptions(options);
    EXPECT_EQ(options, unusualOptions());
}

TEST_F(OptionsFile, WrittenAsTwentyFiveCrLfLinesAndReadBackEqual)
{
    ASSERT_TRUE(WriteOptions(unusualOptions()));
    const QByteArray bytes = readBytes(DataFilePath("opts"));
    EXPECT_EQ(bytes.count("\r\n"), 25);
    EXPECT_EQ(bytes.count('\n'), 25);
    EXPECT_TRUE(bytes.startsWith("2.5\r\n1\r\nOlder ones\r\n1\r\n1\r\n0\r\n"));
    EXPECT_TRUE(bytes.endsWith("\r\n1\r\n~|x_\r\n.tmp|.b\xc3\xa4k|\r\n"));
    EXPECT_TRUE(bytes.contains("\r\n0.001\r\n"));

    Options back = OptionsStartValues();
    LoadOptions(back);
    EXPECT_EQ(back, unusualOptions());
}

TEST_F(OptionsFile, LegacyLatin1PrefixesReadCorrectly)
{
    QByteArray bytes = "30\r\n0\r\n~PrevSave\r\n";
    for (int i = 4; i <= 23; ++i)
        bytes += "1\r\n";
    bytes += "\xa7|~\r\n.b\xe4k\r\n";
    writeOpts(bytes);
    Options options = OptionsStartValues();
    LoadOptions(options);
    EXPECT_EQ(options.Prefixes, QString::fromUtf8("\xc2\xa7|~"));
    EXPECT_EQ(options.Suffixes, QString::fromUtf8(".b\xc3\xa4k"));
}

TEST_F(OptionsFile, FailedWriteKeepsTheOldFileButTheNewFields)
{
    ASSERT_TRUE(WriteOptions(Options()));
    const QByteArray before = readBytes(DataFilePath("opts"));
    QDir().mkpath(DataFilePath("optsTEMP") + "/blocker");
    OptionsForm form = FormFromOptions(unusualOptions());
    Options options;
    EXPECT_FALSE(SaveOptions(form, options));
    EXPECT_EQ(options, unusualOptions());
    EXPECT_EQ(readBytes(DataFilePath("opts")), before);
}

TEST_F(OptionsFile, SaveOptionsConvertsAndWrites)
{
    OptionsForm form = FormFromOptions(Options());
    form.BusyTimeout = QString();
    form.AdvanceSeconds = QStringLiteral("0");
    form.PrevSaveName = QStringLiteral("   ");
    form.Prefixes = QStringLiteral("~\r\n.tmp");
    Options options = OptionsStartValues();
    ASSERT_TRUE(SaveOptions(form, options));
    EXPECT_EQ(options.BusyTimeout, 1);
    EXPECT_EQ(options.AdvanceSeconds, 0.001);
    EXPECT_EQ(options.PrevSaveName, QStringLiteral("PrevSave"));
    EXPECT_EQ(options.Prefixes, QStringLiteral("~|.tmp"));
    EXPECT_TRUE(readBytes(DataFilePath("opts")).startsWith("1\r\n0\r\nPrevSave\r\n"));
    Options back = OptionsStartValues();
    LoadOptions(back);
    EXPECT_EQ(back, options);
    // Shown again in the dialog, the list stands one item per line.
    EXPECT_EQ(FormFromOptions(back).Prefixes, QStringLiteral("~\r\n.tmp"));
    EXPECT_EQ(FormFromOptions(back).AdvanceSeconds, QStringLiteral(".001"));
}

struct BoolLineRow
{
    int line;
    bool Options::*field;
};

class OptionsLines : public testing::TestWithParam<BoolLineRow>
{
  protected:
    TestEnvironment env;
};

// A "1" on exactly one line of an otherwise all-"0" file turns on exactly its field.
TEST_P(OptionsLines, EachBooleanLineHasItsPlace)
{
    QByteArray bytes;
    for (int line = 1; line <= 25; ++line)
        bytes += (line == GetParam().line ? "1" : "0") + QByteArray("\r\n");
    writeOpts(bytes);
    Options options = OptionsStartValues();
    LoadOptions(options);
    Options expected;
    expected.BusyTimeout = expected.AdvanceSeconds = 0;
    expected.PrevSaveName = QStringLiteral("0");
    expected.Prefixes = expected.Suffixes = QStringLiteral("0");
    for (bool Options::*f : {&Options::ShowSplash,          &Options::NotifySuccessDisabled,
                             &Options::NotifyErrorDisabled, &Options::TrayNod,
                             &Options::TrayShake,           &Options::TrayShrug,
                             &Options::ShowScanning,        &Options::SourceIsBusy,
                             &Options::FullSource,          &Options::FullDest,
                             &Options::AutoAdvance,         &Options::ErrorNoSource,
                             &Options::ErrorSourceVol,      &Options::ErrorNoDest,
                             &Options::ErrorCreateFolder,   &Options::ErrorDestVol,
                             &Options::ErrorCopyFailed,     &Options::ErrorPrevSave,
                             &Options::ErrorLoop,           &Options::UseFilters})
        expected.*f = false;
    expected.*GetParam().field = true;
    EXPECT_EQ(options, expected);

    // And WriteOptions puts it back on the same line.
    ASSERT_TRUE(WriteOptions(options));
    EXPECT_EQ(readBytes(DataFilePath("opts")), bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, OptionsLines,
    testing::Values(BoolLineRow{2, &Options::ShowSplash}, BoolLineRow{4, &Options::NotifySuccessDisabled},
                    BoolLineRow{5, &Options::NotifyErrorDisabled}, BoolLineRow{6, &Options::TrayNod},
                    BoolLineRow{7, &Options::TrayShake}, BoolLineRow{8, &Options::TrayShrug},
                    BoolLineRow{9, &Options::ShowScanning}, BoolLineRow{10, &Options::SourceIsBusy},
                    BoolLineRow{11, &Options::FullSource}, BoolLineRow{12, &Options::FullDest},
                    BoolLineRow{13, &Options::AutoAdvance}, BoolLineRow{15, &Options::ErrorNoSource},
                    BoolLineRow{16, &Options::ErrorSourceVol}, BoolLineRow{17, &Options::ErrorNoDest},
                    BoolLineRow{18, &Options::ErrorCreateFolder}, BoolLineRow{19, &Options::ErrorDestVol},
                    BoolLineRow{20, &Options::ErrorCopyFailed}, BoolLineRow{21, &Options::ErrorPrevSave},
                    BoolLineRow{22, &Options::ErrorLoop}, BoolLineRow{23, &Options::UseFilters}),
    [](const testing::TestParamInfo<BoolLineRow>& info) { return "Line" + std::to_string(info.param.line); });

struct NumberBoxRow
{
    const char* text;
    double busyTimeout;
    double advanceSeconds;
};

class DialogNumbers : public testing::TestWithParam<NumberBoxRow>
{
};

TEST_P(DialogNumbers, BusyTimeoutNeverZeroAdvanceNeverBelowOneThousandth)
{
    OptionsForm form;
    form.BusyTimeout = form.AdvanceSeconds = QString::fromLatin1(GetParam().text);
    const Options o = OptionsFromForm(form);
    EXPECT_DOUBLE_EQ(o.BusyTimeout, GetParam().busyTimeout);
    EXPECT_DOUBLE_EQ(o.AdvanceSeconds, GetParam().advanceSeconds);
}

INSTANTIATE_TEST_SUITE_P(Boxes, DialogNumbers,
                         testing::Values(NumberBoxRow{"", 1, 0.001}, NumberBoxRow{"0", 1, 0.001},
                                         NumberBoxRow{" 45 ", 45, 45}, NumberBoxRow{"-.999", -0.999, 0.001},
                                         NumberBoxRow{".001", 0.001, 0.001},
                                         NumberBoxRow{"0.002", 0.002, 0.002}, NumberBoxRow{"abc", 1, 0.001},
                                         NumberBoxRow{"151", 151, 151}));

struct TextBoxRow
{
    const char* box;
    const char* stored;
};

class DialogLists : public testing::TestWithParam<TextBoxRow>
{
};

TEST_P(DialogLists, LineBreaksBecomeBarsAfterTrimmingBlanks)
{
    OptionsForm form;
    form.Prefixes = form.Suffixes = QString::fromUtf8(GetParam().box);
    const Options o = OptionsFromForm(form);
    EXPECT_EQ(o.Prefixes.toStdString(), GetParam().stored);
    EXPECT_EQ(o.Suffixes.toStdString(), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(Boxes, DialogLists,
                         testing::Values(TextBoxRow{"~\r\nx_", "~|x_"},
                                         TextBoxRow{"~\r\n.tmp\r\n", "~|.tmp|"},
                                         TextBoxRow{"  ~\r\nx_  ", "~|x_"}, TextBoxRow{"~\nx_", "~x_"},
                                         TextBoxRow{"", ""}, TextBoxRow{"\r\n~", "|~"},
                                         TextBoxRow{"a b", "a b"}));

class DialogPrevSave : public testing::TestWithParam<TextBoxRow>
{
};

TEST_P(DialogPrevSave, TrimmedAndNeverEmpty)
{
    OptionsForm form;
    form.PrevSaveName = QString::fromUtf8(GetParam().box);
    EXPECT_EQ(OptionsFromForm(form).PrevSaveName.toStdString(), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(Boxes, DialogPrevSave,
                         testing::Values(TextBoxRow{"", "PrevSave"}, TextBoxRow{"   ", "PrevSave"},
                                         TextBoxRow{" ~Old ", "~Old"}, TextBoxRow{"~PrevSave", "~PrevSave"}));

TEST(DialogForm, NumbersShowWithoutLeadingZero)
{
    EXPECT_EQ(FormNumberText(30), QStringLiteral("30"));
    EXPECT_EQ(FormNumberText(0.5), QStringLiteral(".5"));
    EXPECT_EQ(FormNumberText(0.001), QStringLiteral(".001"));
    EXPECT_EQ(FormNumberText(-0.999), QStringLiteral("-.999"));
    EXPECT_EQ(FormNumberText(151), QStringLiteral("151"));
}

TEST(DialogForm, ChecksMapToTheirOwnFields)
{
    // Each check box, alone, must land in its own field and nowhere else.
    const std::vector<std::pair<bool OptionsForm::*, bool Options::*>> checks = {
        {&OptionsForm::ShowSplash, &Options::ShowSplash},
        {&OptionsForm::NotifySuccessDisabled, &Options::NotifySuccessDisabled},
        {&OptionsForm::NotifyErrorDisabled, &Options::NotifyErrorDisabled},
        {&OptionsForm::TrayNod, &Options::TrayNod},
        {&OptionsForm::TrayShake, &Options::TrayShake},
        {&OptionsForm::TrayShrug, &Options::TrayShrug},
        {&OptionsForm::ShowScanning, &Options::ShowScanning},
        {&OptionsForm::SourceIsBusy, &Options::SourceIsBusy},
        {&OptionsForm::FullSource, &Options::FullSource},
        {&OptionsForm::FullDest, &Options::FullDest},
        {&OptionsForm::AutoAdvance, &Options::AutoAdvance},
        {&OptionsForm::ErrorNoSource, &Options::ErrorNoSource},
        {&OptionsForm::ErrorSourceVol, &Options::ErrorSourceVol},
        {&OptionsForm::ErrorNoDest, &Options::ErrorNoDest},
        {&OptionsForm::ErrorCreateFolder, &Options::ErrorCreateFolder},
        {&OptionsForm::ErrorDestVol, &Options::ErrorDestVol},
        {&OptionsForm::ErrorCopyFailed, &Options::ErrorCopyFailed},
        {&OptionsForm::ErrorPrevSave, &Options::ErrorPrevSave},
        {&OptionsForm::ErrorLoop, &Options::ErrorLoop},
        {&OptionsForm::UseFilters, &Options::UseFilters},
    };
    for (size_t i = 0; i < checks.size(); ++i) {
        OptionsForm form;
        form.*checks[i].first = true;
        const Options o = OptionsFromForm(form);
        for (size_t j = 0; j < checks.size(); ++j)
            EXPECT_EQ(o.*checks[j].second, i == j) << "check " << i << " field " << j;
    }
}

} // namespace
