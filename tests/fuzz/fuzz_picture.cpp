// Bytes to picture through LoadPicture, the way a skin file is loaded, and
// through DecodePicture, the way the selector decodes what it read.

#include "memoryfile.h"

#include "files/error.h"
#include "pictures/picture.h"

#include <QCoreApplication>

#include <cstdio>
#include <functional>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The image format plugins (JPEG) are found through the application.
    static int argc = 1;
    static char name[] = "fuzz_picture";
    static char *argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    return 0;
}

namespace {

// What one decode gave: a picture, or the kind of reason it was refused.
struct Outcome
{
    Picture picture;
    int refused = -1;
};

Outcome load(const std::function<Picture()> &decode)
{
    Outcome outcome;
    try {
        outcome.picture = decode();
    } catch (const PictureError &error) {
        outcome.refused = int(error.kind());
    } catch (const RuntimeError &) {
        outcome.refused = 100;
    }
    return outcome;
}

void fail(const char *what, const Picture &picture)
{
    std::fprintf(stderr, "%s: %dx%d format %d\n", what, picture.width(), picture.height(), int(picture.format()));
    std::abort();
}

} // namespace

// Each input is decoded twice: loaded from a file into picture memory
// first filled with one byte, and decoded from its bytes into memory
// filled with another. The two must agree, so no pixel shows what the
// memory held before, and the two ways in give the same picture.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static MemoryFile file;
    const QString &path = file.hold(data, size);
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    FillFreshPictureMemory(0x55);
    const Outcome fromFile = load([&] { return LoadPicture(path); });
    FillFreshPictureMemory(0xaa);
    const Outcome fromBytes = load([&] { return DecodePicture(bytes); });
    FillFreshPictureMemory(-1);
    if (fromFile.refused != fromBytes.refused) {
        std::fprintf(stderr, "refused from a file: %d, from bytes: %d\n", fromFile.refused, fromBytes.refused);
        std::abort();
    }
    if (fromFile.refused >= 0)
        return 0; // the slot keeps its picture
    const Picture &picture = fromFile.picture;
    // A picture that loads is one the slots can draw as it is.
    const bool usable = !picture.isNull()
                        && (picture.format() == QImage::Format_RGB32
                            || picture.format() == QImage::Format_ARGB32_Premultiplied)
                        && qint64(picture.width()) * picture.height() <= 16 * 1024 * 1024;
    if (!usable)
        fail("LoadPicture returned an unusable picture", picture);
    if (picture != fromBytes.picture)
        fail("the picture depends on what its memory held, or on the way in", picture);
    // Touch every line, so a picture whose buffer is shorter than its size
    // claims shows up under AddressSanitizer.
    volatile uint32_t sum = 0;
    for (int y = 0; y < picture.height(); ++y) {
        const auto *line = reinterpret_cast<const uint32_t *>(picture.constScanLine(y));
        sum = sum + line[0] + line[picture.width() - 1];
    }
    return 0;
}
