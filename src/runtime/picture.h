#pragma once

#include <QImage>

class QString;

// A picture as the slots show it.
using Picture = QImage;

// The most pixels a picture may have; far above any skin picture.
inline constexpr qint64 MaxPicturePixels = 16 * 1024 * 1024;

// The picture in the file at path, its format recognised by its content.
// Raises RuntimeError when the file is missing, is not a regular file, is
// larger than any skin picture could sensibly be, would need an absurd
// allocation, or does not decode. The error's message names the reason, one
// of "file not found", "file not readable", "not a file", "file too large",
// "picture too large" and "not a picture".
Picture LoadPicture(const QString &path);
