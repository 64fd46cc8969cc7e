// The real program, started on a skin folder, following the folder's files
// on a real X server's screen: saves made the ways editors make them, and
// the reload keys pressed for real.

#include "support/endtoend.h"
#include "support/saving.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTest>

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace {

const QColor Red(200, 30, 30);
const QColor Green(30, 170, 60);
const QColor Blue(30, 40, 210);
const QColor Yellow(230, 210, 40);
constexpr QPoint BareSpot(400, 300);    // the window background, no control over it
constexpr QPoint StickerSpot(90, 400);  // inside the sticker box
constexpr QPoint PanelSpot(484, 400);   // inside the panels

} // namespace

class EndToEndFollowTest : public EndToEndFixture
{
    Q_OBJECT

private:
    // A skin with a red background, a green background_us, a yellow
    // sticker and a desktop settings panel, the program started on it.
    QString startOnSkin()
    {
        const QString skin = makeFolder(QStringLiteral("skins/Ember"));
        writeBmp(QStringLiteral("skins/Ember/background.bmp"), Red, {800, 600});
        writeBmp(QStringLiteral("skins/Ember/background_us.bmp"), Green, {800, 600});
        writeBmp(QStringLiteral("skins/Ember/sticker_background.bmp"), Yellow, {178, 357});
        writeBmp(QStringLiteral("skins/Ember/backsettings.bmp"), Yellow, {615, 599});
        start({skin});
        return skin;
    }

    static bool shows(QPoint point, QColor color)
    {
        return sameColor(screenColor(point), color);
    }

    // A key pressed with the pointer over the preview window.
    static void press(const QString &key)
    {
        movePointerTo(PreviewOrigin + BareSpot);
        xdotool({"key", "--clearmodifiers", key});
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY") || qEnvironmentVariableIsEmpty("SKINPREVIEW_BINARY"))
            QSKIP("needs an X server (DISPLAY) and the program (SKINPREVIEW_BINARY)");
    }

    // Started on a folder, the window shows the skin from its first frame
    // on, and the folder is remembered.
    void startsOnAFolder()
    {
        const QString skin = startOnSkin();
        QVERIFY(shows(BareSpot, Red));
        QVERIFY(shows(StickerSpot, Yellow));
        QCOMPARE(readFile(QStringLiteral("work/lastpath.skin")), QFile::encodeName(skin) + "\r\n");
        QVERIFY(!findWindow(QStringLiteral("Skin Selector")));
    }

    void savesShowOnScreen_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("in place") << QStringLiteral("in place");
        QTest::newRow("renamed over") << QStringLiteral("rename");
        QTest::newRow("removed, then made") << QStringLiteral("remove");
        QTest::newRow("the folder made again") << QStringLiteral("folder");
    }

    void savesShowOnScreen()
    {
        QFETCH(QString, way);
        const QString skin = startOnSkin();
        clickAt({60, 118}); // "Desktop settings"
        QTRY_VERIFY_WITH_TIMEOUT(shows(PanelSpot, Yellow), Patience);

        const QString file = skin + QStringLiteral("/backsettings.bmp");
        const QByteArray blue = bmpBytes(Blue, {615, 599});
        if (way == QLatin1String("in place")) {
            const int fd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
            QVERIFY(fd >= 0);
            for (qsizetype at = 0; at < blue.size(); at += 65536)
                QVERIFY(::write(fd, blue.constData() + at, size_t(qMin<qsizetype>(65536, blue.size() - at))) > 0);
            ::close(fd);
        } else if (way == QLatin1String("rename")) {
            const QByteArray part = QFile::encodeName(file + QStringLiteral(".part"));
            QVERIFY(writeRaw(part, blue));
            QCOMPARE(::rename(part.constData(), QFile::encodeName(file).constData()), 0);
        } else if (way == QLatin1String("remove")) {
            QVERIFY(QFile::remove(file));
            QVERIFY(writeRaw(QFile::encodeName(file), blue));
        } else {
            // A build script: the whole folder removed and made anew.
            QVERIFY(QDir(skin).removeRecursively());
            makeFolder(QStringLiteral("skins/Ember"));
            QVERIFY(writeRaw(QFile::encodeName(file), blue));
        }
        QTRY_VERIFY_WITH_TIMEOUT(shows(PanelSpot, Blue), Patience);
        QVERIFY(shows(StickerSpot, Yellow));
    }

    // F5 shows what closing the selector would, Shift+F5 the same from the
    // built-in pictures.
    void reloadKeys()
    {
        const QString skin = startOnSkin();
        QVERIFY(QFile::remove(skin + QStringLiteral("/sticker_background.bmp")));
        writeFile(QStringLiteral("skins/Ember/background.bmp"), "BM, and then nothing");
        press(QStringLiteral("F5"));
        QTRY_VERIFY_WITH_TIMEOUT(shows(BareSpot, Green), Patience);
        QVERIFY(shows(StickerSpot, Yellow));
        press(QStringLiteral("shift+F5"));
        const QImage builtInSticker(QStringLiteral(":/sticker.bmp"));
        QTRY_VERIFY_WITH_TIMEOUT(shows(StickerSpot, builtInSticker.pixelColor(StickerSpot - QPoint(5, 234))), Patience);
        QVERIFY(shows(BareSpot, Green));
    }
};

QTEST_MAIN(EndToEndFollowTest)
#include "e2e_follow_test.moc"
