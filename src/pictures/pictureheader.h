#pragma once

#include <QByteArrayView>
#include <QtGlobal>

// What a picture file's bytes say before they are decoded: the kind of
// content, what a BMP's header says, and whether the file holds the whole
// picture or ends before it does. Our own reader, made for bytes that may be
// anything: it trusts no field, reads nothing beyond the bytes given, and
// its arithmetic saturates instead of overflowing.
struct PictureHeader
{
    enum class Content { Empty, Bmp, Png, Jpeg, Gif, Other };
    Content content = Content::Empty;
    qint64 fileBytes = 0;

    // Whether the bytes end before the picture does: a BMP shorter than its
    // header and pixels, an RLE stream without its end, a PNG without its
    // IEND chunk, a JPEG without the end marker after its last scan, a GIF
    // without its trailer. A file that is broken in another way is left to
    // the decoder.
    bool truncated = false;

    // A BMP's header; zero where the file ends before the field.
    int infoBytes = 0; // the information header: 12, 40, 52, 56, 64, 108 or 124 bytes
    int bitCount = 0;
    quint32 compression = 0; // 0 none, 1 RLE8, 2 RLE4, 3 bit fields, 6 bit fields with alpha
    qint64 width = 0;
    qint64 height = 0; // negative: stored top-down
    bool alphaMask = false; // the header gives an alpha channel a mask
    // Where an uncompressed BMP's lines start, the first line in the file
    // being the bottom one unless height is negative; 0 where the header
    // does not tell.
    qint64 pixelsAt = 0;
    // The bytes that an uncompressed BMP needs for its header, palette and
    // every line (saturated at the largest qint64); 0 where the header does
    // not tell, as for RLE.
    qint64 neededBytes = 0;
};

// Reads the whole file's bytes.
PictureHeader readPictureHeader(QByteArrayView bytes);

// The bytes of one line of an uncompressed BMP, padded to four bytes, or 0
// for a width or bit count that makes no sense; saturated like neededBytes.
qint64 bmpLineBytes(qint64 width, int bitCount);
