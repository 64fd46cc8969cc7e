#include "tool/png.h"

#include "runtime/error.h"
#include "runtime/filename.h"
#include "runtime/filereplacement.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageWriter>

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
    if (!plain.textKeys().isEmpty())
        plain = plain.copy(); // a copy carries no texts
    return plain;
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

bool writePng(const QString &path, const QImage &image, QString *error)
{
    const QByteArray png = encodePng(image);
    if (png.isEmpty()) {
        *error = QStringLiteral("cannot encode PNG");
        return false;
    }
    // The program's own way of replacing a file whole, which also takes the
    // name as the bytes it stands for.
    try {
        FileReplacement file(fileNameFromText(path));
        file.commit(png);
    } catch (const RuntimeError &failure) {
        *error = QString::fromUtf8(failure.what());
        return false;
    }
    return true;
}

} // namespace skintool
