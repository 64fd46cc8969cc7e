// Loading a picture file: each way a file fails to load has its kind and
// its reason, in the reader's words.

#include "support/fixture.h"

#include "pictures/picture.h"

#include <QFile>
#include <QImage>
#include <QTest>
#include <QtEndian>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A BMP written field by field, so that a test can make the layouts that
// readers disagree on: what follows the information header (masks, a
// palette) and the lines are given as bytes.
struct BmpLayout
{
    int infoBytes = 40;
    int bitCount = 24;
    quint32 compression = 0;
    int width = 0;
    int height = 0; // negative: top-down
    quint32 colours = 0;
    QByteArray afterHeader; // masks, palette
    QByteArray lines;
    int gap = 0; // bytes between afterHeader and the lines, which the file header skips
};

QByteArray bmpFile(const BmpLayout &layout)
{
    const auto le32 = [](quint32 value) {
        QByteArray bytes(4, '\0');
        qToLittleEndian(value, bytes.data());
        return bytes;
    };
    const auto le16 = [](quint16 value) {
        QByteArray bytes(2, '\0');
        qToLittleEndian(value, bytes.data());
        return bytes;
    };
    QByteArray info = le32(quint32(layout.infoBytes));
    if (layout.infoBytes == 12) {
        info += le16(quint16(layout.width)) + le16(quint16(layout.height)) + le16(1) + le16(quint16(layout.bitCount));
    } else {
        info += le32(quint32(layout.width)) + le32(quint32(layout.height)) + le16(1) + le16(quint16(layout.bitCount));
        info += le32(layout.compression) + le32(quint32(layout.lines.size())) + le32(2835) + le32(2835);
        info += le32(layout.colours) + le32(0);
        info += QByteArray(layout.infoBytes - info.size(), '\0');
    }
    const quint32 pixelsAt = quint32(14 + info.size() + layout.afterHeader.size() + layout.gap);
    const QByteArray body = info + layout.afterHeader + QByteArray(layout.gap, '\x77') + layout.lines;
    return "BM" + le32(quint32(14 + body.size())) + le32(0) + le32(pixelsAt) + body;
}

// A colour for every pixel, different from its neighbours'.
QRgb patternAt(int x, int y)
{
    return qRgb((x * 37 + y) & 0xff, (y * 53 + 7 * x) & 0xff, (x * y + 11) & 0xff);
}

// The lines of a 24- or 32-bit picture of the pattern, bottom-up unless
// topDown, each padded to four bytes; a 32-bit pixel's fourth byte is
// fourth.
QByteArray patternLines(QSize size, int bitCount, bool topDown, char fourth = '\0')
{
    QByteArray lines;
    for (int i = 0; i < size.height(); ++i) {
        const int y = topDown ? i : size.height() - 1 - i;
        QByteArray line;
        for (int x = 0; x < size.width(); ++x) {
            const QRgb colour = patternAt(x, y);
            line += char(qBlue(colour));
            line += char(qGreen(colour));
            line += char(qRed(colour));
            if (bitCount == 32)
                line += fourth;
        }
        lines += line + QByteArray((4 - line.size() % 4) % 4, '\0');
    }
    return lines;
}

QByteArray paletteOf(int entries, QRgb first, QRgb second)
{
    QByteArray palette;
    for (int i = 0; i < entries; ++i) {
        const QRgb colour = i == 0 ? first : i == 1 ? second : qRgb(i, i, i);
        palette += char(qBlue(colour));
        palette += char(qGreen(colour));
        palette += char(qRed(colour));
        palette += '\0';
    }
    return palette;
}

using Expected = std::function<QRgb(int x, int y)>;

// Picture memory filled with a byte while it lives.
struct FreshMemoryFill
{
    explicit FreshMemoryFill(int byte) { FillFreshPictureMemory(byte); }
    ~FreshMemoryFill() { FillFreshPictureMemory(-1); }
};

} // namespace

