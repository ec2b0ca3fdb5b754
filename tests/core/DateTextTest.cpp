#include "core/DateText.h"

#include <gtest/gtest.h>

namespace {

// Nothing drifts through a save and a load: midnight, noon hours, one-digit days and months, another century.
TEST(DateText, ParseReadsBackExactlyWhatFormatWroteAndRejectsOtherTexts)
{
    const std::vector<QDateTime> moments = {
        QDateTime(QDate(2026, 12, 5), QTime(0, 0, 0)), QDateTime(QDate(2026, 12, 5), QTime(12, 30, 5)),
        QDateTime(QDate(1999, 1, 31), QTime(23, 59, 59)), QDateTime(QDate(2031, 2, 28), QTime(1, 2, 3))};
    for (const char* name :
         {"C", "en_US", "de_DE", "ja_JP", "fr_FR", "ar_EG", "ko_KR", "fi_FI", "bg_BG", "es_MX"}) {
        const QLocale locale(QString::fromLatin1(name));
        for (const QDateTime& when : moments) {
            const QString text = DateText::Format(when, locale);
            EXPECT_EQ(DateText::Parse(text, locale), when) << name << " " << text.toStdString();
        }
    }
    const QLocale german(QLocale::German, QLocale::Germany);
    for (const QString& text : {DateText::Never, QString(), QStringLiteral("05.12.26 10:00")})
        EXPECT_FALSE(DateText::Parse(text, german).has_value()) << text.toStdString();
}

// Short forms with a four-digit year and seconds, 12-hour forms kept.
TEST(DateText, ShortDateAndTimeWithSecondsAndFullYear)
{
    const std::tuple<const char*, QTime, const char*> rows[] = {
        {"de_DE", QTime(10, 0, 0), "05.12.2026 10:00:00"},
        {"en_US", QTime(10, 5, 0), "12/5/2026 10:05:00 AM"},
        {"en_US", QTime(22, 5, 7), "12/5/2026 10:05:07 PM"},
        {"ja_JP", QTime(9, 8, 7), "2026/12/05 9:08:07"},
        {"fi_FI", QTime(10, 0, 3), "5.12.2026 10.00.03"}};
    for (const auto& [locale, time, expected] : rows)
        EXPECT_EQ(DateText::Format(QDateTime(QDate(2026, 12, 5), time), QLocale(locale)).toStdString(),
                  expected)
            << locale;
}

} // namespace
