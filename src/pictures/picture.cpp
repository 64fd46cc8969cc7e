#include "pictures/picture.h"

#include "files/folder.h"
#include "files/inputfile.h"
#include "pictures/pictureheader.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace {

constexpr int MaxDecodeMegabytes = 128;

// Turns what the BMP decoder gives into what the platform shows: the colour
// bytes as stored, fully opaque. (Premultiplying first would turn every
// transparent pixel black.)
void makeOpaque(QImage &image)
{
    if (!image.hasAlphaChannel())
        return;
    if (image.format() != QImage::Format_ARGB32)
        image.convertTo(QImage::Format_ARGB32);
    image.convertTo(QImage::Format_RGB32);
}

} // namespace

PictureError::PictureError(Kind kind, int systemError, qint64 first, qint64 second)
    : RuntimeError(reasonFor(kind, systemError, first, second).toUtf8().constData(), systemError), m_kind(kind),
      m_first(first), m_second(second)
{
}

// Every reason a picture does not load is worded here, and only here.
QString PictureError::reasonFor(Kind kind, int systemError, qint64 first, qint64 second)
{
    switch (kind) {
    case Kind::BadName:
        return QStringLiteral("bad file name");
    case Kind::NotFound:
        return QStringLiteral("not found");
    case Kind::NotReadable:
        return systemError ? QStringLiteral("not readable: %1").arg(QString::fromLocal8Bit(std::strerror(systemError)))
                           : QStringLiteral("not readable");
    case Kind::Folder:
        return QStringLiteral("a folder, not a picture");
    case Kind::NotRegularFile:
        return QStringLiteral("not a regular file");
    case Kind::FileTooLarge:
        return QStringLiteral("too large: %1 MB, more than the %2 MB a picture may have")
            .arg((first + 1024 * 1024 - 1) / (1024 * 1024))
            .arg(second / (1024 * 1024));
    case Kind::Empty:
        return QStringLiteral("empty");
    case Kind::PictureTooLarge:
        return QStringLiteral("too large: %1x%2 pixels, more than the %3 a picture may have")
            .arg(first)
            .arg(second)
            .arg(MaxPicturePixels);
    case Kind::Truncated:
        return second > 0 ? QStringLiteral("truncated: it ends after %1 of its %2 bytes").arg(first).arg(second)
                          : QStringLiteral("truncated: it ends before its picture does");
    case Kind::NotAPicture:
        return QStringLiteral("not a picture");
    }
    return {};
}

