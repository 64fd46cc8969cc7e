#include "pictures/picture.h"

#include "files/folder.h"
#include "files/inputfile.h"
#include "pictures/pictureheader.h"

#include <QBuffer>
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
    case Kind::Encrypted:
        return QStringLiteral("encrypted");
    case Kind::Damaged:
        return QStringLiteral("damaged: the archive's data for it does not read");
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
        case InputFile::Failure::Encrypted:
            throw PictureError(Kind::Encrypted);
        case InputFile::Failure::Damaged:
            throw PictureError(Kind::Damaged);
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

// What the fill of fresh picture memory is, for tests: -1 leaves it as
// the heap left it.
int freshMemoryFill = -1;

// A picture's memory before anything is decoded into it: whatever the heap
// held, unless a test asks for a fill.
QImage freshPicture(QSize size, QImage::Format format)
{
    QImage image(size, format);
    if (freshMemoryFill >= 0 && !image.isNull())
        std::memset(image.bits(), freshMemoryFill, size_t(image.sizeInBytes()));
    return image;
}

// Refuses a picture too large to decode, by the size its header claims and
// by the size the decoder reports, and one whose file ends before it does.
void checkDecodable(const PictureHeader &header, QSize decoderSize = {})
{
    using Kind = PictureError::Kind;
    const qint64 width = qAbs(qint64(decoderSize.width()));
    const qint64 height = qAbs(qint64(decoderSize.height()));
    if (width * height > MaxPicturePixels)
        throw PictureError(Kind::PictureTooLarge, 0, width, height);
    if (header.width * qAbs(header.height) > MaxPicturePixels)
        throw PictureError(Kind::PictureTooLarge, 0, header.width, qAbs(header.height));
    if (header.truncated)
        throw PictureError(Kind::Truncated, 0, header.fileBytes, header.neededBytes);
}

// The common BMPs, uncompressed with 24 or 32 bits a pixel, are decoded
// here, by the same reading of the header that judged the file whole: the
// lines start where the header reader says, and every pixel of the picture
// is written from them. (The fourth byte of a 32-bit pixel is unused.)
bool decodedHere(const PictureHeader &header)
{
    return header.content == PictureHeader::Content::Bmp && header.compression == 0
           && (header.bitCount == 24 || header.bitCount == 32) && header.neededBytes > 0;
}

// nextLines(count) gives the file's next count lines, bottom-up unless the
// height is negative, as a pointer to them, or nullptr where the file ends
// before they do.
template <class NextLines>
Picture decodeHere(const PictureHeader &header, NextLines nextLines)
{
    checkDecodable(header);
    const int width = int(header.width);
    const int height = int(qAbs(header.height));
    const qint64 lineBytes = bmpLineBytes(header.width, header.bitCount);
    const int pixelBytes = header.bitCount / 8;
    Picture picture = freshPicture(QSize(width, height), QImage::Format_RGB32);
    if (picture.isNull())
        throw PictureError(PictureError::Kind::PictureTooLarge, 0, width, height);
    // Some lines at a time, so that a file is read in few calls.
    const int linesAtOnce = int(std::clamp<qint64>((64 * 1024) / lineBytes, 1, height));
    for (int done = 0; done < height;) {
        const int count = std::min(linesAtOnce, height - done);
        const uchar *lines = nextLines(count);
        if (!lines)
            throw PictureError(PictureError::Kind::Truncated, 0, header.fileBytes, header.neededBytes);
        for (int i = 0; i < count; ++i, ++done) {
            const uchar *in = lines + i * lineBytes;
            auto *out = reinterpret_cast<QRgb *>(picture.scanLine(header.height < 0 ? done : height - 1 - done));
            for (int x = 0; x < width; ++x, in += pixelBytes)
                out[x] = qRgb(in[2], in[1], in[0]);
        }
    }
    return picture;
}

// A buffer that notes whether its reader ever asked for more bytes than
// were left. Unbuffered, so that each read asks for what the decoder asks
// for.
class WatchedBuffer : public QBuffer
{
public:
    explicit WatchedBuffer(const QByteArray &bytes)
    {
        setData(bytes);
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool ranOut = false;

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 got = QBuffer::readData(data, maxSize);
        ranOut = ranOut || got < maxSize;
        return got;
    }
};

