#include "files/filename.h"

#include <algorithm>

namespace {

constexpr char16_t EscapeBase = 0xDC00;
constexpr char16_t Replacement = 0xFFFD;

bool isEscape(char16_t c)
{
    return c >= EscapeBase + 0x80 && c <= EscapeBase + 0xFF;
}

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// The length of the valid UTF-8 sequence at bytes[0], or 0 if none starts
// there: no overlong forms, no surrogates, nothing past U+10FFFF. The
// character it encodes goes to decoded.
int validSequenceLength(const unsigned char *bytes, qsizetype available, char32_t &decoded)
{
    const unsigned char lead = bytes[0];
    int length;
    char32_t minimum;
    char32_t code;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, code = lead & 0x07;
    } else {
        return 0;
    }
    if (available < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if (!isContinuation(bytes[i]))
            return 0;
        code = (code << 6) | (bytes[i] & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    decoded = code;
    return length;
}

void appendUtf8(QByteArray &out, char32_t code)
{
    if (code < 0x80) {
        out.append(char(code));
    } else if (code < 0x800) {
        out.append(char(0xC0 | (code >> 6)));
        out.append(char(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.append(char(0xE0 | (code >> 12)));
        out.append(char(0x80 | ((code >> 6) & 0x3F)));
        out.append(char(0x80 | (code & 0x3F)));
    } else {
        out.append(char(0xF0 | (code >> 18)));
        out.append(char(0x80 | ((code >> 12) & 0x3F)));
        out.append(char(0x80 | ((code >> 6) & 0x3F)));
        out.append(char(0x80 | (code & 0x3F)));
    }
}

} // namespace

QString textFromFileName(const QByteArray &bytes)
{
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype size = bytes.size();
    if (std::all_of(data, data + size, [](unsigned char byte) { return byte < 0x80; }))
        return QString::fromLatin1(bytes);
    // Decoded here rather than by Qt, whose UTF-8 decoder drops a byte order
    // mark at the start of what it is given: a name may begin with one.
    QString text;
    text.reserve(size);
    qsizetype i = 0;
    while (i < size) {
        char32_t code = data[i];
        const int length = code < 0x80 ? 1 : validSequenceLength(data + i, size - i, code);
        if (length == 0) {
            text += QChar(char16_t(EscapeBase + data[i++]));
            continue;
        }
        if (QChar::requiresSurrogates(code)) {
            text += QChar(QChar::highSurrogate(code));
            text += QChar(QChar::lowSurrogate(code));
        } else {
            text += QChar(char16_t(code));
        }
        i += length;
    }
    return text;
}

QByteArray fileNameFromText(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            bytes.append(char(c));
        } else if (QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(text[i + 1].unicode())) {
            appendUtf8(bytes, QChar::surrogateToUcs4(c, text[i + 1].unicode()));
            ++i;
        } else if (isEscape(c)) {
            bytes.append(char(c - EscapeBase));
        } else if (QChar::isSurrogate(c)) {
            appendUtf8(bytes, Replacement);
        } else {
            appendUtf8(bytes, c);
        }
    }
    return bytes;
}

QString displayFileName(const QString &text)
{
    QString shown = text;
    const qsizetype size = shown.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = shown[i].unicode();
        // The low half of a character past U+FFFF may fall in the escapes' range.
        if (QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(shown[i + 1].unicode()))
            ++i;
        else if (isEscape(c))
            shown[i] = QChar(Replacement);
    }
    return shown;
}
