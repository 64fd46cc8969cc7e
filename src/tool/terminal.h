#pragma once

#include <QString>

namespace skintool {

// Both print names as a person reads them: a byte of a file name that is
// not UTF-8 shows as U+FFFD (runtime/filename.h).

// Messages on standard error, prefixed with the program's name:
// "skintool: skins/Midnight: no such folder".
void printError(const QString &message);

// Writes text to standard output (UTF-8).
void printOut(const QString &text);

// Whether standard output should carry colour: only on a terminal, and
// never when NO_COLOR is set to anything but an empty string.
bool colourWanted();

// text wrapped in an ANSI colour (SGR code, e.g. "1;31") when colour is on.
QString coloured(const QString &text, const char *sgr, bool colour);

} // namespace skintool
