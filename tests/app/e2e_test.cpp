// Drives the real program in a real X server: real mouse clicks and key
// presses through xdotool, the screen read back through ImageMagick.
// The test command starts the X server and passes its DISPLAY.

#include "support/archives.h"
#include "support/endtoend.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTest>

class EndToEndTest : public EndToEndFixture
{
    Q_OBJECT

private:
    // The selector's folder list marks the folder shown; the rows after it
    // are its subfolders. Returns the centre of subfolder row n (from 0), in
    // window coordinates, found from the marked row on the screen.
    QPoint subfolderRow(int n)
    {
        const QImage shot = screenshot();
        const QRect list(PreviewOrigin + QPoint(233, 68), QSize(288, 441));
        const QColor grey(0xe0, 0xe0, 0xe0);
        const int x = list.left() + list.width() - 20; // right of any text
        int top = -1, bottom = -1;
        for (int y = list.top() + 2; y < list.bottom() - 2; ++y) {
            const bool marked = !sameColor(shot.pixelColor(x, y), grey);
            if (marked && top < 0)
                top = y;
            if (marked)
                bottom = y;
            else if (top >= 0)
                break;
        }
        if (top < 0)
            return {};
        const int height = bottom - top + 1;
        return QPoint(list.left() + 100, bottom + 1 + n * height + height / 2) - PreviewOrigin;
    }

    // Starts the program, opens the selector and double-clicks the one
    // subfolder (or archive) of the working directory.
    bool startAndEnterTheOneSubfolder()
    {
        start();
        clickAt({60, 25});
        if (!QTest::qWaitFor([&] { return findWindow(QStringLiteral("Skin Selector")).has_value(); }, Patience))
            return false;
        QTest::qWait(300);
        const QPoint row = subfolderRow(0);
        if (row.isNull())
            return false;
        clickAt(row, 2);
        return true;
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY") || qEnvironmentVariableIsEmpty("SKINPREVIEW_BINARY"))
            QSKIP("needs an X server (DISPLAY) and the program (SKINPREVIEW_BINARY)");
    }

    void previewWindowIsFramelessAt289x38()
    {
        start();
        const auto id = findWindow(QStringLiteral("Form1"));
        QVERIFY(id);
        const Geometry geometry = geometryOf(*id);
        QCOMPARE(geometry.position, QPoint(289, 38));
        QCOMPARE(geometry.size, QSize(800, 600));
        // No decorations requested from a window manager (Motif hints: decorations off).
        const QString hints = QString::fromLatin1(run(QStringLiteral("xprop"), {"-id", *id, "_MOTIF_WM_HINTS"}));
        QVERIFY2(hints.contains(QLatin1String("= 0x2, 0x0, 0x0")) || hints.contains(QLatin1String("= 0x3, 0x0, 0x0"))
                     || hints.contains(QLatin1String(", 0x0, 0x0, 0x0")), qPrintable(hints));
        // And none given by one: the frame is the window.
        if (!framesHaveMargins()) {
            const Geometry frame = geometryOf(frameOf(*id));
            QCOMPARE(frame.position, geometry.position);
            QCOMPARE(frame.size, geometry.size);
        }
    }

    // At a scale factor that leaves the window room on the screen, though
    // not at its designed place, it moves just enough to fit, close glyph
    // included, and the selector still lies exactly over it.
    void scaledWindowMovesOntoTheScreen()
    {
        const QByteArray scale = qgetenv("QT_SCALE_FACTOR");
        qputenv("QT_SCALE_FACTOR", "1.5");
        start();
        if (scale.isNull())
            qunsetenv("QT_SCALE_FACTOR");
        else
            qputenv("QT_SCALE_FACTOR", scale);
        const QStringList display = QString::fromLatin1(run(QStringLiteral("xdotool"), {"getdisplaygeometry"})).split(' ');
        const Geometry root{{0, 0}, {display.value(0).toInt(), display.value(1).toInt()}};
        const auto preview = findWindow(QStringLiteral("Form1"));
        QVERIFY(preview);
        const Geometry placed = geometryOf(*preview);
        QCOMPARE(placed.size, QSize(1200, 900));
        QVERIFY2(root.size.width() >= 1200 && root.size.height() >= 900, "the screen is too small for this case");
        const QRect window(placed.position, placed.size);
        QVERIFY2(QRect(QPoint(0, 0), root.size).contains(window), qPrintable(QStringLiteral("the window lies at %1, %2")
                                                                                 .arg(window.x()).arg(window.y())));
        // Just enough: it touches the right edge, and keeps its designed top.
        QVERIFY(window.right() >= root.size.width() - 2);
        QVERIFY(qAbs(window.top() - 57) <= 1);

        movePointerTo(window.topLeft() + QPoint(90, 38)); // the logo
        xdotool({"click", "1"});
        QTRY_VERIFY_WITH_TIMEOUT(findWindow(QStringLiteral("Skin Selector")).has_value(), Patience);
        const Geometry selector = geometryOf(*findWindow(QStringLiteral("Skin Selector")));
        QCOMPARE(selector.position, placed.position);
        QCOMPARE(selector.size, placed.size);
    }

