#pragma once

#include "pictures/pictureheader.h"

#include <QString>

#include <optional>

namespace skintool {

// Why a file that loads is not what a skin's pictures should be, a 24-bit
// uncompressed BMP with the classic 40-byte header, if it is not: "holds PNG
// content", "is an 8-bit BMP", "is a 32-bit BMP with bit fields and a
// version 5 header (124 bytes)", with what follows from it. The file's
// name goes before it.
std::optional<QString> formatProblem(const PictureHeader &header);

// How to make such a file, for a format problem of a file with that header;
// for a BMP of 8 bits or fewer it names GIMP's Image > Mode > RGB, without
// which GIMP exports an indexed or greyscale picture so whatever depth is
// chosen.
QString formatHint(const PictureHeader &header);

} // namespace skintool
