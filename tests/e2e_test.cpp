// Drives the real program in a real X server: real mouse clicks and key
// presses through xdotool, the screen read back through ImageMagick.
// The test command starts the X server and passes its DISPLAY.

#include "support/fixture.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTest>
#include <QThread>

namespace {

constexpr QPoint PreviewOrigin(289, 38);
// How long to wait for the program to show what a step should lead to; a
// loaded machine can be slow, a broken program never gets there.
constexpr int Patience = 20000;

enum class Failure { Warn, Expected };

// Runs a helper program to its end; returns its standard output. A helper
// that the X server turned away for a moment is run again.
QByteArray run(const QString &program, const QStringList &arguments, Failure failure = Failure::Warn)
{
    for (int attempt = 0;; ++attempt) {
        QProcess process;
        process.start(program, arguments);
        const bool finished = process.waitForFinished(20000);
        const QByteArray errors = process.readAllStandardError();
        const bool turnedAway = errors.contains("open display") || errors.contains("open X server");
        if (turnedAway && attempt < 3) {
            QThread::msleep(300);
            continue;
        }
        if (failure == Failure::Warn && (!finished || process.exitCode() != 0))
            qWarning("%s %s failed: %s", qPrintable(program), qPrintable(arguments.join(' ')),
                     errors.constData());
        return process.readAllStandardOutput();
    }
}

void xdotool(const QStringList &arguments)
{
    run(QStringLiteral("xdotool"), arguments);
}

QPoint pointerPosition()
{
    // "x:349 y:63 screen:0 window:4194310"
    const QString where = QString::fromLatin1(run(QStringLiteral("xdotool"), {"getmouselocation"}));
    auto field = [&](const char *label) { return where.section(QLatin1String(label), 1).section(' ', 0, 0).toInt(); };
    return {field("x:"), field("y:")};
}

// Moves the pointer by relative motion from where it is: an Xwayland
// without a seat (as under a headless compositor) crashes when the pointer
// is warped to a place.
void movePointerTo(QPoint screen)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        const QPoint by = screen - pointerPosition();
        if (by.isNull())
            return;
        xdotool({"mousemove_relative", "--sync", "--", QString::number(by.x()), QString::number(by.y())});
    }
    qWarning("the pointer did not get to %d, %d", screen.x(), screen.y());
}

// A click at a point of the preview window, in its own coordinates.
void clickAt(QPoint point, int repeat = 1)
{
    movePointerTo(PreviewOrigin + point);
    xdotool({"click", "--repeat", QString::number(repeat), "--delay", "60", "1"});
}

QImage screenshot()
{
    return QImage::fromData(run(QStringLiteral("import"), {"-window", "root", "png:-"}), "PNG");
}

// The colour at a point of the preview window's rectangle on the screen.
QColor screenColor(QPoint point)
{
    return screenshot().pixelColor(PreviewOrigin + point);
}

struct Geometry
{
    QPoint position;
    QSize size;
};

// Window id and geometry of the top-level window with this exact name, if mapped.
std::optional<QString> findWindow(const QString &name)
{
    const QByteArray out = run(QStringLiteral("xdotool"),
                               {"search", "--onlyvisible", "--name", "^" + name + "$"}, Failure::Expected);
    const QString id = QString::fromLatin1(out).section(QLatin1Char('\n'), 0, 0).trimmed();
    if (id.isEmpty())
        return std::nullopt;
    return id;
}

Geometry geometryOf(const QString &id)
{
    const QString info = QString::fromLatin1(run(QStringLiteral("xwininfo"), {"-id", id}));
    auto field = [&](const char *label) {
        const int at = info.indexOf(QLatin1String(label));
        return at < 0 ? -1 : info.mid(at + int(strlen(label))).section(QLatin1Char('\n'), 0, 0).trimmed().toInt();
    };
    return {{field("Absolute upper-left X:"), field("Absolute upper-left Y:")},
            {field("Width:"), field("Height:")}};
}

// A window id as xdotool (decimal) or xwininfo (hexadecimal) gives it.
quint64 windowNumber(const QString &id)
{
    return id.trimmed().toULongLong(nullptr, 0);
}

// The window that a window manager has put this one into (its frame), or
// the window itself where none has.
QString frameOf(const QString &id)
{
    QString window = id;
    for (int depth = 0; depth < 8; ++depth) {
        const QString tree = QString::fromLatin1(run(QStringLiteral("xwininfo"), {"-id", window, "-tree"}));
        auto idAfter = [&](const char *label) {
            return tree.section(QLatin1String(label), 1).trimmed().section(' ', 0, 0);
        };
        const QString parent = idAfter("Parent window id:");
        if (parent.isEmpty() || windowNumber(parent) == windowNumber(idAfter("Root window id:")))
            return window;
        window = parent;
    }
    return window;
}