    void builtInBackgroundShows()
    {
        start();
        // At a bare spot.
        const QImage background(QStringLiteral(":/background.bmp"));
        QVERIFY(sameColor(screenColor({400, 300}), background.pixelColor(400, 300)));
        saveScreenshot(QStringLiteral("preview"));
    }

    void menuClicksSwitchPanels()
    {
        start();
        const QImage panel(QStringLiteral(":/desktop_settings.bmp"));
        const QPoint inside(184 + 300, 400);
        clickAt({60, 118}); // "Desktop settings"
        QTRY_VERIFY_WITH_TIMEOUT(sameColor(screenColor(inside), panel.pixelColor(300, 400)), Patience);
        saveScreenshot(QStringLiteral("desktop-settings"));
        clickAt({60, 58}); // "My Collection" hides it
        const QImage background(QStringLiteral(":/background.bmp"));
        QTRY_VERIFY_WITH_TIMEOUT(sameColor(screenColor(inside), background.pixelColor(inside)), Patience);
    }

    void logoOpensSelectorOverPreview()
    {
        start();
        clickAt({60, 25});
        QTRY_VERIFY_WITH_TIMEOUT(findWindow(QStringLiteral("Skin Selector")).has_value(), Patience);
        const QString selector = *findWindow(QStringLiteral("Skin Selector"));
        const Geometry geometry = geometryOf(selector);
        QCOMPARE(geometry.position, QPoint(289, 38));
        QCOMPARE(geometry.size, QSize(800, 600));
        // In front of the preview window, and as undecorated.
        const QString preview = *findWindow(QStringLiteral("Form1"));
        const QList<quint64> stacking = stackingFromFront();
        const qsizetype selectorAt = stacking.indexOf(windowNumber(frameOf(selector)));
        const qsizetype previewAt = stacking.indexOf(windowNumber(frameOf(preview)));
        QVERIFY(selectorAt >= 0 && previewAt >= 0);
        QVERIFY2(selectorAt < previewAt, "the selector is behind the preview window");
        if (!framesHaveMargins()) {
            const Geometry frame = geometryOf(frameOf(selector));
            QCOMPARE(frame.position, geometry.position);
            QCOMPARE(frame.size, geometry.size);
        }
    }

    void doubleClickTypeAndCloseApplyTheSkin_data()
    {
        QTest::addColumn<QPoint>("closeSpot");
        QTest::newRow("logo") << QPoint(60, 25);
        QTest::newRow("close glyph") << QPoint(789, 9);
    }

    void doubleClickTypeAndCloseApplyTheSkin()
    {
        QFETCH(QPoint, closeSpot);
        const QColor red(200, 30, 30), blue(30, 40, 210);
        writeBmp(QStringLiteral("work/skinA/background.bmp"), red, {800, 600});
        const QString skinB = makeFolder(QStringLiteral("skins/skin B"));
        writeBmp(QStringLiteral("skins/skin B/background.bmp"), blue, {800, 600});
        writeBmp(QStringLiteral("skins/skin B/sticker_background.bmp"), Qt::green, {178, 357});
        QVERIFY(startAndEnterTheOneSubfolder());
        const QPoint bare(775, 300);
        QTRY_VERIFY_WITH_TIMEOUT(sameColor(screenColor(bare), red), Patience);

        // A path typed into the path box with real key presses.
        clickAt({400, 547});
        xdotool({"key", "--clearmodifiers", "ctrl+a"});
        xdotool({"type", "--delay", "20", skinB});
        QTRY_VERIFY_WITH_TIMEOUT(sameColor(screenColor(bare), blue), Patience);
        saveScreenshot(QStringLiteral("selector"));

        clickAt(closeSpot);
        QTRY_VERIFY_WITH_TIMEOUT(!findWindow(QStringLiteral("Skin Selector")).has_value(), Patience);
        QTRY_COMPARE_WITH_TIMEOUT(readFile(QStringLiteral("work/lastpath.skin")), QFile::encodeName(skinB) + "\r\n", Patience);
        QTRY_VERIFY_WITH_TIMEOUT(sameColor(screenColor({400, 300}), blue), Patience);
        QVERIFY(sameColor(screenColor({100, 400}), Qt::green));
    }

