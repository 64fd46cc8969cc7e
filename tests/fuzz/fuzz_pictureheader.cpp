// Bytes to PictureHeader: the reader of picture headers that the loader
// and skintool trust, fed anything. Besides what the sanitizers catch
// (reading past the bytes, arithmetic that overflows), what it says must
// hang together.

#include "pictures/pictureheader.h"

#include <cstdio>
#include <cstdlib>

namespace {

void fail(const char *what, const PictureHeader &header)
{
    std::fprintf(stderr, "%s: content %d, %lld bytes, truncated %d, header %d bytes, %lldx%lld, %d bits, "
                         "compression %u, needed %lld\n",
                 what, int(header.content), header.fileBytes, header.truncated, header.infoBytes, header.width,
                 header.height, header.bitCount, header.compression, header.neededBytes);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const PictureHeader header = readPictureHeader(bytes);
    using Content = PictureHeader::Content;
    if (header.fileBytes != qint64(size))
        fail("the size is not the bytes'", header);
    if ((size == 0) != (header.content == Content::Empty))
        fail("empty or not", header);
    if (header.truncated && (header.content == Content::Empty || header.content == Content::Other))
        fail("cut short, yet no picture format", header);
    if (header.content != Content::Bmp
        && (header.infoBytes || header.bitCount || header.width || header.height || header.neededBytes || header.alphaMask))
        fail("BMP fields for another format", header);
    if (header.neededBytes < 0 || header.width < -0x80000000LL || header.width > 0x7fffffff)
        fail("a size out of range", header);
    if (header.neededBytes > 0 && header.truncated != (header.neededBytes > header.fileBytes))
        fail("truncated does not follow the bytes needed", header);
    // A picture that takes exactly the bytes there are is cut short by
    // one byte less.
    if (header.neededBytes == header.fileBytes && size > 0) {
        const PictureHeader shorter = readPictureHeader(bytes.first(qsizetype(size) - 1));
        if (!shorter.truncated)
            fail("one byte short, yet whole", shorter);
    }
    if ((header.pixelsAt > 0) != (header.neededBytes > 0) || header.pixelsAt > header.neededBytes)
        fail("the lines start outside the bytes needed", header);
    if (bmpLineBytes(header.width, header.bitCount) < 0)
        fail("a negative line", header);
    return 0;
}
