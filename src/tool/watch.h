#pragma once

#include <QStringList>

namespace skintool {

// "skintool check --watch FOLDER...": checks the folders, then checks a
// folder again after every change to its BMP files, once the folder has
// been quiet for a moment, until interrupted. On a terminal each report
// replaces the last; otherwise each new report is appended after a
// separator line (with --json: one document a line, no separator).
//
// Returns 2 when a FOLDER is no folder. Interrupted (Ctrl-C, SIGTERM,
// SIGHUP), it ends as interrupted by that signal, having written no file.
int watchCheck(const QStringList &folders, bool json);

} // namespace skintool
