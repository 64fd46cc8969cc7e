#pragma once

#include <QByteArray>
#include <QString>

// File names are bytes, and not every name is valid UTF-8 (skins unpacked
// from old archives often carry Latin-1 names). Inside the program a name
// is text decoded reversibly: valid UTF-8 as the characters it encodes,
// every other byte b as the lone surrogate U+DC00 + b. Encoding turns those
// surrogates back into their bytes, so a name read from the file system
// reaches it again exactly as it was read. Text that never came from the
// file system (a typed path) holds no such surrogates and is encoded as
// UTF-8.

// The text for a name's bytes.
QString textFromFileName(const QByteArray &bytes);

// The bytes for a name's text: the exact inverse of textFromFileName. A
// surrogate that stands for no byte (unpaired, and not one of the escapes)
// becomes U+FFFD.
QByteArray fileNameFromText(const QString &text);

// The text as a person reads it: every escaped byte shown as U+FFFD.
QString displayFileName(const QString &text);

// A letter from A to Z in lower case, any other character as it is: how
// names compare ignoring letter case where they are ASCII.
constexpr char16_t asciiLower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c;
}