    // A zipped skin, its files under one top folder as most are: the
    // selector lists the archive, a double click enters it and previews its
    // background, and closing applies and remembers it.
    void selectorEntersAnArchiveAndAppliesIt()
    {
        const QColor red(200, 30, 30);
        writeBmp(QStringLiteral("src/Ember/background.bmp"), red, {800, 600});
        writeBmp(QStringLiteral("src/Ember/sticker_background.bmp"), Qt::green, {178, 357});
        const QString archive = QDir::currentPath() + QStringLiteral("/Ember.zip");
        QVERIFY(packFolder(path(QStringLiteral("src")), archive));
        QVERIFY(startAndEnterTheOneSubfolder());
        QTRY_VERIFY_WITH_TIMEOUT(sameColor(screenColor({775, 300}), red), Patience);
        saveScreenshot(QStringLiteral("selector-archive"));

        clickAt({60, 25});
        QTRY_VERIFY_WITH_TIMEOUT(!findWindow(QStringLiteral("Skin Selector")).has_value(), Patience);
        QTRY_COMPARE_WITH_TIMEOUT(readFile(QStringLiteral("work/lastpath.skin")), QFile::encodeName(archive) + "\r\n", Patience);
        QTRY_VERIFY_WITH_TIMEOUT(sameColor(screenColor({400, 300}), red), Patience);
        QVERIFY(sameColor(screenColor({100, 400}), Qt::green));
    }

    void newStartReturnsToRememberedFolder()
    {
        const QColor teal(20, 160, 150);
        const QString skin = makeFolder(QStringLiteral("skins/teal"));
        writeBmp(QStringLiteral("skins/teal/background.bmp"), teal, {800, 600});
        writeFile(QStringLiteral("work/lastpath.skin"), QFile::encodeName(skin) + "\r\n");
        start();
        // The preview keeps its built-in pictures until the selector closes.
        const QImage background(QStringLiteral(":/background.bmp"));
        QVERIFY(sameColor(screenColor({400, 300}), background.pixelColor(400, 300)));
        clickAt({60, 25});
        QTRY_VERIFY_WITH_TIMEOUT(findWindow(QStringLiteral("Skin Selector")).has_value(), Patience);
        QTRY_VERIFY_WITH_TIMEOUT(sameColor(screenColor({775, 300}), teal), Patience);
    }

    // Also makes the README's pictures: the selector over a sample skin, and
    // that skin applied with a panel shown. The skin is copied to a neutral
    // folder, home/Skins/Meadow in the test's temporary folder, so that the
    // pictures never show the folders of the machine that took them.
    void sampleSkinThroughSelector()
    {
        const QString meadow = makeFolder(QStringLiteral("home/Skins/Meadow"));
        const QDir sample(QStringLiteral(SKINPREVIEW_SOURCE_DIR "/samples/skins/Meadow"));
        for (const QString &name : sample.entryList(QDir::Files))
            QVERIFY(QFile::copy(sample.filePath(name), meadow + QLatin1Char('/') + name));
        const QImage background(meadow + QStringLiteral("/background_us.bmp"));
        const QImage panel(meadow + QStringLiteral("/backsettings_us.bmp"));
        QVERIFY(!background.isNull() && !panel.isNull());
        writeFile(QStringLiteral("work/lastpath.skin"), QFile::encodeName(meadow) + "\r\n");
        start();
        clickAt({60, 25});
        QTRY_VERIFY_WITH_TIMEOUT(findWindow(QStringLiteral("Skin Selector")).has_value(), Patience);
        QTRY_VERIFY_WITH_TIMEOUT(sameColor(screenColor({775, 300}), background.pixelColor(775, 300)), Patience);
        saveScreenshot(QStringLiteral("selector-sample"));

        clickAt({60, 25});
        QTRY_VERIFY_WITH_TIMEOUT(!findWindow(QStringLiteral("Skin Selector")).has_value(), Patience);
        clickAt({60, 118}); // "Desktop settings"
        QTRY_VERIFY_WITH_TIMEOUT(sameColor(screenColor({184 + 300, 400}), panel.pixelColor(300, 400)), Patience);
        saveScreenshot(QStringLiteral("preview-sample"));
    }

