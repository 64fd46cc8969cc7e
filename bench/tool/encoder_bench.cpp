// The PNG encoders that skintool could write its pictures with, each on the
// same pictures: the five windows of each sample skin and of a grainy skin,
// as render draws them. For each, the time to encode them all and the bytes
// they take, against Qt's writer at the compression render used.
//
// - libpng's row writer with one filter (or its full search) and a zlib level;
// - libspng, with the same choices;
// - libdeflate, which compresses a whole picture at once: the lines are
//   filtered here (one filter for all) and the chunks written here.

#include "support/fixtures.h"
#include "support/qt_setup.h"
#include "support/ratios.h"

#include "pictures/picturememory.h"
#include "tool/render.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QImageWriter>
#include <QtEndian>

#include <libdeflate.h>
#include <png.h>
#include <spng.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using Encoder = std::function<QByteArray(const QImage &)>;

// What render wrote with before: Qt's writer (libpng, every filter tried on
// every line) at this compression, zlib's level 4.
constexpr int QtCompressionToday = 50;

QByteArray qtWriter(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setCompression(QtCompressionToday);
    writer.write(image);
    return bytes;
}

void appendToArray(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<QByteArray *>(png_get_io_ptr(png))->append(reinterpret_cast<const char *>(data), qsizetype(length));
}

// libpng straight from Qt's 32-bit lines: it drops the fourth byte and swaps
// blue and red itself.
QByteArray libpngRows(const QImage &source, int filters, int level)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    QByteArray bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &bytes, appendToArray, nullptr);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, filters);
    png_set_compression_level(png, level);
    png_set_IHDR(png, info, png_uint_32(image.width()), png_uint_32(image.height()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    png_set_bgr(png);
    png_set_filler(png, 0, PNG_FILLER_AFTER);
    for (int y = 0; y < image.height(); ++y)
        png_write_row(png, image.constScanLine(y));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

// libspng takes the lines as the file holds them: 8-bit RGB.
QByteArray libspngRows(const QImage &source, int filters, int level)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    spng_ctx *context = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(context, SPNG_ENCODE_TO_BUFFER, 1);
    spng_set_option(context, SPNG_FILTER_CHOICE, filters);
    spng_set_option(context, SPNG_IMG_COMPRESSION_LEVEL, level);
    spng_ihdr header = {};
    header.width = uint32_t(image.width());
    header.height = uint32_t(image.height());
    header.bit_depth = 8;
    header.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
    spng_set_ihdr(context, &header);
    QByteArray bytes;
    if (spng_encode_image(context, nullptr, 0, SPNG_FMT_PNG, SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE) == 0) {
        for (int y = 0; y < image.height(); ++y)
            spng_encode_row(context, image.constScanLine(y), size_t(image.width()) * 3);
        int error = 0;
        size_t size = 0;
        void *png = spng_get_png_buffer(context, &size, &error);
        bytes = QByteArray(static_cast<const char *>(png), qsizetype(size));
        std::free(png);
    }
    spng_ctx_free(context);
    return bytes;
}

void appendChunk(QByteArray &out, const char type[4], const char *data, qsizetype size)
{
    char length[4];
    qToBigEndian(quint32(size), length);
    out.append(length, 4);
    const qsizetype start = out.size();
    out.append(type, 4);
    out.append(data, size);
    const quint32 crc = quint32(crc32(0, reinterpret_cast<const Bytef *>(out.constData() + start), uInt(size + 4)));
    char crcBytes[4];
    qToBigEndian(crc, crcBytes);
    out.append(crcBytes, 4);
}

// Each line with the Up filter (2) or Sub filter (1), then one zlib stream.
QByteArray libdeflateWhole(const QImage &source, int filter, int level, libdeflate_compressor *compressor)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    const qsizetype stride = qsizetype(image.width()) * 3;
    QByteArray filtered((stride + 1) * image.height(), Qt::Uninitialized);
    for (int y = 0; y < image.height(); ++y) {
        const uchar *line = image.constScanLine(y);
        const uchar *up = y > 0 ? image.constScanLine(y - 1) : nullptr;
        char *out = filtered.data() + (stride + 1) * y;
        out[0] = char(filter);
        for (qsizetype i = 0; i < stride; ++i) {
            const int predicted = filter == 2 ? (up ? up[i] : 0) : (i >= 3 ? line[i - 3] : 0);
            out[i + 1] = char(line[i] - predicted);
        }
    }
    QByteArray compressed(qsizetype(libdeflate_zlib_compress_bound(compressor, size_t(filtered.size()))),
                          Qt::Uninitialized);
    compressed.resize(qsizetype(libdeflate_zlib_compress(compressor, filtered.constData(), size_t(filtered.size()),
                                                         compressed.data(), size_t(compressed.size()))));
    (void)level;
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    char header[13] = {};
    qToBigEndian(quint32(image.width()), header);
    qToBigEndian(quint32(image.height()), header + 4);
    header[8] = 8;
    header[9] = 2;
    appendChunk(png, "IHDR", header, 13);
    appendChunk(png, "IDAT", compressed.constData(), compressed.size());
    appendChunk(png, "IEND", nullptr, 0);
    return png;
}

