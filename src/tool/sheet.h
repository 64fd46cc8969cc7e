#pragma once

#include <QImage>
#include <QString>

#include <utility>
#include <vector>

class QCommandLineParser;

namespace skintool {

// A contact sheet: each preview scaled smoothly to 200 x 150 with its name
// under it, in a grid of at most five columns.
QImage contactSheet(const std::vector<std::pair<QString, QImage>> &previews);

// "skintool sheet --out FILE.png FOLDER..."
void addSheetOptions(QCommandLineParser &parser);
int runSheet(const QCommandLineParser &parser);

} // namespace skintool
