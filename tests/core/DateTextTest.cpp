#include "core/DateText.h"

#include <gtest/gtest.h>

namespace {

TEST(DateText, ParseReadsBackExactlyWhatFormatWrote)
{
    const std::vector<QDateTime> moments = {
        QDateTime(QDate(2026, 12, 5), QTime(10, 0, 0)),   QDateTime(QDate(2026, 12, 5), QTime(0, 0, 0)),
        QDateTime(QDate(2026, 12, 5), QTime(12, 0, 0)),   QDateTime(QDate(2026, 12, 5), QTime(12, 30, 5)),
        QDateTime(QDate(1999, 1, 31), QTime(23, 59, 59)), QDateTime(QDate(2031, 2, 28), QTime(1, 2, 3)),
        QDateTime(QDate(2026, 7, 14), QTime(13, 7, 9)),
    };
    for (const char* name :
         {"C", "en_US", "de_DE", "ja_JP", "fr_FR", "ar_EG", "ko_KR", "fi_FI", "bg_BG", "es_MX"}) {
        const QLocale locale(QString::fromLatin1(name));
        for (const QDateTime& when : moments) {
            const QString text = DateText::Format(when, locale);
            SCOPED_TRACE(testing::Message() << name << " " << text.toStdString());
            const std::optional<QDateTime> back = DateText::Parse(text, locale);
            ASSERT_TRUE(back.has_value());
            EXPECT_EQ(back->date(), when.date());
            EXPECT_EQ(back->time(), when.time());
            // Written again, the text is the same: nothing drifts through a save and a load.
            EXPECT_EQ(DateText::Format(*back, locale), text);
        }
    }
}

// Short forms with a four-digit year and seconds, 12-hour forms kept.
TEST(DateText, ShortDateAndTimeWithSecondsAndFullYear)
{
    const struct
    {
        const char* locale;
        QTime time;
        const char* expected;
    } rows[] = {{"de_DE", QTime(10, 0, 0), "05.12.2026 10:00:00"},
                {"en_US", QTime(10, 5, 0), "12/5/2026 10:05:00 AM"},
                {"en_US", QTime(22, 5, 7), "12/5/2026 10:05:07 PM"},
                {"ja_JP", QTime(9, 8, 7), "2026/12/05 9:08:07"},
                {"fr_FR", QTime(10, 0, 0), "05/12/2026 10:00:00"},
                {"fi_FI", QTime(10, 0, 3), "5.12.2026 10.00.03"}};
    for (const auto& row : rows) {
        const QString text = DateText::Format(QDateTime(QDate(2026, 12, 5), row.time), QLocale(row.locale));
        EXPECT_EQ(text.toStdString(), row.expected) << row.locale;
    }
}

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