    // skintool's pictures are what the program shows after the same
    // clicks, pixel for pixel: the selector closed on the skin, then a
    // click on "Desktop settings".
    void skintoolDrawsWhatTheProgramShows_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::newRow("complete skin") << QStringLiteral(SKINPREVIEW_SOURCE_DIR "/samples/skins/Midnight");
        QTest::newRow("partial skin with _us files") << QStringLiteral("partial");
    }

    void skintoolDrawsWhatTheProgramShows()
    {
        if (qEnvironmentVariableIsEmpty("SKINTOOL_BINARY"))
            QSKIP("needs skintool (SKINTOOL_BINARY)");
        QFETCH(QString, skin);
        if (skin == QLatin1String("partial")) {
            writePatternBmp(QStringLiteral("partial/background_us.bmp"), {800, 600}, 1);
            writePatternBmp(QStringLiteral("partial/backsettings_us.bmp"), {610, 590}, 2);
            writePatternBmp(QStringLiteral("partial/backadvanced_us.bmp"), {615, 599}, 3);
            skin = path(QStringLiteral("partial"));
        }
        QProcess skintool;
        skintool.start(qEnvironmentVariable("SKINTOOL_BINARY"),
                       {QStringLiteral("render"), QStringLiteral("--out"), path(QStringLiteral("rendered")), skin});
        QVERIFY(skintool.waitForFinished(Patience));
        QCOMPARE(skintool.exitCode(), 0);
        const QString rendered = path(QStringLiteral("rendered/") + QFileInfo(skin).fileName());
        const QImage preview = QImage(rendered + QStringLiteral("/preview.png")).convertToFormat(QImage::Format_RGB32);
        const QImage desktop = QImage(rendered + QStringLiteral("/desktop-settings.png")).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(preview.size(), QSize(800, 600));

        writeFile(QStringLiteral("work/lastpath.skin"), QFile::encodeName(skin) + "\r\n");
        start();
        clickAt({60, 25});
        QTRY_VERIFY_WITH_TIMEOUT(findWindow(QStringLiteral("Skin Selector")).has_value(), Patience);
        clickAt({60, 25});
        QTRY_VERIFY_WITH_TIMEOUT(!findWindow(QStringLiteral("Skin Selector")).has_value(), Patience);
        QImage shown = previewOnScreen(preview);
        QCOMPARE(differences(shown, preview), QString());
        clickAt({60, 118}); // "Desktop settings"
        shown = previewOnScreen(desktop);
        QCOMPARE(differences(shown, desktop), QString());
    }

    // The guides that skintool draws are what Ctrl+G shows after the same
    // clicks, pixel for pixel, in both windows; turned off again, the
    // window is as before.
    void skintoolGuidesAreWhatCtrlGShows()
    {
        if (qEnvironmentVariableIsEmpty("SKINTOOL_BINARY"))
            QSKIP("needs skintool (SKINTOOL_BINARY)");
        // Pictures that leave strips of their boxes uncovered and have
        // strips cut off, each hatched.
        writePatternBmp(QStringLiteral("skin/background_us.bmp"), {780, 600}, 4);
        writePatternBmp(QStringLiteral("skin/sticker_background.bmp"), {170, 380}, 5);
        writePatternBmp(QStringLiteral("skin/backsettings.bmp"), {600, 620}, 6);
        const QString skin = path(QStringLiteral("skin"));
        QProcess skintool;
        skintool.start(qEnvironmentVariable("SKINTOOL_BINARY"), {QStringLiteral("render"), QStringLiteral("--guides"),
                                                                 QStringLiteral("--out"), path(QStringLiteral("rendered")), skin});
        QVERIFY(skintool.waitForFinished(Patience));
        QCOMPARE(skintool.exitCode(), 0);
        auto rendered = [&](const char *name) {
            return QImage(path(QStringLiteral("rendered/skin/")) + QLatin1String(name)).convertToFormat(QImage::Format_RGB32);
        };
        auto pressCtrlG = [](const QString &window) {
            const auto id = findWindow(window);
            QVERIFY(id);
            xdotool({"windowfocus", "--sync", *id});
            xdotool({"key", "ctrl+g"});
        };

        writeFile(QStringLiteral("work/lastpath.skin"), QFile::encodeName(skin) + "\r\n");
        start();
        clickAt({60, 25});
        QTRY_VERIFY_WITH_TIMEOUT(findWindow(QStringLiteral("Skin Selector")).has_value(), Patience);
        pressCtrlG(QStringLiteral("Skin Selector"));
        QCOMPARE(differences(previewOnScreen(rendered("selector-guides.png")), rendered("selector-guides.png")), QString());
        clickAt({60, 25});
        QTRY_VERIFY_WITH_TIMEOUT(!findWindow(QStringLiteral("Skin Selector")).has_value(), Patience);

        pressCtrlG(QStringLiteral("Form1"));
        QCOMPARE(differences(previewOnScreen(rendered("preview-guides.png")), rendered("preview-guides.png")), QString());
        clickAt({60, 118}); // "Desktop settings"
        const QImage desktop = rendered("desktop-settings-guides.png");
        QCOMPARE(differences(previewOnScreen(desktop), desktop), QString());
        saveScreenshot(QStringLiteral("guides"));
        pressCtrlG(QStringLiteral("Form1"));
        QCOMPARE(differences(previewOnScreen(rendered("desktop-settings.png")), rendered("desktop-settings.png")), QString());
    }

    // The keys work as soon as the selector has closed, with no click on
    // the preview window first and the pointer away from it: the preview
    // is the active window again, with or without a window manager.
    void keysWorkOnceTheSelectorCloses()
    {
        const QColor blue(30, 60, 200);
        const QString skin = makeFolder(QStringLiteral("skins/blue"));
        writeBmp(QStringLiteral("skins/blue/background.bmp"), blue, {800, 600});
        writeFile(QStringLiteral("work/lastpath.skin"), QFile::encodeName(skin) + "\r\n");
        start();
        clickAt({60, 25});
        QTRY_VERIFY_WITH_TIMEOUT(findWindow(QStringLiteral("Skin Selector")).has_value(), Patience);
        clickAt({60, 25});
        QTRY_VERIFY_WITH_TIMEOUT(!findWindow(QStringLiteral("Skin Selector")).has_value(), Patience);
        const QPoint bare(400, 300);
        QTRY_VERIFY_WITH_TIMEOUT(sameColor(screenColor(bare), blue), Patience);
        movePointerTo(PreviewOrigin + QPoint(900, 650));

        // With its file gone, the background keeps its picture, until
        // Shift+F5 starts again from the built-in ones.
        QVERIFY(QFile::remove(path(QStringLiteral("skins/blue/background.bmp"))));
        const QColor builtIn = QImage(QStringLiteral(":/background.bmp")).pixelColor(bare);
        xdotool({"key", "shift+F5"});
        QTRY_VERIFY_WITH_TIMEOUT(sameColor(screenColor(bare), builtIn), Patience);
        const auto preview = [] { return screenshot().copy(QRect(PreviewOrigin, QSize(800, 600))); };
        const QImage withoutGuides = preview();
        xdotool({"key", "ctrl+g"});
        QTRY_VERIFY_WITH_TIMEOUT(preview() != withoutGuides, Patience);
    }

    void closeGlyphEndsTheProgramQuietly()
    {
        start();
        clickAt({789, 9});
        QCOMPARE(finish(), 0);
        QCOMPARE(m_program.readAllStandardError(), QByteArray());
        QCOMPARE(m_program.readAllStandardOutput(), QByteArray());
        // Closing without opening the selector remembers the start-up folder.
        QCOMPARE(readFile(QStringLiteral("work/lastpath.skin")), QFile::encodeName(workDir()) + "\r\n");
    }
};

QTEST_MAIN(EndToEndTest)
#include "e2e_test.moc"
