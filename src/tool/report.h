#pragma once

#include "tool/check.h"

#include <QJsonDocument>

#include <vector>

namespace skintool {

// The check's results for people: a short block per folder that fits an
// 80-column terminal, coloured only where colourWanted() says so.
QString textReport(const std::vector<FolderReport> &reports, bool colour);
void printText(const std::vector<FolderReport> &reports);

// The same as one JSON document (the schema is in the README and the
// manual page).
QJsonDocument jsonReport(const std::vector<FolderReport> &reports);
void printJson(const std::vector<FolderReport> &reports);

} // namespace skintool
