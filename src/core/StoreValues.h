#pragma once

#include <QString>
#include <optional>

// How single values stand in the lines of a store. Every store reads and
// writes its values through these, so old files keep reading the same way.
namespace StoreValues {

// Only a line that is exactly "1" is true ("true", "-1" and " 1" are not).
bool ReadBool(const QString& line);
QString WriteBool(bool value);

// The leading numeric part of the line, after leading blanks: an optional
// sign, digits, a "." fraction and an exponent. Empty or non-numeric: 0.
double ReadNumber(const QString& line);
// Decimal with "." whatever the locale, as short as reads back exactly.
QString WriteNumber(double value);

// The leading number rounded to the nearest integer, ties to even; nothing
// when that lies outside the 16-bit range.
std::optional<qint16> ReadInt16(const QString& line);

// The value stays one line of text in a store: no line break (a Linux file name
// may hold one) and nothing that is not UTF-8 (FileNames' escapes).
bool FitsOnALine(const QString& value);

} // namespace StoreValues
