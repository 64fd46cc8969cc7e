#pragma once

#include "tool/commandline.h"

#include <QColor>
#include <QSize>
#include <QStringList>

#include <span>

namespace skintool {

// The badges' colours: the count of a skin's errors on red, of its
// warnings on amber.
inline constexpr QRgb BadgeRed = 0xffc62828;
inline constexpr QRgb BadgeAmber = 0xffe69500;

// A label for each folder (absolute paths, as resolvedFolder() gives them)
// that tells it apart from the others: its last component, or as many of
// its last components as it takes ("v1/Ember", "v2/Ember"), up to the whole
// path. The same folder twice gets the same label.
QStringList sheetLabels(const QStringList &folders);

// "skintool sheet --out FILE.png [--columns N] [--size WxH] [--panels]
// FOLDER..."
std::span<const OptionSpec> sheetOptions();
int runSheet(const Arguments &arguments);

} // namespace skintool
