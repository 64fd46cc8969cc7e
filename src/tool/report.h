#pragma once

#include "tool/check.h"

#include <QJsonDocument>

#include <vector>

namespace skintool {

// The check's results for people: a short block per folder, wrapped to
// width columns (0: never wrapped), coloured only when colour is on.
QString textReport(const std::vector<FolderReport> &reports, bool colour, int width);

// One line a problem in the compiler convention, "PATH: error: CODE:
// message", and "PATH: note: HINT" after a problem with a fix; nothing for
// a folder without problems.
QString oneLineReport(const std::vector<FolderReport> &reports);

// The same as one JSON document (the schema is in the README and the
// manual page).
QJsonDocument jsonReport(const std::vector<FolderReport> &reports);

// Prints the reports on standard output in the form given; text is
// coloured and wrapped only on a terminal.
void printReports(const std::vector<FolderReport> &reports, ReportForm form);

} // namespace skintool
