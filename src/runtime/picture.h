#pragma once

#include <QByteArray>
#include <QImage>

class QString;

// A picture as the slots show it.
using Picture = QImage;

// The picture in the file at path, its format recognised by its content.
// Raises RuntimeError when the file is missing, is not a regular file, is
// larger than any skin picture could sensibly be, would need an absurd
// allocation, or does not decode.
Picture LoadPicture(const QString &path);

// The two halves of LoadPicture, for a picture that may be decoded later
// than its file is read: the file's bytes (missing, not a regular file or
// too large raise RuntimeError), and the picture those bytes hold (an
// absurd allocation or bytes that do not decode raise RuntimeError).
QByteArray ReadPictureFile(const QString &path);
Picture DecodePicture(const QByteArray &bytes);