namespace {

// The file opened for reading a picture, or PictureError with the reason
// it could not be.
template <class Open>
InputFile openPictureFile(Open open)
{
    using Kind = PictureError::Kind;
    try {
        return open(MaxPictureFileBytes);
    } catch (const InputFile::Error &error) {
        switch (error.failure()) {
        case InputFile::Failure::BadName:
            throw PictureError(Kind::BadName);
        case InputFile::Failure::NotFound:
            throw PictureError(Kind::NotFound, error.systemError());
        case InputFile::Failure::NotReadable:
            throw PictureError(Kind::NotReadable, error.systemError());
        case InputFile::Failure::Folder:
            throw PictureError(Kind::Folder);
        case InputFile::Failure::NotRegularFile:
            throw PictureError(Kind::NotRegularFile);
        case InputFile::Failure::TooLarge:
            throw PictureError(Kind::FileTooLarge, 0, error.size(), MaxPictureFileBytes);
        }
        throw PictureError(Kind::NotReadable, error.systemError());
    }
}

// Up to size bytes from the file's current place; fewer where it ends.
QByteArray readUpTo(InputFile &file, qint64 size)
{
    try {
        return file.read(size);
    } catch (const InputFile::Error &error) {
        throw PictureError(PictureError::Kind::NotReadable, error.systemError());
    }
}

// The picture that device holds, its bytes' header read already.
Picture decode(QIODevice &device, const PictureHeader &header)
{
    using Kind = PictureError::Kind;
    QImageReader reader(&device);
    reader.setDecideFormatFromContent(true);
    reader.setAllocationLimit(MaxDecodeMegabytes);
    // A BMP stored top-down reports a negative height here. The decoder
    // gives no size for some it will not read; their header does.
    const QSize size = reader.size();
    const qint64 width = qAbs(qint64(size.width()));
    const qint64 height = qAbs(qint64(size.height()));
    if (width * height > MaxPicturePixels)
        throw PictureError(Kind::PictureTooLarge, 0, width, height);
    if (header.width * qAbs(header.height) > MaxPicturePixels)
        throw PictureError(Kind::PictureTooLarge, 0, header.width, qAbs(header.height));
    if (header.truncated)
        throw PictureError(Kind::Truncated, 0, header.fileBytes, header.neededBytes);
    // Pixels that the decoder leaves out (an RLE stream may skip some) are
    // blank, not whatever the memory held before: the BMP decoder fills an
    // image of the right size and format handed to it. An uncompressed BMP
    // found whole has all its lines written.
    QImage image;
    const bool wholeLines = header.content == PictureHeader::Content::Bmp && header.neededBytes > 0;
    if (width > 0 && height > 0 && reader.imageFormat() != QImage::Format_Invalid) {
        image = QImage(int(width), int(height), reader.imageFormat());
        if (!wholeLines)
            image.fill(0);
    }
    if (!reader.read(&image) || image.isNull())
        throw PictureError(Kind::NotAPicture);
    if (qint64(image.width()) * image.height() > MaxPicturePixels)
        throw PictureError(Kind::PictureTooLarge, 0, image.width(), image.height());
    if (header.content == PictureHeader::Content::Bmp)
        makeOpaque(image);
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32_Premultiplied)
        image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    return image;
}

// More of a file's first bytes than any BMP's headers and masks take (138
// bytes at most); the palette is only counted, never read.
constexpr qint64 HeadBytes = 1024;

// An uncompressed BMP, nearly every skin picture, is decoded straight from
// a file on disk: its header tells from the file's size whether it is
// whole, and reading it into memory first would only cost a second
// picture's worth of fresh memory. A file that changes while it is read
// counts as cut short, as it may well be. Any other file is read whole,
// then decoded.
Picture loadPicture(InputFile &file)
{
    QByteArray head = readUpTo(file, std::min<qint64>(file.size(), HeadBytes));
    if (head.size() == file.size())
        return DecodePicture(head);
    PictureHeader header = readPictureHeader(head);
    const bool uncompressedBmp = header.content == PictureHeader::Content::Bmp && header.neededBytes > 0;
    if (!uncompressedBmp || file.descriptor() < 0)
        return DecodePicture(head + readUpTo(file, file.size() - head.size()));
    header.fileBytes = file.size();
    header.truncated = header.neededBytes > file.size();
    head.clear();
    QFile device;
    if (::lseek(file.descriptor(), 0, SEEK_SET) != 0 || !device.open(file.descriptor(), QIODevice::ReadOnly))
        throw PictureError(PictureError::Kind::NotReadable, errno);
    const Picture picture = decode(device, header);
    qint64 sizeNow = 0;
    if (file.changedSinceOpened(&sizeNow))
        throw PictureError(PictureError::Kind::Truncated, 0, sizeNow, header.neededBytes);
    return picture;
}

} // namespace

Picture LoadPicture(const QString &path)
{
    InputFile file = openPictureFile([&](qint64 maxBytes) { return InputFile::open(path, maxBytes); });
    return loadPicture(file);
}

Picture LoadPicture(Folder &folder, const QString &name)
{
    InputFile file = openPictureFile([&](qint64 maxBytes) { return folder.open(name, maxBytes); });
    return loadPicture(file);
}

QByteArray ReadPictureFile(Folder &folder, const QString &name)
{
    InputFile file = openPictureFile([&](qint64 maxBytes) { return folder.open(name, maxBytes); });
    // What the file held when it was checked; a file that grows meanwhile
    // is not read on and on, and one that shrinks ends up short.
    return readUpTo(file, file.size());
}

Picture DecodePicture(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        throw PictureError(PictureError::Kind::Empty);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return decode(buffer, readPictureHeader(bytes));
}
