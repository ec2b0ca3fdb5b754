#include "platform/FileNames.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

struct NameRow
{
    const char* Label;
    QByteArray Bytes;
    QString Decoded; // what the name reads as; invalid bytes as U+DC00 + byte
};

QString escaped(std::initializer_list<char16_t> units)
{
    QString s;
    for (char16_t u : units)
        s.append(QChar(u));
    return s;
}

class FileNamesTable : public ::testing::TestWithParam<NameRow>
{
};

TEST_P(FileNamesTable, DecodesAndEncodesBackToTheSameBytes)
{
    const NameRow& row = GetParam();
    const QString decoded = FileNames::Decode(row.Bytes);
    EXPECT_EQ(decoded, row.Decoded);
    EXPECT_EQ(FileNames::Encode(decoded), row.Bytes);
    const bool valid = QString::fromUtf8(row.Bytes).toUtf8() == row.Bytes;
    EXPECT_EQ(FileNames::HasEscapes(decoded), !valid);
    if (valid) { // unchanged from Qt's own reading
        EXPECT_EQ(decoded, QFile::decodeName(row.Bytes));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FileNamesTable,
    ::testing::Values(
        NameRow{"Ascii", "plain.txt", QStringLiteral("plain.txt")},
        NameRow{"TwoThreeFourByteLetters", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
                QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80")},
        NameRow{"ReplacementCharacterItself", "a\xef\xbf\xbd", QString::fromUtf8("a\xef\xbf\xbd")},
        NameRow{"Latin1Byte", "caf\xe9.txt", escaped({'c', 'a', 'f', 0xDCE9, '.', 't', 'x', 't'})},
        NameRow{"LoneContinuation", "\x80", escaped({0xDC80})},
        NameRow{"EveryByteOfFF", "d\xff\xfe", escaped({'d', 0xDCFF, 0xDCFE})},
        NameRow{"OverlongSlash", "\xc0\xaf", escaped({0xDCC0, 0xDCAF})},
        NameRow{"OverlongThreeByte", "\xe0\x80\xaf", escaped({0xDCE0, 0xDC80, 0xDCAF})},
        NameRow{"OverlongFourByte", "\xf0\x80\x80\xaf", escaped({0xDCF0, 0xDC80, 0xDC80, 0xDCAF})},
        NameRow{"SurrogateBytes", "\xed\xa0\x80", escaped({0xDCED, 0xDCA0, 0xDC80})},
        NameRow{"EscapeLookalikeBytes", "\xed\xb3\xa9", escaped({0xDCED, 0xDCB3, 0xDCA9})},
        NameRow{"PastTheLastCodePoint", "\xf4\x90\x80\x80", escaped({0xDCF4, 0xDC90, 0xDC80, 0xDC80})},
        NameRow{"CutOffThenValid", "\xe2\x82\xc3\xa9", escaped({0xDCE2, 0xDC82, 0xE9})},
        NameRow{"ValidAroundInvalid", "\xc3\xa9\xff\xf0\x9f\x98\x80",
                QString::fromUtf8("\xc3\xa9") + escaped({0xDCFF}) + QString::fromUtf8("\xf0\x9f\x98\x80")}),
    [](const ::testing::TestParamInfo<NameRow>& info) { return std::string(info.param.Label); });

TEST(FileNames, DisplayShowsReplacementAndOtherLoneSurrogatesEncodeAsQtDoes)
{
    const QString name = FileNames::Decode("caf\xe9\xf0\x9f\x98\x80");
    EXPECT_EQ(FileNames::ForDisplay(name), QString::fromUtf8("caf\xef\xbf\xbd\xf0\x9f\x98\x80"));
    // Not from Decode: a lone high surrogate, and one outside the escape range.
    for (const QString& odd : {escaped({'a', 0xD800}), escaped({0xDC10})})
        EXPECT_EQ(FileNames::Encode(odd), QFile::encodeName(odd));
}

} // namespace
