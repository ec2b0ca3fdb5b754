#include "core/StoreValues.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace {

TEST(StoreValues, OnlyExactlyOneIsTrue)
{
    for (const char* line : {"1", "0", "", "true", "True", "-1", " 1", "1 ", "11", "1.0"})
        EXPECT_EQ(StoreValues::ReadBool(QString::fromLatin1(line)), line == std::string_view("1")) << line;
}

TEST(StoreValues, LeadingNumberRoundedHalfToEvenWithinSixteenBits)
{
    const std::pair<const char*, std::optional<qint16>> rows[] = {
        {"3", 3},         {" 3", 3},          {"3.4", 3},         {"3.5", 4},
        {"2.5", 2},       {"-2.5", -2},       {"-3.5", -4},       {"+5", 5},
        {"", 0},          {"abc", 0},         {"-", 0},           {"-1", -1},
        {"7abc", 7},      {"7 versions", 7},  {"1e3", 1000},      {"2e", 2},
        {"32767", 32767}, {"32767.4", 32767}, {"-32768", -32768}, {"32767.5", {}},
        {"32768", {}},    {"-32769", {}},     {"40000", {}},      {"1e400", {}}};
    for (const auto& [line, expected] : rows)
        EXPECT_EQ(StoreValues::ReadInt16(QString::fromLatin1(line)), expected) << line;
}

// No group separators and a point, also under a locale that would write "123.456.789,125".
TEST(StoreValues, ShortestNumberTextThatReadsBackExactlyWithAPointWhateverTheLocale)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    for (const double value : {30.0, 0.001, 2.5, 0.1, 1.0 / 3.0, 123456789.125, 1e20, -7.5})
        EXPECT_EQ(StoreValues::ReadNumber(StoreValues::WriteNumber(value)), value) << value;
    EXPECT_EQ(StoreValues::WriteNumber(30), QStringLiteral("30"));
    EXPECT_EQ(StoreValues::WriteNumber(0.001), QStringLiteral("0.001"));
    EXPECT_EQ(StoreValues::WriteNumber(123456789.125), QStringLiteral("123456789.125"));
    QLocale::setDefault(before);
}

} // namespace
