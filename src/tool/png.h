#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <memory>

namespace skintool {

// The compression that every PNG of skintool is written with (Qt's scale,
// 0 to 100): fixed, so the same pictures always give the same bytes.
inline constexpr int PngCompression = 50;

// Encodes image as PNG: no text, no time, no gamma, no colour profile.
// Empty if it cannot.
QByteArray encodePng(const QImage &image);

// Writes PNG bytes to path (text as runtime/filename.h decodes names), whole
// or not at all: the file appears only once it is complete, and an
// interrupt meanwhile leaves no temporary file. On failure, returns false
// and says why in error, with the system's reason ("write failed: No space
// left on device").
bool writeFile(const QString &path, const QByteArray &bytes, QString *error);

// encodePng, then writeFile.
bool writePng(const QString &path, const QImage &image, QString *error);

// A PNG made a band of lines at a time, for a picture too large to hold
// whole: 8-bit RGB, each line filtered as the encoder judges best, and the
// lines compressed as they come. Only the compressed bytes are kept. The
// same lines always give the same bytes.
class PngStream
{
public:
    PngStream(int width, int height);
    ~PngStream();
    PngStream(const PngStream &) = delete;
    PngStream &operator=(const PngStream &) = delete;

    // The next lines, top to bottom: a band as wide as the picture (any
    // format; it is converted to RGB).
    void addLines(const QImage &band);

    // The whole file, once every line is in; empty if compression failed.
    QByteArray finish();

private:
    struct Deflate;
    void compress(const char *data, qsizetype size, bool last);

    int m_width;
    int m_height;
    int m_linesDone = 0;
    QByteArray m_previous; // the last line, unfiltered
    QByteArray m_compressed;
    std::unique_ptr<Deflate> m_deflate;
    bool m_failed = false;
};

} // namespace skintool
