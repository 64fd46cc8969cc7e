#include "tool/png.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageWriter>
#include <QSaveFile>

namespace skintool {

namespace {

constexpr int DotsPerMeter = 3780; // 96 dots per inch

// The pixels and nothing else: what the windows carry besides (a colour
// space, texts) would only make equal pictures differ in their bytes.
// Touched only where it differs, so that no picture is copied in vain.
QImage bare(const QImage &image)
{
    QImage plain = image.convertToFormat(QImage::Format_RGB32);
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

bool encodeInto(QIODevice *device, const QImage &image)
{
    QImageWriter writer(device, "png");
    writer.setCompression(PngCompression);
    return writer.write(bare(image));
}

} // namespace

QByteArray encodePng(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    encodeInto(&buffer, image);
    return bytes;
}

bool writePng(const QString &path, const QImage &image, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    if (!encodeInto(&file, image)) {
        *error = file.error() != QFileDevice::NoError ? file.errorString() : QStringLiteral("cannot encode PNG");
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace skintool
