#include "tool/png.h"

#include "files/error.h"
#include "files/filename.h"
#include "files/filereplacement.h"
#include "tool/interrupt.h"
#include "tool/terminal.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageWriter>
#include <QtEndian>

#include <zlib.h>

#include <cstdlib>
#include <new>
#include <optional>

namespace skintool {

namespace {

constexpr int DotsPerMeter = 3780; // 96 dots per inch

// The pixels and nothing else: what the windows carry besides (a colour
// space, texts) would only make equal pictures differ in their bytes. A
// picture with transparency keeps it. Touched only where it differs, so
// that no picture is copied in vain.
QImage bare(const QImage &image)
{
    QImage plain = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (plain.colorSpace().isValid())
        plain.setColorSpace(QColorSpace());
    if (plain.dotsPerMeterX() != DotsPerMeter || plain.dotsPerMeterY() != DotsPerMeter) {
        plain.setDotsPerMeterX(DotsPerMeter);
        plain.setDotsPerMeterY(DotsPerMeter);
    }
    if (!plain.textKeys().isEmpty()) {
        // copy() keeps the texts; an image made over the same pixels has
        // none, and copy() of that one owns them.
        plain = QImage(plain.constBits(), plain.width(), plain.height(), plain.bytesPerLine(), plain.format()).copy();
        plain.setDotsPerMeterX(DotsPerMeter);
        plain.setDotsPerMeterY(DotsPerMeter);
    }
    return plain;
}

// The reason a runtime operation gives, and the system's where it has one.
QString reasonOf(const RuntimeError &failure)
{
    QString reason = QString::fromUtf8(failure.what());
    if (failure.systemError())
        reason += QStringLiteral(": ") + systemReason(failure.systemError());
    return reason;
}

// zlib's level for Qt's compression scale, as Qt's own PNG writer maps it.
int zlibLevel()
{
    return (100 - PngCompression) * 9 / 91;
}

// A PNG chunk: its length, type, data and CRC.
QByteArray chunk(const char type[4], const QByteArray &data)
{
    QByteArray out(4, Qt::Uninitialized);
    qToBigEndian(quint32(data.size()), out.data());
    out.append(type, 4);
    out.append(data);
    uLong crc = crc32(0, nullptr, 0);
    crc = crc32(crc, reinterpret_cast<const Bytef *>(out.constData() + 4), uInt(out.size() - 4));
    char crcBytes[4];
    qToBigEndian(quint32(crc), crcBytes);
    out.append(crcBytes, 4);
    return out;
}

// The predictor of the Paeth filter.
int paeth(int left, int up, int upLeft)
{
    const int p = left + up - upLeft;
    const int pa = std::abs(p - left), pb = std::abs(p - up), pc = std::abs(p - upLeft);
    if (pa <= pb && pa <= pc)
        return left;
    return pb <= pc ? up : upLeft;
}

// One line filtered with each of the five filters, the one whose bytes,
// read as signed, sum smallest kept (the usual choice of PNG encoders).
QByteArray filteredLine(const QByteArray &line, const QByteArray &previous)
{
    constexpr int Bpp = 3;
    const qsizetype n = line.size();
    const auto *cur = reinterpret_cast<const uchar *>(line.constData());
    const auto *up = reinterpret_cast<const uchar *>(previous.constData());
    QByteArray best;
    long bestSum = -1;
    QByteArray candidate(n + 1, Qt::Uninitialized);
    for (int filter = 0; filter < 5; ++filter) {
        candidate[0] = char(filter);
        long sum = 0;
        for (qsizetype i = 0; i < n; ++i) {
            const int a = i >= Bpp ? cur[i - Bpp] : 0;
            const int b = up[i];
            const int c = i >= Bpp ? up[i - Bpp] : 0;
            int predicted = 0;
            switch (filter) {
            case 1: predicted = a; break;
            case 2: predicted = b; break;
            case 3: predicted = (a + b) / 2; break;
            case 4: predicted = paeth(a, b, c); break;
            default: break;
            }
            const uchar value = uchar(cur[i] - predicted);
            candidate[i + 1] = char(value);
            sum += value < 128 ? value : 256 - value;
        }
        if (bestSum < 0 || sum < bestSum) {
            bestSum = sum;
            best = candidate;
        }
    }
    return best;
}

} // namespace

QByteArray encodePng(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setCompression(PngCompression);
    if (!writer.write(bare(image)))
        return {};
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
        *error = reasonOf(failure);
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
        *error = reasonOf(failure);
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
        *error = reasonOf(failure);
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

struct PngStream::Deflate
{
    z_stream stream = {};
};

PngStream::PngStream(int width, int height, Sink sink)
    : m_width(width), m_height(height), m_previous(qsizetype(width) * 3, '\0'), m_sink(std::move(sink)),
      m_deflate(std::make_unique<Deflate>())
{
    const int status = deflateInit(&m_deflate->stream, zlibLevel());
    if (status == Z_MEM_ERROR)
        throw std::bad_alloc();
    m_failed = status != Z_OK;
    m_sink(QByteArrayView("\x89PNG\r\n\x1a\n", 8));
    QByteArray header(13, '\0');
    qToBigEndian(quint32(width), header.data());
    qToBigEndian(quint32(height), header.data() + 4);
    header[8] = 8; // bits a sample
    header[9] = 2; // RGB
    writeChunk("IHDR", header);
    QByteArray density(9, '\0');
    qToBigEndian(quint32(DotsPerMeter), density.data());
    qToBigEndian(quint32(DotsPerMeter), density.data() + 4);
    density[8] = 1; // per metre
    writeChunk("pHYs", density);
}

PngStream::~PngStream()
{
    deflateEnd(&m_deflate->stream);
}

void PngStream::writeChunk(const char type[4], const QByteArray &data)
{
    m_sink(chunk(type, data));
}

void PngStream::addLines(const QImage &band)
{
    const QImage rgb = band.convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull() && !band.isNull())
        throw std::bad_alloc();
    for (int y = 0; y < rgb.height() && m_linesDone < m_height; ++y, ++m_linesDone) {
        const QByteArray line(reinterpret_cast<const char *>(rgb.constScanLine(y)), qsizetype(m_width) * 3);
        const QByteArray filtered = filteredLine(line, m_previous);
        compress(filtered.constData(), filtered.size(), false);
        m_previous = line;
    }
}

void PngStream::compress(const char *data, qsizetype size, bool last)
{
    if (m_failed)
        return;
    z_stream &stream = m_deflate->stream;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
    stream.avail_in = uInt(size);
    char buffer[64 * 1024];
    QByteArray idat;
    int status;
    do {
        stream.next_out = reinterpret_cast<Bytef *>(buffer);
        stream.avail_out = sizeof buffer;
        status = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
        if (status == Z_STREAM_ERROR) {
            m_failed = true;
            return;
        }
        idat.append(buffer, qsizetype(sizeof buffer - stream.avail_out));
    } while (stream.avail_out == 0 || (last && status != Z_STREAM_END));
    if (!idat.isEmpty())
        writeChunk("IDAT", idat);
}

bool PngStream::finish()
{
    compress(nullptr, 0, true);
    if (m_failed || m_linesDone != m_height)
        return false;
    writeChunk("IEND", {});
    return true;
}

} // namespace skintool
