#include "core/StoreValues.h"

#include "platform/FileNames.h"

#include <QLocale>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace StoreValues {

bool ReadBool(const QString& line)
{
    return line == QLatin1String("1");
}

QString WriteBool(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

double ReadNumber(const QString& line)
{
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (i < n && (line.at(i) == u' ' || line.at(i) == u'\t'))
        ++i;
    std::string number;
    if (i < n && (line.at(i) == u'+' || line.at(i) == u'-'))
        number += static_cast<char>(line.at(i++).unicode());
    bool digits = false;
    auto takeDigits = [&] {
        while (i < n && line.at(i) >= u'0' && line.at(i) <= u'9') {
            number += static_cast<char>(line.at(i++).unicode());
            digits = true;
        }
    };
    takeDigits();
    if (i < n && line.at(i) == u'.') {
        number += '.';
        ++i;
        takeDigits();
    }
    if (!digits)
        return 0;
    // An exponent counts only when digits follow it; "3e" is 3.
    if (i < n && (line.at(i) == u'e' || line.at(i) == u'E')) {
        qsizetype j = i + 1;
        std::string exponent = "e";
        if (j < n && (line.at(j) == u'+' || line.at(j) == u'-'))
            exponent += static_cast<char>(line.at(j++).unicode());
        if (j < n && line.at(j) >= u'0' && line.at(j) <= u'9') {
            while (j < n && line.at(j) >= u'0' && line.at(j) <= u'9')
                exponent += static_cast<char>(line.at(j++).unicode());
            number += exponent;
        }
    }
    const double value = std::strtod(number.c_str(), nullptr);
    return value == 0 ? 0.0 : value; // no "-0"
}

QString WriteNumber(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

std::optional<qint16> ReadInt16(const QString& line)
{
    // The default rounding mode: to the nearest, halves to the even neighbour.
    const double whole = std::nearbyint(ReadNumber(line));
    if (!(whole >= std::numeric_limits<qint16>::min() && whole <= std::numeric_limits<qint16>::max()))
        return std::nullopt;
    return static_cast<qint16>(whole);
}

bool FitsOnALine(const QString& value)
{
    return !value.contains(u'\n') && !value.contains(u'\r') && !FileNames::HasEscapes(value);
}

} // namespace StoreValues
