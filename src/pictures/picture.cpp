#include "pictures/picture.h"

#include "files/filename.h"
#include "pictures/pictureheader.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int MaxDecodeMegabytes = 128;

// Closes a descriptor on every way out.
class OpenFile
{
public:
    explicit OpenFile(int fd) : m_fd(fd) {}
    ~OpenFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    OpenFile(const OpenFile &) = delete;
    OpenFile &operator=(const OpenFile &) = delete;
    int fd() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

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

// Opens the file at path for reading a picture, or says why not. Opened
// without blocking and checked on the open file itself, so a FIFO or a
// device never stalls the program, whatever the name leads to.
int openPictureFile(const QString &path, struct stat &status)
{
    using Kind = PictureError::Kind;
    const QByteArray native = fileNameFromText(path);
    if (native.contains('\0')) // would cut the name short
        throw PictureError(Kind::BadName);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        throw PictureError(error == ENOENT ? Kind::NotFound : Kind::NotReadable, error);
    }
    OpenFile file(fd);
    if (::fstat(fd, &status) != 0)
        throw PictureError(Kind::NotReadable, errno);
    if (S_ISDIR(status.st_mode))
        throw PictureError(Kind::Folder);
    if (!S_ISREG(status.st_mode))
        throw PictureError(Kind::NotRegularFile);
    if (status.st_size > MaxPictureFileBytes)
        throw PictureError(Kind::FileTooLarge, 0, status.st_size, MaxPictureFileBytes);
    return file.release();
}

// Up to size bytes from the file's current place; fewer where it ends.
QByteArray readUpTo(int fd, qint64 size)
{
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw PictureError(PictureError::Kind::NotReadable, errno);
        if (got == 0)
            break;
        done += got;
    }
    bytes.truncate(done);
    return bytes;
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

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

} // namespace

// An uncompressed BMP, nearly every skin picture, is decoded straight from
// the file: its header tells from the file's size whether it is whole, and
// reading it into memory first would only cost a second picture's worth
// of fresh memory. A file that changes while it is read counts as cut
// short, as it may well be. Any other file is read whole, then decoded.
Picture LoadPicture(const QString &path)
{
    struct stat status;
    OpenFile file(openPictureFile(path, status));
    QByteArray head = readUpTo(file.fd(), std::min<qint64>(status.st_size, HeadBytes));
    if (head.size() == status.st_size)
        return DecodePicture(head);
    PictureHeader header = readPictureHeader(head);
    const bool uncompressedBmp = header.content == PictureHeader::Content::Bmp && header.neededBytes > 0;
    if (!uncompressedBmp)
        return DecodePicture(head + readUpTo(file.fd(), status.st_size - head.size()));
    header.fileBytes = status.st_size;
    header.truncated = header.neededBytes > status.st_size;
    head.clear();
    QFile device;
    if (::lseek(file.fd(), 0, SEEK_SET) != 0 || !device.open(file.fd(), QIODevice::ReadOnly))
        throw PictureError(PictureError::Kind::NotReadable, errno);
    const Picture picture = decode(device, header);
    struct stat after {};
    if (::fstat(file.fd(), &after) != 0 || !sameFile(status, after))
        throw PictureError(PictureError::Kind::Truncated, 0, after.st_size, header.neededBytes);
    return picture;
}

QByteArray ReadPictureFile(const QString &path)
{
    struct stat status;
    const OpenFile file(openPictureFile(path, status));
    // What the file held when it was checked; a file that grows meanwhile
    // is not read on and on, and one that shrinks ends up short.
    return readUpTo(file.fd(), status.st_size);
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