// The top-level windows, the front one first.
QList<quint64> stackingFromFront()
{
    QList<quint64> windows;
    const QString children = QString::fromLatin1(run(QStringLiteral("xwininfo"), {"-root", "-children"}));
    for (const QString &line : children.split(QLatin1Char('\n'))) {
        const QString first = line.trimmed().section(' ', 0, 0);
        if (first.startsWith(QLatin1String("0x")))
            windows.append(windowNumber(first));
    }
    return windows;
}

// weston's X window manager puts every window into a frame larger by a
// margin for its shadows, decorated or not; other sessions leave an
// undecorated window's frame at the window's own size.
bool framesHaveMargins()
{
    return qEnvironmentVariable("SKINPREVIEW_SESSION") == QLatin1String("weston");
}

// The pixels in which two pictures of the same window differ (their colour
// spaces aside): none, or where the first is and how many.
QString differences(const QImage &actual, const QImage &expected)
{
    if (actual.size() != expected.size())
        return QStringLiteral("sizes differ");
    int count = 0;
    QPoint first;
    for (int y = 0; y < actual.height(); ++y)
        for (int x = 0; x < actual.width(); ++x)
            if (actual.pixel(x, y) != expected.pixel(x, y) && count++ == 0)
                first = QPoint(x, y);
    return count == 0 ? QString()
                      : QStringLiteral("%1 pixels differ, the first at %2, %3").arg(count).arg(first.x()).arg(first.y());
}

bool sameColor(QColor a, QColor b)
{
    return qAbs(a.red() - b.red()) <= 2 && qAbs(a.green() - b.green()) <= 2 && qAbs(a.blue() - b.blue()) <= 2;
}

} // namespace

class EndToEndTest : public Fixture
{
    Q_OBJECT

private:
    QProcess m_program;

    QString screenshotPath(const QString &name) const
    {
        const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
        QDir().mkpath(folder);
        return folder + QLatin1Char('/') + name + QStringLiteral(".png");
    }

    void saveScreenshot(const QString &name) const
    {
        screenshot().copy(QRect(PreviewOrigin, QSize(800, 600))).save(screenshotPath(name));
    }

    void start()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), dataDir());
        m_program.setProcessEnvironment(env);
        m_program.setWorkingDirectory(workDir());
        // Now and then the X server refuses a new connection for a moment;
        // that is the test bench's trouble, not the program's, so try again.
        for (int attempt = 0; attempt < 3; ++attempt) {
            m_program.start(qEnvironmentVariable("SKINPREVIEW_BINARY"), {});
            QVERIFY(m_program.waitForStarted());
            QTRY_VERIFY_WITH_TIMEOUT(findWindow(QStringLiteral("Form1")).has_value()
                                         || m_program.state() == QProcess::NotRunning,
                                     Patience);
            if (m_program.state() == QProcess::Running
                || !m_program.readAllStandardError().contains("could not connect to display"))
                break;
            QTest::qWait(500);
        }
        QVERIFY2(findWindow(QStringLiteral("Form1")).has_value(),
                 qPrintable(QStringLiteral("no preview window; program %1, stderr: %2")
                                .arg(m_program.state() == QProcess::Running ? "running" : "ended")
                                .arg(QString::fromLocal8Bit(m_program.readAllStandardError()))));
        QTest::qWait(300); // first paint
    }

    // The preview window's rectangle on the screen, once it shows expected
    // or the patience is spent; a failing one is kept with the screenshots.
    QImage previewOnScreen(const QImage &expected) const
    {
        const QDeadlineTimer deadline(Patience);
        QImage shown;
        do {
            shown = screenshot().copy(QRect(PreviewOrigin, QSize(800, 600))).convertToFormat(QImage::Format_RGB32);
            if (differences(shown, expected).isEmpty())
                return shown;
            QTest::qWait(200);
        } while (!deadline.hasExpired());
        shown.save(screenshotPath(QStringLiteral("mismatch-") + QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-')));
        return shown;
    }

    // Waits for the program to end by itself; returns its exit status.
    int finish()
    {
        if (!m_program.waitForFinished(Patience)) {
            m_program.kill();
            m_program.waitForFinished();
            return -1;
        }
        return m_program.exitStatus() == QProcess::NormalExit ? m_program.exitCode() : -1;
    }

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

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY") || qEnvironmentVariableIsEmpty("SKINPREVIEW_BINARY"))
            QSKIP("needs an X server (DISPLAY) and the program (SKINPREVIEW_BINARY)");
    }

    void cleanup()
    {
        if (m_program.state() != QProcess::NotRunning) {
            m_program.kill();
            m_program.waitForFinished();
        }
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
        start();
        clickAt({60, 25});
        QTRY_VERIFY_WITH_TIMEOUT(findWindow(QStringLiteral("Skin Selector")).has_value(), Patience);
        QTest::qWait(300);

        // A double click on the one subfolder of the working directory.
        const QPoint row = subfolderRow(0);
        QVERIFY(!row.isNull());
        clickAt(row, 2);
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
