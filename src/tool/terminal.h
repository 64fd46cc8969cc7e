#pragma once

#include "commandline/messages.h"

#include <QString>

namespace skintool {

// Standard output and standard error of skintool. All of these print names
// as a person reads them: a byte of a file name that is not UTF-8 shows as
// U+FFFD (files/filename.h); commandline/messages.h shows names safely.

// The program's name, first in each of its messages.
inline constexpr char ProgramName[] = "skintool";

// Messages on standard error, prefixed with the program's name:
// "skintool: skins/Midnight: no such folder" (commandline/messages.h).
void printError(const QString &message);

// Writes text to standard output (UTF-8). A write that fails is noted, and
// nothing more is written; finishOutput() reports it.
void printOut(const QString &text);

// Flushes standard output and, if any write to it failed, says so on
// standard error ("skintool: standard output: No space left on device")
// and returns false. closeOutput() also closes it, as the program ends.
bool finishOutput();
bool closeOutput();

// Whether standard output should carry colour: only on a terminal, and
// never when NO_COLOR is set to anything but an empty string.
bool colourWanted();

// The width of the terminal that standard output is, or 0 when it is not
// one: text is then never wrapped, so that each line stays whole for grep.
int terminalColumns();

// text wrapped in an ANSI colour (SGR code, e.g. "1;31") when colour is on.
QString coloured(const QString &text, const char *sgr, bool colour);

} // namespace skintool
