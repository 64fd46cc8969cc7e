#pragma once

#include <QImage>
#include <QString>

namespace skintool {

// The compression that every PNG of skintool is written with (Qt's scale,
// 0 to 100): fixed, so the same pictures always give the same bytes.
inline constexpr int PngCompression = 50;

// Encodes image as PNG: no text, no time, no gamma, no colour profile; with
// an alpha channel only if image has one. Empty if it cannot.
QByteArray encodePng(const QImage &image);

// Writes image to path (text as runtime/filename.h decodes names) as PNG,
// whole or not at all: the file appears only once it is complete. On
// failure, returns false and says why in error.
bool writePng(const QString &path, const QImage &image, QString *error);

} // namespace skintool
