// Loading a picture file: each way a file fails to load has its kind and
// its reason, in the reader's words.

#include "support/fixture.h"

#include "pictures/picture.h"

#include <QFile>
#include <QImage>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

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
};

QTEST_MAIN(PicturesTest)
#include "pictures_test.moc"
