#include "tool/fileheader.h"

#include "runtime/filename.h"

#include <QFile>
#include <QtEndian>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace skintool {

namespace {

constexpr int FileHeaderBytes = 14;
constexpr int CoreHeaderBytes = 12;  // the old OS/2 header: no compression field
constexpr int InfoHeaderBytes = 40;

quint32 u32(const unsigned char *bytes)
{
    return qFromLittleEndian<quint32>(bytes);
}

quint16 u16(const unsigned char *bytes)
{
    return qFromLittleEndian<quint16>(bytes);
}

void readBmp(FileHeader &header, const unsigned char *bytes, qint64 length)
{
    header.content = FileHeader::Content::Bmp;
    if (length < FileHeaderBytes + 4)
        return;
    const quint32 dataOffset = u32(bytes + 10);
    const quint32 infoBytes = u32(bytes + 14);
    if (infoBytes == CoreHeaderBytes && length >= FileHeaderBytes + CoreHeaderBytes) {
        header.width = u16(bytes + 18);
        header.height = u16(bytes + 20);
        header.bitCount = u16(bytes + 24);
    } else if (infoBytes >= InfoHeaderBytes && length >= FileHeaderBytes + InfoHeaderBytes) {
        header.width = qint32(u32(bytes + 18));
        header.height = qint32(u32(bytes + 22));
        header.bitCount = u16(bytes + 28);
        header.compression = u32(bytes + 30);
    } else {
        return;
    }
    if (header.compression == 0 && header.width > 0 && header.bitCount > 0) {
        const qint64 lineBytes = (header.width * header.bitCount + 31) / 32 * 4;
        header.neededBytes = qint64(dataOffset) + lineBytes * qAbs(header.height);
    }
}

} // namespace

FileHeader readHeader(const QString &path)
{
    FileHeader header;
    const int fd = ::open(fileNameFromText(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return header;
    struct stat status;
    unsigned char bytes[FileHeaderBytes + InfoHeaderBytes] = {};
    qint64 length = -1;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode))
        length = ::pread(fd, bytes, sizeof bytes, 0);
    ::close(fd);
    if (length < 0)
        return header;
    header.fileBytes = status.st_size;
    const auto startsWith = [&](const char *magic, qint64 magicLength) {
        return length >= magicLength && std::equal(magic, magic + magicLength, bytes,
                                                   [](char a, unsigned char b) { return (unsigned char)a == b; });
    };
    if (startsWith("BM", 2))
        readBmp(header, bytes, length);
    else if (startsWith("\x89PNG", 4))
        header.content = FileHeader::Content::Png;
    else if (startsWith("\xff\xd8\xff", 3))
        header.content = FileHeader::Content::Jpeg;
    else if (startsWith("GIF8", 4))
        header.content = FileHeader::Content::Gif;
    else
        header.content = FileHeader::Content::Other;
    return header;
}

std::optional<QString> formatProblem(const FileHeader &header)
{
    switch (header.content) {
    case FileHeader::Content::Unread:
        return std::nullopt;
    case FileHeader::Content::Png:
        return QStringLiteral("holds PNG content");
    case FileHeader::Content::Jpeg:
        return QStringLiteral("holds JPEG content");
    case FileHeader::Content::Gif:
        return QStringLiteral("holds GIF content");
    case FileHeader::Content::Other:
        return QStringLiteral("is not a BMP");
    case FileHeader::Content::Bmp:
        break;
    }
    switch (header.compression) {
    case 0:
        break;
    case 1:
    case 2:
        return QStringLiteral("is an RLE-compressed BMP");
    case 3:
    case 6:
        return QStringLiteral("is a BMP with bit fields");
    default:
        return QStringLiteral("is a compressed BMP");
    }
    if (header.bitCount != 24)
        return QStringLiteral("is a %1-bit BMP").arg(header.bitCount);
    return std::nullopt;
}

std::optional<qint64> missingLines(const FileHeader &header)
{
    if (header.content != FileHeader::Content::Bmp || header.neededBytes <= header.fileBytes)
        return std::nullopt;
    const qint64 lines = qAbs(header.height);
    const qint64 lineBytes = (header.width * header.bitCount + 31) / 32 * 4;
    const qint64 missingBytes = header.neededBytes - header.fileBytes;
    return std::min(lines, (missingBytes + lineBytes - 1) / lineBytes);
}

} // namespace skintool
