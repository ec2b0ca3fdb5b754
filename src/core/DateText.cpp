#include "core/DateText.h"

#include <algorithm>
#include <vector>

namespace {

// One piece of a QLocale format: a run of one pattern letter, or literal text
// (quoted or not) that is copied as it stands.
struct FormatPiece
{
    QString text;
    QChar field; // the pattern letter, or null for literal text
};

std::vector<FormatPiece> splitFormat(const QString& format)
{
    std::vector<FormatPiece> pieces;
    auto addLiteral = [&pieces](const QString& text) {
        if (!pieces.empty() && pieces.back().field.isNull())
            pieces.back().text += text;
        else
            pieces.push_back({text, QChar()});
    };
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            // Quoted text runs to the next lone quote; '' stands for a quote.
            qsizetype end = i + 1;
            while (end < format.size()) {
                if (format.at(end) == u'\'') {
                    if (end + 1 < format.size() && format.at(end + 1) == u'\'') {
                        end += 2;
                        continue;
                    }
                    break;
                }
                ++end;
            }
            addLiteral(format.mid(i, end + 1 - i));
            i = end + 1;
        } else if (c.isLetter() && c.unicode() < 128) {
            qsizetype end = i;
            while (end < format.size() && format.at(end) == c)
                ++end;
            pieces.push_back({format.mid(i, end - i), c});
            i = end;
        } else {
            addLiteral(QString(c));
            ++i;
        }
    }
    return pieces;
}

QString joinFormat(const std::vector<FormatPiece>& pieces)
{
    QString result;
    for (const FormatPiece& piece : pieces)
        result += piece.text;
    return result;
}

// Short dates may carry a two-digit year, which does not say its century.
QString dateFormat(const QLocale& locale)
{
    std::vector<FormatPiece> pieces = splitFormat(locale.dateFormat(QLocale::ShortFormat));
    for (FormatPiece& piece : pieces)
        if (piece.field == u'y')
            piece.text = QStringLiteral("yyyy");
    return joinFormat(pieces);
}

// The short time form with seconds added. The long form would bring them too,
// but it carries a time-zone name that does not parse back.
QString timeFormat(const QLocale& locale)
{
    std::vector<FormatPiece> pieces = splitFormat(locale.timeFormat(QLocale::ShortFormat));
    std::erase_if(pieces, [](const FormatPiece& p) { return p.field == u't'; });
    const bool hasSeconds =
        std::any_of(pieces.begin(), pieces.end(), [](const FormatPiece& p) { return p.field == u's'; });
    if (!hasSeconds) {
        // Seconds follow the minutes with the separator the locale puts between hours and minutes.
        QString separator = QStringLiteral(":");
        for (size_t i = 0; i + 2 < pieces.size(); ++i) {
            const QChar f = pieces[i].field;
            if ((f == u'h' || f == u'H') && pieces[i + 1].field.isNull() && pieces[i + 2].field == u'm' &&
                !pieces[i + 1].text.contains(u'\'')) {
                separator = pieces[i + 1].text;
                break;
            }
        }
        auto minutes =
            std::find_if(pieces.begin(), pieces.end(), [](const FormatPiece& p) { return p.field == u'm'; });
        const FormatPiece seconds{QStringLiteral("ss"), u's'};
        if (minutes == pieces.end()) {
            pieces.push_back({separator, QChar()});
            pieces.push_back(seconds);
        } else {
            minutes->text = QStringLiteral("mm");
            const auto at = minutes + 1;
            pieces.insert(pieces.insert(at, seconds), {separator, QChar()});
        }
    }
    QString result = joinFormat(pieces).trimmed();
    return result;
}

QString fullFormat(const QLocale& locale)
{
    return dateFormat(locale) + u' ' + timeFormat(locale);
}

} // namespace

namespace DateText {

QString Now()
{
    return Format(QDateTime::currentDateTime());
}

QString Format(const QDateTime& when, const QLocale& locale)
{
    return locale.toString(when, fullFormat(locale));
}

std::optional<QDateTime> Parse(const QString& text, const QLocale& locale)
{
    const QDateTime when = locale.toDateTime(text, fullFormat(locale));
    if (!when.isValid())
        return std::nullopt;
    return when;
}

} // namespace DateText
