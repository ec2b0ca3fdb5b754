#include "core/DateText.h"

#include <gtest/gtest.h>

namespace {

struct RoundTripRow
{
    const char* locale;
    QDateTime when;
};

void PrintTo(const RoundTripRow& row, std::ostream* os)
{
    *os << row.locale << " " << row.when.toString(Qt::ISODate).toStdString();
}

class DateTextRoundTrip : public testing::TestWithParam<RoundTripRow>
{
};

TEST_P(DateTextRoundTrip, ParseReadsBackExactlyWhatFormatWrote)
{
    const QLocale locale(QString::fromLatin1(GetParam().locale));
    const QDateTime when = GetParam().when;
    const QString text = DateText::Format(when, locale);
    const std::optional<QDateTime> back = DateText::Parse(text, locale);
    ASSERT_TRUE(back.has_value()) << text.toStdString();
    EXPECT_EQ(back->date(), when.date()) << text.toStdString();
    EXPECT_EQ(back->time(), when.time()) << text.toStdString();
    // Written again, the text is the same: nothing drifts through a save and a load.
    EXPECT_EQ(DateText::Format(*back, locale), text);
}

std::vector<RoundTripRow> roundTripRows()
{
    const std::vector<QDateTime> moments = {
        QDateTime(QDate(2026, 12, 5), QTime(10, 0, 0)),   QDateTime(QDate(2026, 12, 5), QTime(0, 0, 0)),
        QDateTime(QDate(2026, 12, 5), QTime(12, 0, 0)),   QDateTime(QDate(2026, 12, 5), QTime(12, 30, 5)),
        QDateTime(QDate(1999, 1, 31), QTime(23, 59, 59)), QDateTime(QDate(2031, 2, 28), QTime(1, 2, 3)),
        QDateTime(QDate(2026, 7, 14), QTime(13, 7, 9)),
    };
    std::vector<RoundTripRow> rows;
    for (const char* locale :
         {"C", "en_US", "de_DE", "ja_JP", "fr_FR", "ar_EG", "ko_KR", "fi_FI", "bg_BG", "es_MX"})
        for (const QDateTime& when : moments)
            rows.push_back({locale, when});
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Locales, DateTextRoundTrip, testing::ValuesIn(roundTripRows()));

struct FormRow
{
    const char* locale;
    QTime time;
    const char* expected;
};

class DateTextForm : public testing::TestWithParam<FormRow>
{
};

// Short forms with a four-digit year and seconds, 12-hour forms kept.
TEST_P(DateTextForm, ShortDateAndTimeWithSecondsAndFullYear)
{
    const QLocale locale(QString::fromLatin1(GetParam().locale));
    const QDateTime when(QDate(2026, 12, 5), GetParam().time);
    EXPECT_EQ(DateText::Format(when, locale).toStdString(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Locales, DateTextForm,
                         testing::Values(FormRow{"de_DE", QTime(10, 0, 0), "05.12.2026 10:00:00"},
                                         FormRow{"en_US", QTime(10, 5, 0), "12/5/2026 10:05:00 AM"},
                                         FormRow{"en_US", QTime(22, 5, 7), "12/5/2026 10:05:07 PM"},
                                         FormRow{"ja_JP", QTime(9, 8, 7), "2026/12/05 9:08:07"},
                                         FormRow{"fr_FR", QTime(10, 0, 0), "05/12/2026 10:00:00"},
                                         FormRow{"fi_FI", QTime(10, 0, 3), "5.12.2026 10.00.03"}));

TEST(DateText, RejectsTextsItDidNotWrite)
{
    const QLocale locale(QLocale::German, QLocale::Germany);
    EXPECT_FALSE(DateText::Parse(DateText::Never, locale).has_value());
    EXPECT_FALSE(DateText::Parse(QString(), locale).has_value());
    EXPECT_FALSE(DateText::Parse(QStringLiteral("05.12.26 10:00"), locale).has_value());
}

TEST(DateText, NowIsInTheSystemFormAndParsesBack)
{
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    const std::optional<QDateTime> now = DateText::Parse(DateText::Now());
    ASSERT_TRUE(now.has_value());
    EXPECT_GE(*now, before.addMSecs(-before.time().msec()));
    EXPECT_LE(*now, QDateTime::currentDateTime());
}

} // namespace
