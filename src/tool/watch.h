#pragma once

#include "tool/check.h"

#include <QStringList>

namespace skintool {

// "skintool check --watch FOLDER...": checks the folders, then checks them
// again after every change in a folder, once it has been quiet for a
// moment, until interrupted. Each FOLDER is followed by its path, as the
// preview window follows its skin: a folder removed is named as missing
// until it is back. On a terminal each report replaces the last; otherwise
// each new report is appended after a separator line.
//
// Returns 2 when a FOLDER cannot be read. Otherwise it runs until a signal
// ends it (the program's interrupt handling: it writes no file).
int watchCheck(const QStringList &folders, const CheckOptions &options);

} // namespace skintool
