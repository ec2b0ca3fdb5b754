#include "platform/FileNames.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

QString escaped(std::initializer_list<char16_t> units)
{
    return QStringView(units.begin(), qsizetype(units.size())).toString();
}

// What a name reads as (invalid bytes as U+DC00 + byte) and back to the same bytes.
TEST(FileNames, DecodesAndEncodesBackToTheSameBytes)
{
    const struct
    {
        const char* Label;
        QByteArray Bytes;
        QString Decoded;
    } rows[] = {{"Ascii", "plain.txt", QStringLiteral("plain.txt")},
                {"TwoThreeFourByteLetters", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
                 QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80")},
                {"ReplacementCharacterItself", "a\xef\xbf\xbd", QString::fromUtf8("a\xef\xbf\xbd")},
                {"Latin1Byte", "caf\xe9.txt", escaped({'c', 'a', 'f', 0xDCE9, '.', 't', 'x', 't'})},
                {"LoneContinuation", "\x80", escaped({0xDC80})},
                {"EveryByteOfFF", "d\xff\xfe", escaped({'d', 0xDCFF, 0xDCFE})},
                {"OverlongSlash", "\xc0\xaf", escaped({0xDCC0, 0xDCAF})},
                {"OverlongThreeByte", "\xe0\x80\xaf", escaped({0xDCE0, 0xDC80, 0xDCAF})},
                {"OverlongFourByte", "\xf0\x80\x80\xaf", escaped({0xDCF0, 0xDC80, 0xDC80, 0xDCAF})},
                {"SurrogateBytes", "\xed\xa0\x80", escaped({0xDCED, 0xDCA0, 0xDC80})},
                {"EscapeLookalikeBytes", "\xed\xb3\xa9", escaped({0xDCED, 0xDCB3, 0xDCA9})},
                {"PastTheLastCodePoint", "\xf4\x90\x80\x80", escaped({0xDCF4, 0xDC90, 0xDC80, 0xDC80})},
                {"CutOffThenValid", "\xe2\x82\xc3\xa9", escaped({0xDCE2, 0xDC82, 0xE9})}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Label);
        const QString decoded = FileNames::Decode(row.Bytes);
        EXPECT_EQ(decoded, row.Decoded);
        EXPECT_EQ(FileNames::Encode(decoded), row.Bytes);
        const bool valid = QString::fromUtf8(row.Bytes).toUtf8() == row.Bytes;
        EXPECT_EQ(FileNames::HasEscapes(decoded), !valid);
    }
}

TEST(FileNames, DisplayShowsReplacementAndOtherLoneSurrogatesEncodeAsQtDoes)
{
    const QString name = FileNames::Decode("caf\xe9\xf0\x9f\x98\x80");
    EXPECT_EQ(FileNames::ForDisplay(name), QString::fromUtf8("caf\xef\xbf\xbd\xf0\x9f\x98\x80"));
    // Not from Decode: a lone high surrogate, and one outside the escape range.
    for (const QString& odd : {escaped({'a', 0xD800}), escaped({0xDC10})})
        EXPECT_EQ(FileNames::Encode(odd), QFile::encodeName(odd));
}

} // namespace
