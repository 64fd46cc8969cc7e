#include "tool/png.h"

#include "files/error.h"
#include "files/filename.h"
#include "files/filereplacement.h"
#include "tool/interrupt.h"
#include "tool/terminal.h"

#include <png.h>

#include <csetjmp>
#include <new>
#include <optional>

namespace skintool {

namespace {

constexpr int DotsPerMeter = 3780; // 96 dots per inch

// How every PNG is compressed, chosen by measuring the encoders on skins
// (docs/development.md): each line with the Up filter, and zlib at this
// level. Fixed, so that the same pictures always give the same bytes.
constexpr int LineFilter = PNG_FILTER_UP;
constexpr int ZlibLevel = 3;

// libpng's failures end the step that met them (png_longjmp() back to its
// setjmp()), silently: the caller says what failed.
[[noreturn]] void failSilently(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void warnNobody(png_structp, png_const_charp) {}

void writeToSink(png_structp png, png_bytep data, png_size_t length)
{
    auto *sink = static_cast<PngStream::Sink *>(png_get_io_ptr(png));
    try {
        (*sink)(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(length)));
    } catch (...) {
        png_error(png, "the bytes went nowhere"); // no exception through libpng
    }
}

void flushNothing(png_structp) {}

} // namespace

QByteArray encodePng(const QImage &image)
{
    QByteArray bytes;
    try {
        PngStream png(image.width(), image.height(), image.hasAlphaChannel(),
                      [&](QByteArrayView piece) { bytes.append(piece); });
        png.addLines(image);
        if (!png.finish())
            return {};
    } catch (const std::bad_alloc &) {
        return {};
    }
    return bytes;
}

struct OutputFile::Open
{
    // The guard goes last: the new file is removed before an interrupt
    // stops being able to remove it.
    std::optional<TemporaryFileGuard> guard;
    std::optional<FileReplacement> file;
};

OutputFile::OutputFile() = default;
OutputFile::~OutputFile() = default;

bool OutputFile::open(const QString &path, QString *error)
{
    // The program's own way of replacing a file whole, which also takes the
    // name as the bytes it stands for.
    auto open = std::make_unique<Open>();
    try {
        // No interrupt between making the temporary file and knowing it.
        const InterruptsHeld held;
        open->file.emplace(fileNameFromText(path));
        open->guard.emplace(open->file->temporaryPath());
    } catch (const RuntimeError &failure) {
        *error = failureReason(failure);
        return false;
    }
    m_open = std::move(open);
    return true;
}

bool OutputFile::append(QByteArrayView piece, QString *error)
{
    try {
        if (!m_open)
            throw RuntimeError("file not open");
        m_open->file->append(piece);
    } catch (const RuntimeError &failure) {
        *error = failureReason(failure);
        m_open.reset();
        return false;
    }
    return true;
}

bool OutputFile::commit(QString *error)
{
    try {
        if (!m_open)
            throw RuntimeError("file not open");
        m_open->file->commit();
    } catch (const RuntimeError &failure) {
        *error = failureReason(failure);
        m_open.reset();
        return false;
    }
    m_open.reset();
    return true;
}

bool writeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    OutputFile file;
    return file.open(path, error) && file.append(bytes, error) && file.commit(error);
}

bool writePng(const QString &path, const QImage &image, QString *error)
{
    const QByteArray png = encodePng(image);
    if (png.isEmpty()) {
        *error = QStringLiteral("cannot encode PNG");
        return false;
    }
    return writeFile(path, png, error);
}

struct PngStream::Writer
{
    png_structp png = nullptr;
    png_infop info = nullptr;

    ~Writer() { png_destroy_write_struct(&png, &info); }
};

PngStream::PngStream(int width, int height, bool alpha, Sink sink)
    : m_height(height), m_alpha(alpha), m_sink(std::move(sink)), m_writer(std::make_unique<Writer>())
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, failSilently, warnNobody);
    if (!png)
        throw std::bad_alloc();
    m_writer->png = png;
    m_writer->info = png_create_info_struct(png);
    if (!m_writer->info)
        throw std::bad_alloc();
    if (setjmp(png_jmpbuf(png))) {
        m_failed = true;
        return;
    }
    png_set_write_fn(png, &m_sink, writeToSink, flushNothing);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, LineFilter);
    png_set_compression_level(png, ZlibLevel);
    png_set_IHDR(png, m_writer->info, png_uint_32(width), png_uint_32(height), 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
                 PNG_FILTER_TYPE_BASE);
    png_set_pHYs(png, m_writer->info, DotsPerMeter, DotsPerMeter, PNG_RESOLUTION_METER);
    png_write_info(png, m_writer->info);
    // The lines come as Qt's 32-bit pixels, a word each: libpng takes the
    // bytes in their order in memory, and drops the unused one.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    png_set_bgr(png);
    if (!alpha)
        png_set_filler(png, 0, PNG_FILLER_AFTER);
#else
    if (alpha)
        png_set_swap_alpha(png);
    else
        png_set_filler(png, 0, PNG_FILLER_BEFORE);
#endif
}

PngStream::~PngStream() = default;

void PngStream::addLines(const QImage &band)
{
    const QImage lines = band.convertToFormat(m_alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (lines.isNull() && !band.isNull())
        throw std::bad_alloc();
    if (m_failed)
        return;
    png_structp png = m_writer->png;
    if (setjmp(png_jmpbuf(png))) {
        m_failed = true;
        return;
    }
    for (int y = 0; y < lines.height() && m_linesDone < m_height; ++y, ++m_linesDone)
        png_write_row(png, lines.constScanLine(y));
}

bool PngStream::finish()
{
    if (m_failed || m_linesDone != m_height)
        return false;
    png_structp png = m_writer->png;
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_write_end(png, nullptr);
    return true;
}

} // namespace skintool
