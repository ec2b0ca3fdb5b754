#include "core/StoreValues.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace {

struct BoolRow
{
    const char* line;
    bool expected;
};

class StoreBool : public testing::TestWithParam<BoolRow>
{
};

TEST_P(StoreBool, OnlyExactlyOneIsTrue)
{
    EXPECT_EQ(StoreValues::ReadBool(QString::fromLatin1(GetParam().line)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Lines, StoreBool,
                         testing::Values(BoolRow{"1", true}, BoolRow{"0", false}, BoolRow{"", false},
                                         BoolRow{"true", false}, BoolRow{"True", false}, BoolRow{"-1", false},
                                         BoolRow{" 1", false}, BoolRow{"1 ", false}, BoolRow{"11", false},
                                         BoolRow{"1.0", false}));

struct Int16Row
{
    const char* line;
    std::optional<qint16> expected;
};

class StoreInt16 : public testing::TestWithParam<Int16Row>
{
};

TEST_P(StoreInt16, LeadingNumberRoundedHalfToEvenWithinSixteenBits)
{
    EXPECT_EQ(StoreValues::ReadInt16(QString::fromLatin1(GetParam().line)), GetParam().expected)
        << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(Lines, StoreInt16,
                         testing::Values(Int16Row{"3", 3}, Int16Row{" 3", 3}, Int16Row{"\t3", 3},
                                         Int16Row{"3.4", 3}, Int16Row{"3.5", 4}, Int16Row{"2.5", 2},
                                         Int16Row{"0.5", 0}, Int16Row{"1.5", 2}, Int16Row{"-2.5", -2},
                                         Int16Row{"-3.5", -4}, Int16Row{"-1", -1}, Int16Row{"+5", 5},
                                         Int16Row{"", 0}, Int16Row{"abc", 0}, Int16Row{"-", 0},
                                         Int16Row{".", 0}, Int16Row{"7 versions", 7}, Int16Row{"7abc", 7},
                                         Int16Row{"1e3", 1000}, Int16Row{"2e", 2}, Int16Row{"32767", 32767},
                                         Int16Row{"32767.4", 32767}, Int16Row{"-32768", -32768},
                                         Int16Row{"32767.5", std::nullopt}, Int16Row{"32768", std::nullopt},
                                         Int16Row{"-32769", std::nullopt}, Int16Row{"40000", std::nullopt},
                                         Int16Row{"1e400", std::nullopt}));

struct NumberRow
{
    const char* line;
    double expected;
};

class StoreNumber : public testing::TestWithParam<NumberRow>
{
};

TEST_P(StoreNumber, LeadingNumericPart)
{
    EXPECT_DOUBLE_EQ(StoreValues::ReadNumber(QString::fromLatin1(GetParam().line)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Lines, StoreNumber,
                         testing::Values(NumberRow{"30", 30}, NumberRow{".5", 0.5}, NumberRow{"0.001", 0.001},
                                         NumberRow{"1,5", 1}, NumberRow{"  2.25x", 2.25}, NumberRow{"", 0},
                                         NumberRow{"x2", 0}, NumberRow{"-.999", -0.999},
                                         NumberRow{"1.5E2", 150}));

TEST(StoreNumberText, DecimalPointWhateverTheLocale)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString written = StoreValues::WriteNumber(2.5);
    QLocale::setDefault(before);
    EXPECT_EQ(written, QStringLiteral("2.5"));
}

TEST(StoreNumberText, ShortestTextThatReadsBackExactly)
{
    for (const double value : {30.0, 3.0, 0.001, 2.5, 0.1, 1.0 / 3.0, 123456789.125, 1e20, -7.5}) {
        const QString text = StoreValues::WriteNumber(value);
        EXPECT_EQ(StoreValues::ReadNumber(text), value) << text.toStdString();
        EXPECT_FALSE(text.contains(u' '));
    }
    EXPECT_EQ(StoreValues::WriteNumber(30), QStringLiteral("30"));
    EXPECT_EQ(StoreValues::WriteNumber(0.001), QStringLiteral("0.001"));
}

} // namespace
