#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <functional>
#include <memory>

namespace skintool {

// Encodes image as PNG (through PngStream): no text, no time, no gamma, no
// colour profile; with an alpha channel only if image has one. Empty if it
// cannot.
QByteArray encodePng(const QImage &image);

// A file written a piece at a time (path is text as files/filename.h
// decodes names), whole or not at all: it appears only once commit() has
// put it in place, and an interrupt meanwhile leaves no temporary file.
// Each step that fails returns false and says why in error, with the
// system's reason ("write failed: No space left on device"); what was
// written then goes.
class OutputFile
{
public:
    OutputFile();
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    bool open(const QString &path, QString *error);
    bool append(QByteArrayView piece, QString *error);
    bool commit(QString *error);

private:
    struct Open;
    std::unique_ptr<Open> m_open;
};

// Writes bytes to path as one piece of an OutputFile.
bool writeFile(const QString &path, const QByteArray &bytes, QString *error);

// encodePng, then writeFile.
bool writePng(const QString &path, const QImage &image, QString *error);

// A PNG made a band of lines at a time, for a picture too large to hold
// whole: 8-bit RGB (or RGBA with alpha), every line filtered the same way,
// and the bytes handed to a sink as they are compressed, so that none of
// the picture needs to stay in memory. The same lines always give the same
// bytes. Any thread may write one; the sink runs in that thread.
class PngStream
{
public:
    using Sink = std::function<void(QByteArrayView)>;

    PngStream(int width, int height, bool alpha, Sink sink);
    ~PngStream();
    PngStream(const PngStream &) = delete;
    PngStream &operator=(const PngStream &) = delete;

    // The next lines, top to bottom: a band as wide as the picture (any
    // format; it is converted). The constructor and this raise
    // std::bad_alloc when memory runs out.
    void addLines(const QImage &band);

    // Ends the file once every line is in; false if encoding failed.
    bool finish();

private:
    struct Writer;

    int m_height;
    bool m_alpha;
    int m_linesDone = 0;
    Sink m_sink;
    std::unique_ptr<Writer> m_writer;
    bool m_failed = false;
};

} // namespace skintool
