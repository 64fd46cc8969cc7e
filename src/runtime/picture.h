#pragma once

#include <QByteArray>
#include <QImage>

class QString;

// A picture as the slots show it.
using Picture = QImage;

// The most pixels a picture may have; far above any skin picture.
inline constexpr qint64 MaxPicturePixels = 16 * 1024 * 1024;

// The picture in the file at path, its format recognised by its content.
// Raises RuntimeError when the name holds a NUL, the file is missing, is not
// a regular file, is larger than any skin picture could sensibly be, would
// need an absurd allocation, or does not decode. The error's message names
// the reason, one of "bad file name", "file not found", "file not
// readable", "not a file", "file too large", "picture too large" and "not a
// picture".
Picture LoadPicture(const QString &path);

// The two halves of LoadPicture, for a picture that may be decoded later
// than its file is read: the file's bytes (missing, not a regular file or
// too large raise RuntimeError), and the picture those bytes hold (an
// absurd allocation or bytes that do not decode raise RuntimeError).
QByteArray ReadPictureFile(const QString &path);
Picture DecodePicture(const QByteArray &bytes);