Q_DECLARE_METATYPE(Expected)

class PicturesTest : public Fixture
{
    Q_OBJECT

private slots:
    // Each way a picture fails to load has its kind, and the system's own
    // reason where the system refused.
    void loadPicture_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("kind"); // -1: loads
        QTest::addColumn<QString>("reason");

        using Kind = PictureError::Kind;
        const auto row = [](const char *name, const char *setup, int kind, const char *reason = "") {
            QTest::newRow(name) << QString::fromLatin1(setup) << kind << QString::fromLatin1(reason);
        };
        row("24-bit BMP", "bmp", -1);
        row("PNG bytes under a .bmp name", "png", -1);
        row("missing file", "missing", int(Kind::NotFound), "not found");
        row("a folder on the way is a file", "under a file", int(Kind::NotReadable), "not readable: Not a directory");
        row("link to itself", "self link", int(Kind::NotReadable), "not readable: Too many levels of symbolic links");
        row("folder", "folder", int(Kind::Folder), "a folder, not a picture");
        row("FIFO", "fifo", int(Kind::NotRegularFile), "not a regular file");
        row("larger than any skin picture", "huge file", int(Kind::FileTooLarge),
            "too large: 65 MB, more than the 64 MB a picture may have");
        row("empty file", "empty", int(Kind::Empty), "empty");
        row("claims 100000 x 100000", "huge picture", int(Kind::PictureTooLarge),
            "too large: 100000x100000 pixels, more than the 16777216 a picture may have");
        row("garbage after a BMP signature", "garbage", int(Kind::NotAPicture), "not a picture");
        row("BMP cut inside its header", "truncated", int(Kind::Truncated), "truncated: it ends before its picture does");
        row("BMP cut in its pixels", "cut", int(Kind::Truncated), "truncated: it ends after 100 of its 174 bytes");
        // Cut at the NUL, the name would be that of a good picture.
        row("NUL inside the name", "nul", int(Kind::BadName), "bad file name");
    }

    void loadPicture()
    {
        QFETCH(QString, setup);
        QFETCH(int, kind);
        QFETCH(QString, reason);
        const QColor colour(10, 200, 30);
        const QSize size(7, 5); // odd width: rows are padded in the file
        const QString relative = QStringLiteral("pics/picture.bmp");
        QString file = path(relative);
        const QByteArray native = QFile::encodeName(file);
        makeFolder(QStringLiteral("pics"));

        if (setup == QLatin1String("bmp")) {
            writeBmp(relative, colour, size);
            const QByteArray bytes = readFile(relative);
            QVERIFY(bytes.startsWith("BM"));
            QCOMPARE(int(bytes.at(28)), 24); // bits per pixel
        } else if (setup == QLatin1String("png")) {
            QImage image(size, QImage::Format_RGB32);
            image.fill(colour);
            QVERIFY(image.save(file, "PNG"));
        } else if (setup == QLatin1String("under a file")) {
            writeBmp(relative, colour, size);
            file += QStringLiteral("/inside.bmp");
        } else if (setup == QLatin1String("self link")) {
            QCOMPARE(::symlink("picture.bmp", native.constData()), 0);
        } else if (setup == QLatin1String("folder")) {
            makeFolder(relative);
        } else if (setup == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(native.constData(), 0600), 0);
        } else if (setup == QLatin1String("huge file")) {
            writeBmp(relative, colour, size);
            QVERIFY(QFile::resize(file, 65 * 1024 * 1024)); // sparse
        } else if (setup == QLatin1String("empty")) {
            writeFile(relative, QByteArray());
        } else if (setup == QLatin1String("huge picture")) {
            writeBmp(relative, colour, size);
            QByteArray bytes = readFile(relative);
            bytes.replace(18, 8, QByteArray::fromHex("a0860100a0860100")); // 100000 x 100000
            writeFile(relative, bytes);
        } else if (setup == QLatin1String("garbage")) {
            writeFile(relative, "BM" + QByteArray(300, '\xa5'));
        } else if (setup == QLatin1String("truncated")) {
            writeBmp(relative, colour, size);
            writeFile(relative, readFile(relative).left(30));
        } else if (setup == QLatin1String("cut")) {
            writeBmp(relative, colour, size); // 54 bytes of headers, 5 lines of 24 bytes (7 pixels, padded)
            QCOMPARE(readFile(relative).size(), 174);
            writeFile(relative, readFile(relative).left(100));
        } else if (setup == QLatin1String("nul")) {
            writeBmp(relative, colour, size);
            file += QChar(0) + QStringLiteral("/other.bmp");
        }

        if (kind >= 0) {
            try {
                LoadPicture(file);
                QFAIL("the picture loaded");
            } catch (const PictureError &error) {
                QCOMPARE(int(error.kind()), kind);
                QCOMPARE(error.reason(), reason);
            }
            return;
        }
        const Picture picture = LoadPicture(file);
        QCOMPARE(picture.size(), size);
        QCOMPARE(picture.pixelColor(0, 0), colour);
        QCOMPARE(picture.pixelColor(size.width() - 1, size.height() - 1), colour);
    }

    // A picture holds exactly what its file says, whichever decoder reads
    // it and whatever its memory held before, or it does not load: a BMP
    // whose layout leaves the decoder short of lines is refused, not
    // shown with the rest of its memory as it was. Each file is loaded
    // from disk and decoded from bytes, each into memory first filled
    // with two different bytes.
    void decodesOnlyWhatTheFileHolds_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<Expected>("expected"); // empty: refused
        QTest::addColumn<int>("kind");

        const QSize size(37, 40); // odd width: lines are padded; larger than the head read first
        const Expected pattern = patternAt;
        const auto loads = [&](const char *name, const BmpLayout &layout, QSize shown, const Expected &expected) {
            QTest::newRow(name) << bmpFile(layout) << shown << expected << -1;
        };
        const auto refused = [&](const char *name, const QByteArray &file, PictureError::Kind kind) {
            QTest::newRow(name) << file << QSize() << Expected() << int(kind);
        };
        const auto trueColour = [&](int infoBytes, int bitCount, bool topDown, int gap = 0, char fourth = 0) {
            BmpLayout layout;
            layout.infoBytes = infoBytes;
            layout.bitCount = bitCount;
            layout.width = size.width();
            layout.height = topDown ? -size.height() : size.height();
            layout.lines = patternLines(size, bitCount, topDown, fourth);
            layout.gap = gap;
            return layout;
        };
        loads("24-bit", trueColour(40, 24, false), size, pattern);
        loads("24-bit, top-down", trueColour(40, 24, true), size, pattern);
        loads("24-bit, lines further on than the headers end", trueColour(40, 24, false, 300), size, pattern);
        loads("24-bit, the old 12-byte header", trueColour(12, 24, false), size, pattern);
        loads("32-bit, fourth byte set", trueColour(40, 32, false, 0, '\x80'), size, pattern);
        loads("32-bit, version 5 header, top-down", trueColour(124, 32, true), size, pattern);
        refused("24-bit, one byte short", bmpFile(trueColour(40, 24, false)).chopped(1), PictureError::Kind::Truncated);

        // A 1-bit picture, all red, claiming 256 colours: the decoder reads
        // that many palette entries, whatever the depth.
        const QRgb red = qRgb(255, 0, 0);
        const QSize tall(32, 600);
        BmpLayout mono;
        mono.bitCount = 1;
        mono.width = tall.width();
        mono.height = tall.height();
        mono.colours = 256;
        mono.lines = QByteArray(4 * tall.height(), '\xff'); // every pixel colour 1
        mono.afterHeader = paletteOf(256, qRgb(0, 0, 0), red);
        loads("1-bit claiming 256 colours, all there", mono, tall, [=](int, int) { return red; });
        mono.afterHeader = paletteOf(2, qRgb(0, 0, 0), red);
        refused("1-bit claiming 256 colours, as long as 2 need", bmpFile(mono), PictureError::Kind::Truncated);

        // Bit fields with the 64-byte header: the masks follow it.
        BmpLayout fields = trueColour(64, 32, false);
        fields.compression = 3;
        refused("32-bit bit fields, 64-byte header, no room for the masks after it", bmpFile(fields),
                PictureError::Kind::Truncated);
        fields.afterHeader = QByteArray::fromHex("0000ff00" "00ff0000" "ff000000");
        loads("32-bit bit fields, 64-byte header, masks after it", fields, size, pattern);

        // The other depths go to Qt's decoder: a whole file still loads.
        BmpLayout indexed;
        indexed.bitCount = 8;
        indexed.width = size.width();
        indexed.height = size.height();
        for (int i = 0; i < 256; ++i)
            indexed.afterHeader += QByteArray(1, char(i)) + char(255 - i) + char(i / 2) + '\0';
        for (int y = size.height() - 1; y >= 0; --y)
            for (int x = 0; x < 40; ++x)
                indexed.lines += char(x < size.width() ? (x * 7 + y) & 0xff : 0);
        const Expected indexedPattern = [](int x, int y) {
            const int i = (x * 7 + y) & 0xff;
            return qRgb(i / 2, 255 - i, i);
        };
        loads("8-bit with its palette", indexed, size, indexedPattern);
        refused("8-bit, one byte short", bmpFile(indexed).chopped(1), PictureError::Kind::Truncated);
        indexed.height = -size.height();
        indexed.lines.clear();
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < 40; ++x)
                indexed.lines += char(x < size.width() ? (x * 7 + y) & 0xff : 0);
        loads("8-bit, top-down", indexed, size, indexedPattern);

        // A header of a size that the header reader does not know, which
        // Qt's decoder would still make a 2 x 4096 picture of, from 30 bytes.
        refused("an information header of no known size", QByteArray::fromBase64("Qk0sAAQAAPv//+X/WOzzAAAAAgAA8AEAGAABAgAA"),
                PictureError::Kind::NotAPicture);
    }

    void decodesOnlyWhatTheFileHolds()
    {
        QFETCH(QByteArray, file);
        QFETCH(QSize, size);
        QFETCH(Expected, expected);
        QFETCH(int, kind);
        const QString path = writeFile(QStringLiteral("picture.bmp"), file);
        const QList<std::pair<const char *, std::function<Picture()>>> ways = {
            {"loaded from disk", [&] { return LoadPicture(path); }},
            {"decoded from bytes", [&] { return DecodePicture(file); }},
        };
        for (const int fill : {0x55, 0xaa}) {
            for (const auto &[way, load] : ways) {
                const QByteArray context = QByteArray(way) + ", memory filled with " + QByteArray::number(fill, 16);
                Picture picture;
                try {
                    const FreshMemoryFill filled(fill);
                    picture = load();
                } catch (const PictureError &error) {
                    QVERIFY2(!expected, context + ": refused: " + error.reason().toUtf8());
                    QCOMPARE(int(error.kind()), kind);
                    continue;
                }
                QVERIFY2(expected, context + ": loaded");
                QCOMPARE(picture.size(), size);
                int wrong = 0;
                QPoint first;
                for (int y = 0; y < size.height(); ++y) {
                    for (int x = 0; x < size.width(); ++x) {
                        if (picture.pixel(x, y) != expected(x, y) && wrong++ == 0)
                            first = QPoint(x, y);
                    }
                }
                QVERIFY2(wrong == 0, context + ": " + QByteArray::number(wrong) + " pixels wrong, the first at "
                                         + QByteArray::number(first.x()) + "," + QByteArray::number(first.y()));
            }
        }
    }
};

QTEST_MAIN(PicturesTest)
#include "pictures_test.moc"
