#pragma once

#include "tool/check.h"

#include <QStringList>

namespace skintool {

// "skintool check --watch FOLDER...": checks the folders, then checks them
// again after every change to a folder's BMP files, once the folder has
// been quiet for a moment, until interrupted. On a terminal each report
// replaces the last; otherwise each new report is appended after a
// separator line.
//
// Returns 2 when a FOLDER cannot be read. Otherwise it runs until a signal
// ends it (the program's interrupt handling: it writes no file).
int watchCheck(const QStringList &folders, const CheckOptions &options);

} // namespace skintool
