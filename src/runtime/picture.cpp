#include "runtime/picture.h"

#include "runtime/error.h"
#include "runtime/filename.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Far above any skin picture (an 800 x 600 24-bit BMP is 1.4 MB), far below
// what would hurt.
constexpr qint64 MaxFileBytes = 64 * 1024 * 1024;
constexpr int MaxDecodeMegabytes = 128;

} // namespace

namespace {

// Opens the file at path for reading a picture. Opened without blocking and
// checked on the open file itself, so a FIFO or a device never stalls the
// program, whatever the name leads to.
void openPictureFile(QFile &file, const QString &path)
{
    const QByteArray native = fileNameFromText(path);
    if (native.contains('\0')) // would cut the name short
        throw RuntimeError("bad file name");
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw RuntimeError(errno == ENOENT || errno == ENOTDIR ? "file not found" : "file not readable");
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw RuntimeError("file not readable");
    }
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        throw RuntimeError("not a file");
    if (status.st_size > MaxFileBytes)
        throw RuntimeError("file too large");
}

Picture decode(QIODevice &device)
{
    QImageReader reader(&device);
    reader.setDecideFormatFromContent(true);
    reader.setAllocationLimit(MaxDecodeMegabytes);
    // A BMP stored top-down reports a negative height here.
    const QSize size = reader.size();
    const qint64 width = qAbs(qint64(size.width()));
    const qint64 height = qAbs(qint64(size.height()));
    if (width * height > MaxPicturePixels)
        throw RuntimeError("picture too large");
    // The BMP decoder fills an image of the right size and format handed to
    // it, and leaves the lines that a short file lacks as they were: blank,
    // not whatever the memory held before.
    QImage image;
    if (width > 0 && height > 0 && reader.imageFormat() != QImage::Format_Invalid) {
        image = QImage(int(width), int(height), reader.imageFormat());
        image.fill(0);
    }
    if (!reader.read(&image) || image.isNull())
        throw RuntimeError("not a picture");
    if (qint64(image.width()) * image.height() > MaxPicturePixels)
        throw RuntimeError("picture too large");
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32_Premultiplied)
        image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    return image;
}

} // namespace

Picture LoadPicture(const QString &path)
{
    QFile file;
    openPictureFile(file, path);
    return decode(file);
}

QByteArray ReadPictureFile(const QString &path)
{
    QFile file;
    openPictureFile(file, path);
    // What the file held when it was checked; a file that grows meanwhile
    // is not read on and on.
    return file.read(qMin(file.size(), MaxFileBytes));
}

Picture DecodePicture(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return decode(buffer);
}