// Any other picture, by Qt's readers, into memory blanked first: where a
// decoder leaves pixels out (an RLE stream may skip some), they are blank,
// not whatever the memory held. A BMP is refused where the header reader
// cannot lay it out, where the decoder put it in other memory than the
// blanked one, and, uncompressed, where the decoder ran out of bytes
// before its lines did.
Picture decodeWithQt(const QByteArray &bytes, const PictureHeader &header)
{
    using Kind = PictureError::Kind;
    const bool bmp = header.content == PictureHeader::Content::Bmp;
    if (bmp && header.infoBytes == 0)
        throw PictureError(Kind::NotAPicture);
    WatchedBuffer buffer(bytes);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    reader.setAllocationLimit(MaxDecodeMegabytes);
    // The decoder gives no size for some it will not read; their header
    // does. A BMP stored top-down reports a negative height.
    const QSize size = reader.size();
    checkDecodable(header, size);
    // Some readers give no format, or for a broken file one that is no
    // format at all.
    const int format = int(reader.imageFormat());
    QImage image;
    const QSize shown(qAbs(size.width()), qAbs(size.height()));
    if (!shown.isEmpty() && format > QImage::Format_Invalid && format < QImage::NImageFormats) {
        image = freshPicture(shown, QImage::Format(format));
        image.fill(0);
    }
    const uchar *blanked = image.constBits();
    buffer.ranOut = false; // finding the format and size may look past the end
    if (!reader.read(&image) || image.isNull())
        throw PictureError(Kind::NotAPicture);
    if (bmp && header.neededBytes > 0 && buffer.ranOut)
        throw PictureError(Kind::Truncated, 0, header.fileBytes, 0);
    if (bmp && image.constBits() != blanked)
        throw PictureError(Kind::NotAPicture);
    if (qint64(image.width()) * image.height() > MaxPicturePixels)
        throw PictureError(Kind::PictureTooLarge, 0, image.width(), image.height());
    if (header.content == PictureHeader::Content::Bmp)
        makeOpaque(image);
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32_Premultiplied)
        image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    return image;
}

Picture decodeBytes(const QByteArray &bytes, PictureHeader *kept)
{
    if (bytes.isEmpty())
        throw PictureError(PictureError::Kind::Empty);
    const PictureHeader header = readPictureHeader(bytes);
    Picture picture;
    if (decodedHere(header)) {
        qint64 at = header.pixelsAt;
        const qint64 lineBytes = bmpLineBytes(header.width, header.bitCount);
        picture = decodeHere(header, [&](int count) {
            const auto *lines = reinterpret_cast<const uchar *>(bytes.constData() + at);
            at += count * lineBytes;
            return at <= bytes.size() ? lines : nullptr;
        });
    } else {
        picture = decodeWithQt(bytes, header);
    }
    if (kept)
        *kept = header;
    return picture;
}

// More of a file's first bytes than any BMP's headers and masks take (138
// bytes at most); the palette is only counted, never read.
constexpr qint64 HeadBytes = 1024;

// A BMP decoded here, nearly every skin picture, is decoded straight from
// a file on disk: its header tells from the file's size whether it is
// whole, and reading it into memory first would only cost a second
// picture's worth of fresh memory. A file that changes while it is read
// counts as cut short, as it may well be. Any other file is read whole,
// then decoded.
Picture loadPicture(InputFile &file, PictureHeader *kept)
{
    // A file in memory (an archive's entry) is decoded from its own bytes,
    // shared, not copied.
    if (file.descriptor() < 0)
        return decodeBytes(readUpTo(file, file.size()), kept);
    QByteArray head = readUpTo(file, std::min<qint64>(file.size(), HeadBytes));
    if (head.size() == file.size())
        return decodeBytes(head, kept);
    PictureHeader header = readPictureHeader(head);
    if (!decodedHere(header) || file.descriptor() < 0)
        return decodeBytes(head + readUpTo(file, file.size() - head.size()), kept);
    header.fileBytes = file.size();
    header.truncated = header.neededBytes > file.size();
    head.clear();
    if (::lseek(file.descriptor(), header.pixelsAt, SEEK_SET) != header.pixelsAt)
        throw PictureError(PictureError::Kind::NotReadable, errno);
    const qint64 lineBytes = bmpLineBytes(header.width, header.bitCount);
    QByteArray lines;
    const Picture picture = decodeHere(header, [&](int count) -> const uchar * {
        lines = readUpTo(file, count * lineBytes);
        return lines.size() == count * lineBytes ? reinterpret_cast<const uchar *>(lines.constData()) : nullptr;
    });
    qint64 sizeNow = 0;
    if (file.changedSinceOpened(&sizeNow))
        throw PictureError(PictureError::Kind::Truncated, 0, sizeNow, header.neededBytes);
    if (kept)
        *kept = header;
    return picture;
}

} // namespace

Picture LoadPicture(const QString &path)
{
    InputFile file = openPictureFile([&](qint64 maxBytes) { return InputFile::open(path, maxBytes); });
    return loadPicture(file, nullptr);
}

Picture LoadPicture(Folder &folder, const QString &name, PictureHeader *header)
{
    InputFile file = openPictureFile([&](qint64 maxBytes) { return folder.open(name, maxBytes); });
    return loadPicture(file, header);
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
    return decodeBytes(bytes, nullptr);
}

void FillFreshPictureMemory(int byte)
{
    freshMemoryFill = byte;
}