struct Candidate
{
    std::string name;
    Encoder encode;
};

} // namespace

int main(int argc, char **argv)
{
    setFreedPictureMemory(FreedPictureMemory::StaysForTheNextSkin);
    bench::QtSetup setup(argc, argv);
    const std::string grainy = setup.temp() / "grainy";
    bench::writeGrainySkin(grainy, 7);
    skintool::leaveWorkingDirectory();

    // The pictures, by skin.
    std::map<std::string, std::vector<QImage>> skins;
    for (const auto &[name, folder] : std::vector<std::pair<std::string, QString>>{
             {"Meadow", QStringLiteral(SKINPREVIEW_SOURCE_DIR "/samples/skins/Meadow")},
             {"Midnight", QStringLiteral(SKINPREVIEW_SOURCE_DIR "/samples/skins/Midnight")},
             {"grainy", QString::fromStdString(grainy)}}) {
        for (const skintool::Rendering &picture : skintool::renderFolder(folder))
            skins[name].push_back(picture.image);
    }

    std::vector<Candidate> candidates{{"qt-writer-today", qtWriter}};
    const std::pair<const char *, int> pngFilters[] = {
        {"none", PNG_FILTER_NONE}, {"sub", PNG_FILTER_SUB}, {"up", PNG_FILTER_UP},
        {"paeth", PNG_FILTER_PAETH}, {"all", PNG_ALL_FILTERS}};
    const std::pair<const char *, int> spngFilters[] = {
        {"sub", SPNG_FILTER_CHOICE_SUB}, {"up", SPNG_FILTER_CHOICE_UP}, {"all", SPNG_FILTER_CHOICE_ALL}};
    for (const int level : {1, 2, 3, 6}) {
        for (const auto &[name, filters] : pngFilters)
            candidates.push_back({"libpng-" + std::string(name) + "-" + std::to_string(level),
                                  [filters, level](const QImage &image) { return libpngRows(image, filters, level); }});
        for (const auto &[name, filters] : spngFilters)
            candidates.push_back({"libspng-" + std::string(name) + "-" + std::to_string(level),
                                  [filters, level](const QImage &image) { return libspngRows(image, filters, level); }});
    }
    std::vector<libdeflate_compressor *> compressors;
    for (const int level : {1, 6}) {
        libdeflate_compressor *compressor = libdeflate_alloc_compressor(level);
        compressors.push_back(compressor);
        for (const auto &[name, filter] : std::vector<std::pair<const char *, int>>{{"sub", 1}, {"up", 2}})
            candidates.push_back({"libdeflate-" + std::string(name) + "-" + std::to_string(level),
                                  [filter, level, compressor](const QImage &image) {
                                      return libdeflateWhole(image, filter, level, compressor);
                                  }});
    }

    for (const Candidate &candidate : candidates) {
        for (const auto &[skin, pictures] : skins) {
            benchmark::RegisterBenchmark((candidate.name + "/" + skin).c_str(), [&](benchmark::State &state) {
                // CPU time, which the other work on a busy machine moves
                // far less than the time on the clock.
                double bytes = 0;
                const double cpuStart = bench::threadCpuSeconds();
                for (auto _ : state) {
                    bytes = 0;
                    for (const QImage &picture : pictures)
                        bytes += double(candidate.encode(picture).size());
                }
                state.counters["bytes"] = bytes;
                state.counters["cpu"] = (bench::threadCpuSeconds() - cpuStart) / double(state.iterations());
            })->UseRealTime()->Unit(benchmark::kMillisecond);
        }
    }
    const bench::Results results = bench::runBenchmarks(&argc, argv, 1);

    std::printf("\nencoder: CPU ms for a skin's five pictures, and their bytes, each also against Qt's writer "
                "as render used it\n");
    std::printf("encoder %-18s", "");
    for (const auto &[skin, pictures] : skins)
        std::printf(" | %-8s %6s %9s %5s %5s", skin.c_str(), "ms", "bytes", "ms", "bytes");
    std::printf("\n");
    for (const Candidate &candidate : candidates) {
        std::printf("encoder %-18s", candidate.name.c_str());
        for (const auto &[skin, pictures] : skins) {
            const std::string name = candidate.name + "/" + skin;
            const std::string today = "qt-writer-today/" + skin;
            const double cpu = results.medianCounter(name, "cpu"), bytes = results.medianCounter(name, "bytes");
            std::printf(" | %-8s %6.1f %9.0f %5.2f %5.2f", "", cpu * 1000, bytes,
                        cpu / results.medianCounter(today, "cpu"), bytes / results.medianCounter(today, "bytes"));
        }
        std::printf("\n");
    }
    for (libdeflate_compressor *compressor : compressors)
        libdeflate_free_compressor(compressor);
    return 0;
}
