#include "platform/FileNames.h"

namespace {

constexpr char16_t kEscapeBase = 0xDC00;
constexpr char16_t kFirstEscape = 0xDC80;
constexpr char16_t kLastEscape = 0xDCFF;
constexpr char16_t kReplacement = 0xFFFD;

bool isContinuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at the start of s (1 to 4), or 0
// when it is not one: overlong forms, surrogates, code points past U+10FFFF and
// cut-off sequences are not.
int sequenceLength(const unsigned char* s, qsizetype left, char32_t& code)
{
    const unsigned char b0 = s[0];
    if (b0 < 0x80) {
        code = b0;
        return 1;
    }
    int length = 0;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        if (b0 == 0xE0)
            low = 0xA0; // overlong below
        else if (b0 == 0xED)
            high = 0x9F; // UTF-16 surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        if (b0 == 0xF0)
            low = 0x90; // overlong below
        else if (b0 == 0xF4)
            high = 0x8F; // past U+10FFFF
    } else {
        return 0;
    }
    if (left < length || s[1] < low || s[1] > high)
        return 0;
    for (int i = 2; i < length; ++i)
        if (!isContinuation(s[i]))
            return 0;
    code = b0 & (0x7F >> length);
    for (int i = 1; i < length; ++i)
        code = (code << 6) | (s[i] & 0x3F);
    return length;
}

bool isEscape(const QString& text, qsizetype i)
{
    const char16_t c = text.at(i).unicode();
    if (c < kFirstEscape || c > kLastEscape)
        return false;
    // A low surrogate right after a high one is half of a real character.
    return i == 0 || !text.at(i - 1).isHighSurrogate();
}

} // namespace

namespace FileNames {

QString Decode(QByteArrayView bytes)
{
    QString text;
    text.reserve(bytes.size());
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size;) {
        char32_t code = 0;
        const int length = sequenceLength(s + i, size - i, code);
        if (length == 0) {
            // Only the first byte is escaped: the next may start a valid sequence.
            text.append(QChar(char16_t(kEscapeBase + s[i])));
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            text.append(QChar(QChar::highSurrogate(code)));
            text.append(QChar(QChar::lowSurrogate(code)));
        } else {
            text.append(QChar(char16_t(code)));
        }
        i += length;
    }
    return text;
}

QByteArray Encode(const QString& path)
{
    QByteArray bytes;
    bytes.reserve(path.size());
    const qsizetype size = path.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = path.at(i).unicode();
        char32_t code = c;
        if (QChar::isHighSurrogate(c) && i + 1 < size && path.at(i + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(c, path.at(i + 1).unicode());
            ++i;
        } else if (c >= kFirstEscape && c <= kLastEscape) {
            bytes.append(char(c - kEscapeBase));
            continue;
        } else if (QChar::isSurrogate(c)) {
            code = kReplacement; // as Qt writes any other lone surrogate
        }
        if (code < 0x80) {
            bytes.append(char(code));
        } else if (code < 0x800) {
            bytes.append(char(0xC0 | (code >> 6)));
            bytes.append(char(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            bytes.append(char(0xE0 | (code >> 12)));
            bytes.append(char(0x80 | ((code >> 6) & 0x3F)));
            bytes.append(char(0x80 | (code & 0x3F)));
        } else {
            bytes.append(char(0xF0 | (code >> 18)));
            bytes.append(char(0x80 | ((code >> 12) & 0x3F)));
            bytes.append(char(0x80 | ((code >> 6) & 0x3F)));
            bytes.append(char(0x80 | (code & 0x3F)));
        }
    }
    return bytes;
}

bool HasEscapes(const QString& path)
{
    for (qsizetype i = 0; i < path.size(); ++i)
        if (isEscape(path, i))
            return true;
    return false;
}

QString ForDisplay(const QString& path)
{
    QString shown = path;
    for (qsizetype i = 0; i < shown.size(); ++i)
        if (isEscape(path, i))
            shown[i] = QChar(kReplacement);
    return shown;
}

} // namespace FileNames
