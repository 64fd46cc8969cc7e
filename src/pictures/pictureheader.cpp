#include "pictures/pictureheader.h"

#include <QtEndian>

#include <algorithm>
#include <limits>

namespace {

constexpr qint64 Saturated = std::numeric_limits<qint64>::max();
constexpr qint64 FileHeaderBytes = 14;

// Sums and products of sizes, held at the largest qint64 rather than
// overflowing: a header may claim anything.
qint64 plus(qint64 a, qint64 b)
{
    qint64 sum;
    return __builtin_add_overflow(a, b, &sum) ? Saturated : sum;
}

qint64 times(qint64 a, qint64 b)
{
    qint64 product;
    return __builtin_mul_overflow(a, b, &product) ? Saturated : product;
}

// Little-endian fields at an offset; the caller has checked that they are
// there.
class Bytes
{
public:
    explicit Bytes(QByteArrayView bytes) : m_bytes(bytes) {}

    qint64 size() const { return m_bytes.size(); }
    bool has(qint64 offset, qint64 length) const { return offset >= 0 && length <= size() - offset; }
    quint8 u8(qint64 at) const { return quint8(m_bytes[at]); }
    quint16 u16(qint64 at) const { return qFromLittleEndian<quint16>(m_bytes.data() + at); }
    quint32 u32(qint64 at) const { return qFromLittleEndian<quint32>(m_bytes.data() + at); }
    quint32 be32(qint64 at) const { return qFromBigEndian<quint32>(m_bytes.data() + at); }
    bool startsWith(QByteArrayView magic) const { return m_bytes.startsWith(magic); }
    QByteArrayView view() const { return m_bytes; }

private:
    QByteArrayView m_bytes;
};

bool isKnownInfoSize(quint32 bytes)
{
    switch (bytes) {
    case 12:  // the old core header: 16-bit sizes, no compression
    case 40:  // the classic one
    case 52:  // with bit masks
    case 56:  // with an alpha mask too
    case 64:  // the extended core header
    case 108: // version 4: colour space
    case 124: // version 5: colour profile
        return true;
    default:
        return false;
    }
}

// Whether an RLE stream starting at offset draws every line before the
// bytes end: it reaches its end-of-picture mark, moves past the last line,
// or ends right after the last line's last pixel.
bool rleComplete(const Bytes &bytes, qint64 at, qint64 width, qint64 lines, bool fourBits)
{
    qint64 x = 0;
    qint64 y = 0;
    while (y < lines) {
        if (!bytes.has(at, 2))
            return y == lines - 1 && x >= width;
        const int count = bytes.u8(at);
        const int code = bytes.u8(at + 1);
        at += 2;
        if (count > 0) { // a run of count pixels
            x += count;
            continue;
        }
        switch (code) {
        case 0: // end of line
            x = 0;
            ++y;
            break;
        case 1: // end of picture
            return true;
        case 2: // move right and up
            if (!bytes.has(at, 2))
                return false;
            x += bytes.u8(at);
            y += bytes.u8(at + 1);
            at += 2;
            break;
        default: { // code pixels as they are, padded to a 16-bit boundary
            const qint64 length = fourBits ? (code + 1) / 2 : code;
            at += length + (length & 1);
            if (at > bytes.size())
                return false;
            x += code;
        }
        }
    }
    return true;
}

void readBmp(PictureHeader &header, const Bytes &bytes)
{
    header.content = PictureHeader::Content::Bmp;
    if (!bytes.has(0, FileHeaderBytes + 4)) {
        header.truncated = true;
        return;
    }
    const quint32 dataOffset = bytes.u32(10);
    const quint32 infoBytes = bytes.u32(14);
    if (!isKnownInfoSize(infoBytes))
        return; // the decoder says what it makes of it
    header.infoBytes = int(infoBytes);
    if (!bytes.has(FileHeaderBytes, infoBytes)) {
        header.truncated = true;
        return;
    }
    quint32 colours = 0;
    int paletteEntryBytes = 4;
    if (infoBytes == 12) {
        header.width = qint16(bytes.u16(18));
        header.height = qint16(bytes.u16(20));
        header.bitCount = bytes.u16(24);
        paletteEntryBytes = 3;
    } else {
        header.width = qint32(bytes.u32(18));
        header.height = qint32(bytes.u32(22));
        header.bitCount = bytes.u16(28);
        header.compression = bytes.u32(30);
        colours = bytes.u32(46);
    }
    // The masks follow a 40-byte header, and the three colour masks follow
    // the 64-byte one too; the other headers hold them. The alpha mask sits
    // at the same place either way, and the decoder heeds it in a 16- or
    // 32-bit picture whatever the compression field says.
    qint64 masksAfter = 0;
    if ((infoBytes == 40 || infoBytes == 64) && header.compression == 3)
        masksAfter = 12;
    else if (infoBytes == 40 && header.compression == 6)
        masksAfter = 16;
    const bool alphaMaskThere = infoBytes >= 56 || (infoBytes == 40 && header.compression == 6);
    if ((header.bitCount == 16 || header.bitCount == 32) && alphaMaskThere && bytes.has(66, 4))
        header.alphaMask = bytes.u32(66) != 0;

    if (header.width <= 0 || header.height == 0 || header.bitCount == 0)
        return; // no picture to need bytes for; the decoder refuses it
    // A palette of as many colours as the header says, even more than the
    // depth can use: the decoder reads them all. Zero means all the depth
    // allows.
    qint64 paletteBytes = 0;
    if (header.bitCount <= 8)
        paletteBytes = (colours == 0 ? qint64(1) << header.bitCount : qint64(colours)) * paletteEntryBytes;
    // The pixels start after the headers and the palette, or further on
    // where the file header says so.
    const qint64 dataStart = std::max<qint64>(dataOffset, FileHeaderBytes + infoBytes + masksAfter + paletteBytes);
    const qint64 lines = header.height < 0 ? -header.height : header.height;
    switch (header.compression) {
    case 0:
    case 3:
    case 6:
        if (const qint64 lineBytes = bmpLineBytes(header.width, header.bitCount); lineBytes > 0) {
            header.pixelsAt = dataStart;
            header.neededBytes = plus(dataStart, times(lineBytes, lines));
            header.truncated = header.neededBytes > bytes.size();
        }
        break;
    case 1:
    case 2:
        header.truncated = !rleComplete(bytes, dataStart, header.width, lines, header.compression == 2);
        break;
    default:
        break;
    }
}

// The chunks up to IEND.
bool pngTruncated(const Bytes &bytes)
{
    qint64 at = 8;
    while (bytes.has(at, 8)) {
        const quint32 length = bytes.be32(at);
        if (length > 0x7fffffff)
            return false; // not a PNG's chunk: broken, not cut
        const bool end = bytes.view().sliced(at + 4, 4) == QByteArrayView("IEND");
        at += 12 + qint64(length);
        if (end)
            return at > bytes.size();
    }
    return true;
}

// An end marker (FF D9) after the last start of a scan (FF DA). Neither pair
// occurs inside the compressed data, where FF is always followed by 00 or a
// restart marker.
bool jpegTruncated(const Bytes &bytes)
{
    const QByteArrayView view = bytes.view();
    const qsizetype end = view.lastIndexOf(QByteArrayView("\xff\xd9"));
    const qsizetype scan = view.lastIndexOf(QByteArrayView("\xff\xda"));
    return end < 0 || scan < 0 || end < scan;
}

// The blocks up to the trailer.
bool gifTruncated(const Bytes &bytes)
{
    constexpr qint64 ScreenDescriptorEnd = 13;
    if (!bytes.has(0, ScreenDescriptorEnd))
        return true;
    const auto colourTable = [](int flags) { return flags & 0x80 ? qint64(3) << ((flags & 7) + 1) : 0; };
    qint64 at = ScreenDescriptorEnd + colourTable(bytes.u8(10));
    // Data sub-blocks, each led by its length, up to an empty one. False
    // when the bytes end first.
    const auto skipSubBlocks = [&] {
        while (bytes.has(at, 1)) {
            const int length = bytes.u8(at++);
            if (length == 0)
                return true;
            at += length;
        }
        return false;
    };
    while (bytes.has(at, 1)) {
        switch (bytes.u8(at++)) {
        case 0x3b: // trailer
            return false;
        case 0x21: // extension: its label, then sub-blocks
            ++at;
            if (!skipSubBlocks())
                return true;
            break;
        case 0x2c: // image: descriptor, colour table, code size, sub-blocks
            if (!bytes.has(at, 9))
                return true;
            at += 9 + colourTable(bytes.u8(at + 8)) + 1;
            if (!skipSubBlocks())
                return true;
            break;
        default:
            return false; // broken, not cut
        }
    }
    return true;
}

} // namespace

qint64 bmpLineBytes(qint64 width, int bitCount)
{
    if (width <= 0 || bitCount <= 0)
        return 0;
    const qint64 bits = times(width, bitCount);
    if (bits == Saturated)
        return Saturated;
    return (bits + 31) / 32 * 4;
}

PictureHeader readPictureHeader(QByteArrayView view)
{
    const Bytes bytes(view);
    PictureHeader header;
    header.fileBytes = bytes.size();
    if (bytes.size() == 0)
        return header;
    if (bytes.startsWith("BM")) {
        readBmp(header, bytes);
    } else if (bytes.startsWith("\x89PNG")) {
        header.content = PictureHeader::Content::Png;
        header.truncated = pngTruncated(bytes);
    } else if (bytes.startsWith("\xff\xd8\xff")) {
        header.content = PictureHeader::Content::Jpeg;
        header.truncated = jpegTruncated(bytes);
    } else if (bytes.startsWith("GIF8")) {
        header.content = PictureHeader::Content::Gif;
        header.truncated = gifTruncated(bytes);
    } else {
        header.content = PictureHeader::Content::Other;
    }
    return header;
}
