#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <optional>

// The one date-and-time text form of the program: the user's regional short
// date and time, always with seconds and a four-digit year, parsed back exactly.
// "Never" stands for an event that has not happened yet.
namespace DateText {
QString Now();
QString Format(const QDateTime& when, const QLocale& locale = QLocale::system());
std::optional<QDateTime> Parse(const QString& text, const QLocale& locale = QLocale::system());
inline const QString Never = QStringLiteral("Never");
} // namespace DateText
