// Bytes to picture through LoadPicture, the way a skin file is loaded.

#include "memoryfile.h"

#include "files/error.h"
#include "pictures/picture.h"

#include <QCoreApplication>

#include <cstdio>
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static MemoryFile file;
    const QString &path = file.hold(data, size);
    try {
        const Picture picture = LoadPicture(path);
        // A picture that loads is one the slots can draw as it is.
        const bool usable = !picture.isNull()
                            && (picture.format() == QImage::Format_RGB32
                                || picture.format() == QImage::Format_ARGB32_Premultiplied)
                            && qint64(picture.width()) * picture.height() <= 16 * 1024 * 1024;
        if (!usable) {
            std::fprintf(stderr, "LoadPicture returned an unusable picture: %dx%d format %d\n",
                         picture.width(), picture.height(), int(picture.format()));
            std::abort();
        }
        // Touch every line, so a picture whose buffer is shorter than its
        // size claims shows up under AddressSanitizer.
        volatile uint32_t sum = 0;
        for (int y = 0; y < picture.height(); ++y) {
            const auto *line = reinterpret_cast<const uint32_t *>(picture.constScanLine(y));
            sum = sum + line[0] + line[picture.width() - 1];
        }
    } catch (const RuntimeError &) {
        // Refused: the slot keeps its picture.
    }
    return 0;
}
