#pragma once

#include "files/error.h"

#include <QByteArray>
#include <QImage>
#include <QString>

class Folder;
struct PictureHeader;

// A picture as the slots show it.
using Picture = QImage;

// The most pixels a picture may have; far above any skin picture.
inline constexpr qint64 MaxPicturePixels = 16 * 1024 * 1024;

// The largest file read as a picture: far above any skin picture (an
// 800 x 600 24-bit BMP is 1.4 MB), far below what would hurt.
inline constexpr qint64 MaxPictureFileBytes = 64 * 1024 * 1024;

// Why a picture did not load: a kind, the system's errno where the system
// refused, and for some kinds two figures. The program itself only skips
// the step; skintool names the reason, made from these facts by reason().
class PictureError : public RuntimeError
{
public:
    enum class Kind {
        BadName,         // the name holds a NUL
        NotFound,        // nothing bears the name, or a folder on the way is missing
        NotReadable,     // the system refused to open or read it (systemError says why)
        Folder,          // a folder bears the name
        NotRegularFile,  // a FIFO, a device, a socket
        FileTooLarge,    // figures: the file's bytes, the limit
        Empty,           // no bytes at all
        PictureTooLarge, // figures: the width and height it claims
        Truncated,       // the file ends before the picture; figures: the bytes there, the bytes needed (0 if unknown)
        NotAPicture,     // no decoder makes a picture of it
        Encrypted,       // an archive's entry that needs a password
        Damaged,         // an archive's entry whose data does not read
    };

    explicit PictureError(Kind kind, int systemError = 0, qint64 first = 0, qint64 second = 0);

    Kind kind() const { return m_kind; }

    // In a reader's words: "not found", "not readable: Permission denied",
    // "truncated: it ends after 100 of its 1440054 bytes", ...
    QString reason() const { return reasonFor(m_kind, systemError(), m_first, m_second); }

private:
    static QString reasonFor(Kind kind, int systemError, qint64 first, qint64 second);

    Kind m_kind;
    qint64 m_first;
    qint64 m_second;
};

// The picture in the file at path, its format recognised by its content.
// Raises PictureError when the name holds a NUL, nothing readable bears it,
// it is not a regular file, it is larger than any skin picture could
// sensibly be, it ends before its picture does, it would need an absurd
// allocation, or it does not decode. A BMP's pixels come out opaque: its
// fourth byte or alpha mask is ignored, as the platform that skins are made
// for ignores it; other formats keep their transparency.
Picture LoadPicture(const QString &path);

// The same for an entry of a folder (files/folder.h), the way a skin's
// files are read; with what the header of the file decoded says, if asked.
Picture LoadPicture(Folder &folder, const QString &name, PictureHeader *header = nullptr);

// The two halves of LoadPicture, for a picture that may be decoded later
// than its file is read: the entry's bytes (missing, not a regular file or
// too large raise PictureError), and the picture those bytes hold (cut
// short, an absurd allocation or bytes that do not decode raise
// PictureError).
QByteArray ReadPictureFile(Folder &folder, const QString &name);
Picture DecodePicture(const QByteArray &bytes);

// For tests: fills the memory of each picture about to be decoded with
// byte, in place of whatever the heap held there (-1, the default, leaves
// it so). A picture that decodes is the same whatever the fill.
void FillFreshPictureMemory(int byte);
