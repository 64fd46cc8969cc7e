#pragma once

#include "files/error.h"

#include <QString>

// What both programs say on standard error, and how they show names in it.
// Every name shows as a person reads it: a byte of a file name that is not
// UTF-8 as U+FFFD (files/filename.h).

// A message in the one form of both programs, the program's name first:
// "skintool: skins/Midnight: no such folder".
void printError(const char *program, const QString &message);

// A usage error: the message, then the program's or the command's usage;
// returns the exit status for it, 2.
int usageError(const char *program, const QString &message, const char *usage);

// A name or path as text output shows it, so that it can neither move the
// cursor nor hide where it ends: control characters (and the characters
// that reorder text) as C escapes ("\x1b", "\n", "\u009b"), and the whole
// in double quotes when it holds such characters, spaces, quotes or
// backslashes. Plain names stay as they are.
QString shownName(const QString &name);

// The same escapes without the quotes, for the one-line form, whose paths
// editors take up to the colon.
QString escapedName(const QString &name);

// The system's words for an errno value: "No space left on device".
QString systemReason(int error);

// What a failed operation says, then the system's reason where it has one:
// "cannot be written: No space left on device".
QString failureReason(const RuntimeError &failure);
