// The preview window: its layout at load, what it draws, the menu and its
// panels, where clicks land, the logo and the close hot spots.

#include "support/archives.h"
#include "support/fixture.h"

#include "app/forms.h"
#include "forms/color.h"
#include "forms/label.h"
#include "forms/picturebox.h"
#include "preview/form1.h"
#include "selector/form2.h"
#include "skin/skinfiles.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QMimeData>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <memory>
#include <vector>

// Readable colours in failure messages.
static QString describe(const Color &color)
{
    if (color == Color(SystemColor::WindowText))
        return QStringLiteral("WindowText");
    if (color == Color(SystemColor::ButtonText))
        return QStringLiteral("ButtonText");
    if (color == Color(SystemColor::WindowBackground))
        return QStringLiteral("WindowBackground");
    return color.resolve().name();
}

char *toString(const Color &color)
{
    return qstrdup(qPrintable(describe(color)));
}

namespace {

const QString MenuTexts[] = {
    QStringLiteral("My Collection"),        QStringLiteral("Full Collection"),
    QStringLiteral("Desktop settings"),     QStringLiteral("ScreenSaver settings"),
    QStringLiteral("Advanced settings"),    QStringLiteral("Go to Website"),
};

constexpr Color Red = RGB(255, 0, 0);
constexpr Color Black = RGB(0, 0, 0);

// Menu item 1 to 6.
Label &menuItem(int item)
{
    switch (item) {
    case 1: return form1().Label1();
    case 2: return form1().Label2();
    case 3: return form1().Label3();
    case 4: return form1().Label4();
    case 5: return form1().Label5();
    default: return form1().Label6();
    }
}

// Picture1 to Picture4.
PictureBox &pictureBox(int number)
{
    switch (number) {
    case 1: return form1().Picture1();
    case 2: return form1().Picture2();
    case 3: return form1().Picture3();
    default: return form1().Picture4();
    }
}

// A control of the preview window by its name, through the form's accessors.
QWidget *control(const QString &name)
{
    if (name.startsWith(QLatin1String("Picture")))
        return &pictureBox(name.mid(7).toInt());
    switch (name.mid(5).toInt()) {
    case 7: return &form1().Label7();
    case 8: return &form1().Label8();
    case 9: return &form1().Label9();
    case 10: return &form1().Label10();
    case 11: return &form1().Label11();
    default: return &menuItem(name.mid(5).toInt());
    }
}

// A real click in the middle of a label.
void click(QWidget &widget)
{
    QTest::mouseClick(&widget, Qt::LeftButton, {}, widget.rect().center());
}

// A click at a point of the preview window, delivered through its native
// window so that Qt finds the widget under the point as for a real click.
void clickWindowAt(QPoint point)
{
    QTest::mouseClick(form1().window().windowHandle(), Qt::LeftButton, {}, point);
}

// Drags urls from outside onto a window and lets go at point, through its
// native window, so that the drop reaches whatever a real one would reach
// there; whether the window took it.
bool dropOn(QWidget &window, const QList<QUrl> &urls, QPoint point)
{
    QMimeData data;
    data.setUrls(urls);
    QWindow *native = window.windowHandle();
    QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(native, &enter);
    if (!enter.isAccepted()) {
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(native, &leave);
        return false;
    }
    QDropEvent drop(point, Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(native, &drop);
    return drop.isAccepted();
}

QImage rgb32(const QImage &image)
{
    return image.convertToFormat(QImage::Format_RGB32);
}

QImage grabPreview()
{
    return rgb32(form1().window().grab().toImage());
}

QImage plainImage(QSize size, QColor color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// The panel shown, 2 to 4, 0 for none, -1 for more than one.
int shownPanel()
{
    int shown = 0;
    for (int number = 2; number <= 4; ++number) {
        if (!pictureBox(number).isHidden()) {
            if (shown)
                return -1;
            shown = number;
        }
    }
    return shown;
}

// What the menu handlers change: the six text colours and the panel shown.
struct MenuState
{
    std::vector<Color> colors;
    int panel;
    bool operator==(const MenuState &) const = default;
};

MenuState menuState()
{
    MenuState state{{}, shownPanel()};
    for (int item = 1; item <= 6; ++item)
        state.colors.push_back(menuItem(item).foreColor());
    return state;
}

// Compares the menu colours with "item highlighted" (0: none yet).
void verifyHighlight(int highlighted)
{
    for (int item = 1; item <= 6; ++item) {
        const Color expected = highlighted == 0 ? Color(SystemColor::WindowText)
                               : item == highlighted ? Red
                                                     : Black;
        QVERIFY2(menuItem(item).foreColor() == expected,
                 qPrintable(QStringLiteral("item %1 (%2) has %3, expected %4")
                                .arg(item)
                                .arg(MenuTexts[item - 1])
                                .arg(describe(menuItem(item).foreColor()), describe(expected))));
    }
}

// Counts the clicks each of the eleven labels raises.
class ClickSpies
{
public:
    ClickSpies()
    {
        for (int number = 1; number <= 11; ++number) {
            auto *label = static_cast<Label *>(control(QStringLiteral("Label%1").arg(number)));
            m_spies.push_back(std::make_unique<QSignalSpy>(label, &Label::click));
        }
    }

    // The names of the labels that were clicked, in number order.
    QStringList clicked() const
    {
        QStringList names;
        for (std::size_t i = 0; i < m_spies.size(); ++i) {
            for (qsizetype n = 0; n < m_spies[i]->count(); ++n)
                names << QStringLiteral("Label%1").arg(i + 1);
        }
        return names;
    }

private:
    std::vector<std::unique_ptr<QSignalSpy>> m_spies;
};

// Checks the colour at each point of an image; reports the first mismatch.
struct Probe
{
    QPoint point;
    QColor expected;
};

void verifyProbes(const QImage &image, const std::vector<Probe> &probes)
{
    for (const Probe &probe : probes) {
        const QColor actual = image.pixelColor(probe.point);
        QVERIFY2(actual.rgb() == probe.expected.rgb(),
                 qPrintable(QStringLiteral("at (%1, %2): %3, expected %4")
                                .arg(probe.point.x())
                                .arg(probe.point.y())
                                .arg(actual.name(), probe.expected.name())));
    }
}

} // namespace

class PreviewTest : public Fixture
{
    Q_OBJECT

private slots:
    void controlsAtLoad_data();
    void controlsAtLoad();
    void windowAtLoad();

    void builtInPicturesShowAtLoad();
    void builtInPanelShowsWhenItsItemIsClicked_data();
    void builtInPanelShowsWhenItsItemIsClicked();
    void panelPictureShowsOnlyWhileShown_data();
    void panelPictureShowsOnlyWhileShown();
    void pictureIsClippedToItsBox_data();
    void pictureIsClippedToItsBox();
    void smallBackgroundLeavesWindowColour_data();
    void smallBackgroundLeavesWindowColour();
    void menuTextIsDrawnInItsColour();

    void menuClicks_data();
    void menuClicks();

    void clickAtWindowPoint_data();
    void clickAtWindowPoint();

    void logoShowsSelectorOverPreview();
    void logoShowsSelectorAgainAfterItClosed();

    void dropAppliesTheFolder_data();
    void dropAppliesTheFolder();
    void dropIsRefused_data();
    void dropIsRefused();

    void closeEndsProgram_data();
    void closeEndsProgram();
};

// ---------------------------------------------------------------------------
// Layout at load

void PreviewTest::controlsAtLoad_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent"); // empty: the window itself
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("menu");       // Arial 9.75 bold, window-text colour
    QTest::addColumn<QString>("picture"); // a picture box's built-in picture

    auto menu = [](const char *name, QRect geometry, const char *text) {
        QTest::newRow(name) << name << QString() << geometry << true << text << true << QString();
    };
    menu("Label1", {35, 49, 95, 19}, "My Collection");
    menu("Label2", {35, 79, 105, 19}, "Full Collection");
    menu("Label3", {35, 109, 110, 19}, "Desktop settings");
    menu("Label4", {34, 139, 151, 19}, "ScreenSaver settings");
    menu("Label5", {35, 169, 132, 19}, "Advanced settings");
    menu("Label6", {35, 199, 95, 19}, "Go to Website");

    auto hotSpot = [](const char *name, const char *parent, QRect geometry) {
        QTest::newRow(name) << name << parent << geometry << true << QString() << false << QString();
    };
    hotSpot("Label7", "", {13, 13, 166, 31});
    hotSpot("Label8", "", {784, 0, 19, 19});
    hotSpot("Label11", "Picture2", {596, 0, 19, 19});
    hotSpot("Label10", "Picture3", {596, 0, 19, 19});
    hotSpot("Label9", "Picture4", {596, 0, 19, 19});

    auto box = [](const char *name, QRect geometry, bool shown, const char *picture) {
        QTest::newRow(name) << name << QString() << geometry << shown << QString() << false << picture;
    };
    box("Picture1", {5, 234, 178, 357}, true, ":/sticker.bmp");
    box("Picture2", {184, 0, 615, 599}, false, ":/desktop_settings.bmp");
    box("Picture3", {184, 0, 615, 599}, false, ":/screensaver_settings.bmp");
    box("Picture4", {184, 0, 615, 599}, false, ":/advanced_settings.bmp");
}

void PreviewTest::controlsAtLoad()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    QFETCH(bool, shown);
    QFETCH(QString, text);
    QFETCH(bool, menu);
    QFETCH(QString, picture);

    startProgram();
    QWidget *widget = control(name);
    QVERIFY(widget);

    QWidget *expectedParent = parent.isEmpty() ? &form1().window() : control(parent);
    QCOMPARE(widget->parentWidget(), expectedParent);
    QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(!widget->isHidden(), shown);

    if (picture.isEmpty()) {
        auto *label = qobject_cast<Label *>(widget);
        QVERIFY2(label, "expected a label");
        QCOMPARE(label->caption(), text);
        if (menu) {
            QCOMPARE(label->font().family(), QStringLiteral("Arial"));
            QCOMPARE(label->font().pointSizeF(), 9.75);
            QVERIFY(label->font().bold());
            QCOMPARE(label->foreColor(), Color(SystemColor::WindowText));
        }
    } else {
        auto *box = qobject_cast<PictureBox *>(widget);
        QVERIFY2(box, "expected a picture box");
        const QImage builtIn(picture);
        QVERIFY(!builtIn.isNull());
        QCOMPARE(box->picture(), builtIn);
    }
}

void PreviewTest::windowAtLoad()
{
    startProgram();
    QWidget &window = form1().window();

    QVERIFY(window.isVisible());
    QVERIFY(window.isWindow());
    QCOMPARE(window.size(), QSize(800, 600));
    QCOMPARE(window.pos(), QPoint(289, 38));
    QCOMPARE(form1().left(), 289);
    QCOMPARE(form1().top(), 38);
    QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(window.windowTitle(), QStringLiteral("Form1"));

    const QIcon icon = window.windowIcon();
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.actualSize(QSize(256, 256)), QSize(64, 64));
    QCOMPARE(rgb32(icon.pixmap(64, 64).toImage()), rgb32(QImage(QStringLiteral(":/icon.bmp"))));

    const QImage background(QStringLiteral(":/background.bmp"));
    QCOMPARE(background.size(), QSize(800, 600));
    QCOMPARE(form1().picture(), background);

    // The built-in pictures are the sizes their slots were made for; the
    // sticker is four rows taller than its box, each panel one pixel larger.
    QCOMPARE(form1().Picture1().picture().size(), QSize(178, 361));
    for (int number = 2; number <= 4; ++number)
        QCOMPARE(pictureBox(number).picture().size(), QSize(616, 600));

    // The selector was loaded during start-up and stays hidden.
    QVERIFY(form2().isLoaded());
    QVERIFY(form2().window().isHidden());
}

// ---------------------------------------------------------------------------
// What the window draws

void PreviewTest::builtInPicturesShowAtLoad()
{
    startProgram();
    const QImage shot = grabPreview();
    const QImage background = rgb32(QImage(QStringLiteral(":/background.bmp")));
    const QImage sticker = rgb32(QImage(QStringLiteral(":/sticker.bmp")));
    QCOMPARE(shot.size(), QSize(800, 600));

    // Everywhere but on the menu texts and the sticker box, the window shows
    // its background: the hot spots are invisible and no panel is shown.
    const QRect stickerBox(5, 234, 178, 357);
    std::vector<QRect> menuBoxes;
    for (int item = 1; item <= 6; ++item)
        menuBoxes.push_back(menuItem(item).geometry());
    for (int y = 0; y < 600; ++y) {
        for (int x = 0; x < 800; ++x) {
            const QPoint point(x, y);
            if (std::any_of(menuBoxes.begin(), menuBoxes.end(),
                            [&](const QRect &box) { return box.contains(point); }))
                continue;
            const QRgb expected = stickerBox.contains(point)
                                      ? sticker.pixel(point - stickerBox.topLeft())
                                      : background.pixel(point);
            if (shot.pixel(point) != expected)
                QFAIL(qPrintable(QStringLiteral("at (%1, %2): %3, expected %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(QColor(shot.pixel(point)).name(),
                                          QColor(expected).name())));
        }
    }
}

void PreviewTest::builtInPanelShowsWhenItsItemIsClicked_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("picture");
    QTest::newRow("Desktop settings") << 3 << ":/desktop_settings.bmp";
    QTest::newRow("ScreenSaver settings") << 4 << ":/screensaver_settings.bmp";
    QTest::newRow("Advanced settings") << 5 << ":/advanced_settings.bmp";
}

void PreviewTest::builtInPanelShowsWhenItsItemIsClicked()
{
    QFETCH(int, item);
    QFETCH(QString, picture);

    startProgram();
    click(menuItem(item));
    const QImage shot = grabPreview();
    const QImage panel = rgb32(QImage(picture));
    const QImage background = rgb32(QImage(QStringLiteral(":/background.bmp")));

    // The panel covers x 184 to 798 and y 0 to 598 with the top-left part of
    // its picture; the window's last column and row still show the background.
    const QRect area(184, 0, 615, 599);
    QCOMPARE(shot.copy(area), panel.copy(0, 0, 615, 599));
    for (int y = 0; y < 600; ++y)
        QCOMPARE(shot.pixel(799, y), background.pixel(799, y));
    for (int x = 184; x < 800; ++x)
        QCOMPARE(shot.pixel(x, 599), background.pixel(x, 599));
}

void PreviewTest::panelPictureShowsOnlyWhileShown_data()
{
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<QColor>("expected"); // at a point inside the panels' area

    const QColor background(90, 90, 90);
    QTest::newRow("no click") << QList<int>{} << background;
    QTest::newRow("My Collection") << QList<int>{1} << background;
    QTest::newRow("Full Collection") << QList<int>{2} << background;
    QTest::newRow("Desktop settings") << QList<int>{3} << QColor(Qt::red);
    QTest::newRow("ScreenSaver settings") << QList<int>{4} << QColor(Qt::green);
    QTest::newRow("Advanced settings") << QList<int>{5} << QColor(Qt::blue);
    QTest::newRow("Go to Website") << QList<int>{6} << background;
    QTest::newRow("Desktop, then Go to Website") << QList<int>{3, 6} << background;
    QTest::newRow("Advanced, then ScreenSaver") << QList<int>{5, 4} << QColor(Qt::green);
}

void PreviewTest::panelPictureShowsOnlyWhileShown()
{
    QFETCH(QList<int>, clicks);
    QFETCH(QColor, expected);

    writeBmp(QStringLiteral("skin/background.bmp"), QColor(90, 90, 90), {800, 600});
    writeBmp(QStringLiteral("skin/backsettings.bmp"), Qt::red, {616, 600});
    writeBmp(QStringLiteral("skin/backscreensaver.bmp"), Qt::green, {616, 600});
    writeBmp(QStringLiteral("skin/backadvanced.bmp"), Qt::blue, {616, 600});

    startProgram();
    ApplySkin(form1(), path(QStringLiteral("skin")));
    for (int item : clicks)
        click(menuItem(item));

    const QImage shot = grabPreview();
    verifyProbes(shot, {{{500, 300}, expected},
                        {{184, 0}, expected},
                        {{798, 598}, expected},
                        {{790, 9}, expected}, // the panel's close hot spot is invisible
                        {{183, 300}, QColor(90, 90, 90)},
                        {{799, 300}, QColor(90, 90, 90)},
                        {{500, 599}, QColor(90, 90, 90)}});
}

void PreviewTest::pictureIsClippedToItsBox_data()
{
    QTest::addColumn<int>("box");  // Picture1 to Picture4
    QTest::addColumn<int>("item"); // the menu item that shows it, 0 if always shown
    QTest::addColumn<QSize>("size");

    QTest::newRow("sticker, smaller") << 1 << 0 << QSize(60, 40);
    QTest::newRow("sticker, larger") << 1 << 0 << QSize(300, 500);
    QTest::newRow("sticker, exact") << 1 << 0 << QSize(178, 357);
    QTest::newRow("sticker, wide but short") << 1 << 0 << QSize(400, 10);
    QTest::newRow("Desktop panel, smaller") << 2 << 3 << QSize(60, 40);
    QTest::newRow("Desktop panel, larger") << 2 << 3 << QSize(900, 700);
    QTest::newRow("ScreenSaver panel, narrow and tall") << 3 << 4 << QSize(100, 650);
    QTest::newRow("Advanced panel, one pixel larger") << 4 << 5 << QSize(616, 600);
    QTest::newRow("Advanced panel, 1 x 1") << 4 << 5 << QSize(1, 1);
}

void PreviewTest::pictureIsClippedToItsBox()
{
    QFETCH(int, box);
    QFETCH(int, item);
    QFETCH(QSize, size);

    const QColor pictureColour(200, 30, 30);
    const QColor windowColour(20, 90, 160);

    startProgram();
    form1().setPicture(plainImage({800, 600}, windowColour));
    PictureBox &target = pictureBox(box);
    target.setPicture(plainImage(size, pictureColour));
    if (item)
        click(menuItem(item));
    QVERIFY(target.isVisible());

    const QColor base = target.palette().color(QPalette::Active, QPalette::Base);
    QVERIFY(base != pictureColour && base != windowColour);

    // Points at the corners of the box, of the picture and just beyond both.
    const QRect area = target.geometry();
    const QRect shown = QRect(QPoint(0, 0), size).intersected(QRect(QPoint(0, 0), area.size()));
    std::vector<QPoint> points;
    for (int x : {0, shown.right(), shown.right() + 1, area.width() - 1, area.width()}) {
        for (int y : {0, shown.bottom(), shown.bottom() + 1, area.height() - 1, area.height()})
            points.push_back(area.topLeft() + QPoint(x, y));
    }

    std::vector<Probe> probes;
    for (const QPoint &point : points) {
        if (!QRect(0, 0, 800, 600).contains(point))
            continue;
        const QPoint inBox = point - area.topLeft();
        QColor expected = windowColour;
        if (area.contains(point))
            expected = QRect(QPoint(0, 0), size).contains(inBox) ? pictureColour : base;
        probes.push_back({point, expected});
    }
    verifyProbes(grabPreview(), probes);
}

void PreviewTest::smallBackgroundLeavesWindowColour_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("200 x 100") << QSize(200, 100);
    QTest::newRow("full width, short") << QSize(800, 120);
    QTest::newRow("narrow, full height") << QSize(250, 600);
    QTest::newRow("larger than the window") << QSize(1000, 700);
}

void PreviewTest::smallBackgroundLeavesWindowColour()
{
    QFETCH(QSize, size);
    const QColor pictureColour(200, 30, 30);

    startProgram();
    form1().setPicture(plainImage(size, pictureColour));
    const QColor window = form1().window().palette().color(QPalette::Window);
    QVERIFY(window != pictureColour);

    // Points away from the menu, the sticker and the (hidden) panels' hot spots.
    const QRect picture(QPoint(0, 0), size);
    std::vector<Probe> probes;
    for (QPoint point : {QPoint(190, 30), QPoint(199, 99), QPoint(200, 99), QPoint(199, 100),
                         QPoint(249, 119), QPoint(250, 119), QPoint(249, 120), QPoint(400, 300),
                         QPoint(799, 599), QPoint(799, 0), QPoint(190, 599)}) {
        probes.push_back({point, picture.contains(point) ? pictureColour : window});
    }
    verifyProbes(grabPreview(), probes);
}

void PreviewTest::menuTextIsDrawnInItsColour()
{
    startProgram();
    const QColor background(120, 160, 120);
    form1().setPicture(plainImage({800, 600}, background));
    const QColor windowText = form1().window().palette().color(QPalette::Active, QPalette::WindowText);
    QVERIFY(windowText != background);

    auto countIn = [](const QImage &shot, const QRect &box, QColor colour) {
        int count = 0;
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                count += shot.pixel(x, y) == colour.rgb();
        return count;
    };

    // Each box shows its text over the window's background: the label
    // itself is transparent.
    QImage shot = grabPreview();
    for (int item = 1; item <= 6; ++item) {
        const QRect box = menuItem(item).geometry();
        QVERIFY2(countIn(shot, box, windowText) > 0, qPrintable(MenuTexts[item - 1]));
        QVERIFY2(countIn(shot, box, background) > box.width() * box.height() / 2,
                 qPrintable(MenuTexts[item - 1]));
    }

    click(menuItem(2));
    shot = grabPreview();
    for (int item = 1; item <= 6; ++item) {
        const QRect box = menuItem(item).geometry();
        const int red = countIn(shot, box, Qt::red);
        QVERIFY2(item == 2 ? red > 0 : red == 0, qPrintable(MenuTexts[item - 1]));
        QVERIFY2(countIn(shot, box, background) > box.width() * box.height() / 2,
                 qPrintable(MenuTexts[item - 1]));
    }
}

// ---------------------------------------------------------------------------
// Menu

void PreviewTest::menuClicks_data()
{
    QTest::addColumn<QList<int>>("clicks");   // menu items, 1 to 6, in order
    QTest::addColumn<int>("highlighted");     // the red item, 0 for none yet
    QTest::addColumn<int>("panel");           // Picture2 to Picture4, 0 for none

    QTest::newRow("no click") << QList<int>{} << 0 << 0;
    QTest::newRow("My Collection") << QList<int>{1} << 1 << 0;
    QTest::newRow("Full Collection") << QList<int>{2} << 2 << 0;
    QTest::newRow("Desktop settings") << QList<int>{3} << 3 << 2;
    QTest::newRow("ScreenSaver settings") << QList<int>{4} << 4 << 3;
    QTest::newRow("Advanced settings") << QList<int>{5} << 5 << 4;
    QTest::newRow("Go to Website") << QList<int>{6} << 6 << 0;
    QTest::newRow("Desktop, ScreenSaver, Advanced") << QList<int>{3, 4, 5} << 5 << 4;
    QTest::newRow("Advanced, Full Collection, Desktop") << QList<int>{5, 2, 3} << 3 << 2;
    QTest::newRow("Desktop, then Full Collection twice") << QList<int>{3, 2, 2} << 2 << 0;

    // Every item after every other: each handler hides whatever panel the
    // one before left shown.
    const int panelOf[] = {0, 0, 0, 2, 3, 4, 0}; // by item, 1 to 6
    for (int first = 1; first <= 6; ++first) {
        for (int second = 1; second <= 6; ++second) {
            QTest::addRow("%s, then %s", qPrintable(MenuTexts[first - 1]),
                          qPrintable(MenuTexts[second - 1]))
                << QList<int>{first, second} << second << panelOf[second];
        }
    }
}

void PreviewTest::menuClicks()
{
    QFETCH(QList<int>, clicks);
    QFETCH(int, highlighted);
    QFETCH(int, panel);

    startProgram();
    for (int item : clicks)
        click(menuItem(item));

    verifyHighlight(highlighted);
    QCOMPARE(shownPanel(), panel);

    // No item does anything else: both windows stay as they were.
    QVERIFY(form1().isLoaded());
    QVERIFY(form1().window().isVisible());
    QVERIFY(form2().isLoaded());
    QVERIFY(form2().window().isHidden());
}

// ---------------------------------------------------------------------------
// Where clicks land

void PreviewTest::clickAtWindowPoint_data()
{
    QTest::addColumn<int>("before");   // menu item clicked first, 0 for none
    QTest::addColumn<QPoint>("point"); // in window coordinates
    QTest::addColumn<QString>("hit");  // the label that takes the click, or none

    // The close glyph: the shown panel's own hot spot, save the window's
    // last column, which only Label8 reaches.
    QTest::newRow("close glyph, Desktop panel") << 3 << QPoint(790, 9) << "Label11";
    QTest::newRow("close glyph, ScreenSaver panel") << 4 << QPoint(790, 9) << "Label10";
    QTest::newRow("close glyph, Advanced panel") << 5 << QPoint(790, 9) << "Label9";
    QTest::newRow("panel hot spot, top-left") << 3 << QPoint(780, 0) << "Label11";
    QTest::newRow("panel hot spot, bottom-right") << 5 << QPoint(798, 18) << "Label9";
    QTest::newRow("last column, Desktop panel") << 3 << QPoint(799, 9) << "Label8";
    QTest::newRow("last column, Advanced panel") << 5 << QPoint(799, 0) << "Label8";
    QTest::newRow("close glyph, no panel") << 0 << QPoint(790, 9) << "Label8";
    QTest::newRow("close glyph, panel hidden again") << 1 << QPoint(790, 9) << "Label8";
    QTest::newRow("Label8, top-left") << 0 << QPoint(784, 0) << "Label8";
    QTest::newRow("Label8, bottom-right") << 0 << QPoint(799, 18) << "Label8";
    QTest::newRow("left of Label8, no panel") << 0 << QPoint(783, 9) << "";
    QTest::newRow("below Label8, no panel") << 0 << QPoint(790, 19) << "";
    QTest::newRow("left of panel hot spot") << 4 << QPoint(779, 9) << "";
    QTest::newRow("below panel hot spot") << 4 << QPoint(790, 19) << "";

    // "ScreenSaver settings" reaches one pixel into the panels.
    QTest::newRow("ScreenSaver item, no panel") << 0 << QPoint(100, 148) << "Label4";
    QTest::newRow("ScreenSaver item, panel shown") << 3 << QPoint(100, 148) << "Label4";
    QTest::newRow("ScreenSaver item, left edge") << 0 << QPoint(34, 145) << "Label4";
    QTest::newRow("ScreenSaver item, last column") << 0 << QPoint(184, 145) << "Label4";
    QTest::newRow("ScreenSaver item, last column under panel") << 5 << QPoint(184, 145) << "";
    QTest::newRow("ScreenSaver item, column before panel") << 5 << QPoint(183, 145) << "Label4";
    QTest::newRow("left of ScreenSaver item") << 0 << QPoint(33, 145) << "";

    // The other menu items, at their corners and just beside them.
    QTest::newRow("My Collection, top-left") << 0 << QPoint(35, 49) << "Label1";
    QTest::newRow("My Collection, bottom-right") << 0 << QPoint(129, 67) << "Label1";
    QTest::newRow("right of My Collection") << 0 << QPoint(130, 58) << "";
    QTest::newRow("between My Collection and Full Collection") << 0 << QPoint(60, 72) << "";
    QTest::newRow("Full Collection") << 0 << QPoint(139, 97) << "Label2";
    QTest::newRow("Desktop settings") << 0 << QPoint(144, 115) << "Label3";
    QTest::newRow("Advanced settings") << 4 << QPoint(166, 187) << "Label5";
    QTest::newRow("Go to Website") << 0 << QPoint(35, 210) << "Label6";
    QTest::newRow("below Go to Website") << 0 << QPoint(35, 218) << "";

    // The logo hot spot.
    QTest::newRow("logo") << 0 << QPoint(50, 25) << "Label7";
    QTest::newRow("logo, top-left") << 0 << QPoint(13, 13) << "Label7";
    QTest::newRow("logo, bottom-right, panel shown") << 3 << QPoint(178, 43) << "Label7";
    QTest::newRow("above the logo") << 0 << QPoint(50, 12) << "";
    QTest::newRow("right of the logo") << 0 << QPoint(179, 25) << "";

    // Nothing there.
    QTest::newRow("sticker") << 0 << QPoint(100, 400) << "";
    QTest::newRow("sticker, Desktop highlighted") << 3 << QPoint(100, 400) << "";
    QTest::newRow("bare background") << 0 << QPoint(400, 300) << "";
    QTest::newRow("bare background, after Go to Website") << 6 << QPoint(400, 300) << "";
    QTest::newRow("inside a panel") << 4 << QPoint(400, 300) << "";
    QTest::newRow("top-left corner") << 0 << QPoint(0, 0) << "";
    QTest::newRow("bottom-right corner") << 0 << QPoint(799, 599) << "";
    QTest::newRow("bottom-right corner, panel shown") << 5 << QPoint(799, 599) << "";
}

void PreviewTest::clickAtWindowPoint()
{
    QFETCH(int, before);
    QFETCH(QPoint, point);
    QFETCH(QString, hit);

    startProgram();
    QVERIFY(QTest::qWaitForWindowExposed(&form1().window()));
    if (before)
        click(menuItem(before));
    const MenuState previous = menuState();

    ClickSpies spies;
    clickWindowAt(point);
    QCOMPARE(spies.clicked(), hit.isEmpty() ? QStringList() : QStringList{hit});

    const int number = hit.isEmpty() ? 0 : hit.mid(5).toInt();
    if (number >= 8) {
        // A close hot spot: the program ends.
        QVERIFY(!form1().isLoaded());
        QVERIFY(!form2().isLoaded());
        return;
    }

    QVERIFY(form1().isLoaded());
    QVERIFY(form2().isLoaded());
    QCOMPARE(form2().window().isVisible(), number == 7);
    if (number >= 1 && number <= 6) {
        verifyHighlight(number);
    } else {
        QVERIFY2(menuState() == previous, "the click changed the menu or the panels");
    }
}

// ---------------------------------------------------------------------------
// The logo

void PreviewTest::logoShowsSelectorOverPreview()
{
    startProgram();
    QVERIFY(QTest::qWaitForWindowExposed(&form1().window()));
    QVERIFY(form2().isLoaded());
    QPointer<QWidget> selector = &form2().window();
    QVERIFY(selector->isHidden());

    clickWindowAt({50, 25});
    QVERIFY(selector);
    QVERIFY(selector->isVisible());
    QCOMPARE(selector->geometry(), form1().window().geometry());
    QCOMPARE(selector->frameGeometry(), form1().window().frameGeometry());
    QCOMPARE(form1().Picture2().isHidden(), true);
    verifyHighlight(0);

    // The preview window stays shown and usable behind the selector.
    QVERIFY(form1().window().isVisible());
    click(form1().Label3());
    verifyHighlight(3);
    QVERIFY(!form1().Picture2().isHidden());
    QVERIFY(selector->isVisible());

    // Showing it again while it is shown keeps the same window and brings
    // it to the front.
    form1().window().activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), &form1().window());
    click(form1().Label7());
    QVERIFY(selector);
    QCOMPARE(&form2().window(), selector.data());
    QVERIFY(selector->isVisible());
    QTRY_COMPARE(QApplication::activeWindow(), selector.data());
    QCOMPARE(selector->geometry(), form1().window().geometry());
}

void PreviewTest::logoShowsSelectorAgainAfterItClosed()
{
    startProgram();
    click(form1().Label7());
    QVERIFY(form2().window().isVisible());
    form2().unload();
    QVERIFY(!form2().isLoaded());
    QVERIFY(form1().isLoaded());

    // Closing the selector leaves the preview window running; the logo then
    // loads it anew, over the preview window.
    click(form1().Label7());
    QVERIFY(form2().isLoaded());
    QVERIFY(form2().window().isVisible());
    QCOMPARE(form2().window().geometry(), form1().window().geometry());
}

// ---------------------------------------------------------------------------
// Dropping a skin on the window

// Wherever the drop lands, and whatever the selector is doing, the skin is
// applied and remembered as closing the selector on it would, and a
// selector that was shown closes.
void PreviewTest::dropAppliesTheFolder_data()
{
    QTest::addColumn<QString>("selector"); // "hidden" since start-up, "closed" before, or "shown"
    QTest::addColumn<QString>("onto");     // the window that the drop lands on
    QTest::addColumn<int>("item");         // menu item clicked first, 0 for none
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QString>("archive"); // the skin packed into an archive of this name, or the folder

    QTest::newRow("selector hidden since start-up") << "hidden" << "preview" << 0 << QPoint(600, 300) << "";
    QTest::newRow("selector closed before") << "closed" << "preview" << 0 << QPoint(600, 300) << "";
    QTest::newRow("on the Desktop settings panel") << "hidden" << "preview" << 3 << QPoint(400, 300) << "";
    QTest::newRow("on the sticker") << "hidden" << "preview" << 0 << QPoint(90, 400) << "";
    QTest::newRow("selector shown, onto the selector") << "shown" << "selector" << 0 << QPoint(300, 200) << "";
    QTest::newRow("selector shown, onto the preview window") << "shown" << "preview" << 0 << QPoint(600, 300) << "";
    QTest::newRow("a zip") << "hidden" << "preview" << 0 << QPoint(600, 300) << "Ember.zip";
    QTest::newRow("a 7z, selector shown") << "shown" << "selector" << 0 << QPoint(300, 200) << "Ember.7z";
}

void PreviewTest::dropAppliesTheFolder()
{
    QFETCH(QString, selector);
    QFETCH(QString, onto);
    QFETCH(int, item);
    QFETCH(QPoint, point);
    QFETCH(QString, archive);
    const QColor background(10, 20, 30), sticker(40, 50, 60), desktop(70, 80, 90);
    writeBmp(QStringLiteral("skins/ember/background.bmp"), background, {800, 600});
    writeBmp(QStringLiteral("skins/ember/sticker_background.bmp"), sticker, {178, 357});
    writeBmp(QStringLiteral("skins/ember/backsettings.bmp"), desktop, {615, 599});
    QString skin = path(QStringLiteral("skins/ember"));
    if (!archive.isEmpty()) {
        QVERIFY(packFolder(skin, path(QStringLiteral("skins/")) + archive));
        QVERIFY(QDir(skin).removeRecursively());
        skin = path(QStringLiteral("skins/")) + archive;
    }

    startProgram();
    QVERIFY(QTest::qWaitForWindowExposed(&form1().window()));
    if (item)
        click(menuItem(item));
    if (selector != QLatin1String("hidden"))
        click(form1().Label7());
    if (selector == QLatin1String("closed"))
        form2().unload();
    QCOMPARE(form2().isLoaded(), selector != QLatin1String("closed"));
    QFile::remove(QStringLiteral("lastpath.skin"));

    QWidget &window = onto == QLatin1String("selector") ? form2().window() : form1().window();
    QVERIFY(dropOn(window, {QUrl::fromLocalFile(skin)}, point));

    QVERIFY(!form2().isLoaded());
    QCOMPARE(form2().SkinFolder, skin);
    QCOMPARE(readFile(QStringLiteral("work/lastpath.skin")), QFile::encodeName(skin) + "\r\n");
    QCOMPARE(form1().picture().pixelColor(400, 300), background);
    QCOMPARE(form1().Picture1().picture().pixelColor(100, 100), sticker);
    QCOMPARE(form1().Picture2().picture().pixelColor(300, 300), desktop);
    QCOMPARE(grabPreview().pixelColor(point), item == 3 ? desktop : point.x() < 184 ? sticker : background);
    QCOMPARE(form1().AppliedSkin.folder(), skin);

    // The selector opens at the skin dropped.
    click(form1().Label7());
    QCOMPARE(form2().Dir1().path(), skin);
}

// Only one item that the folder list would take (a folder, or an archive
// that reads) is taken: the drop is then
// refused as it comes in, and nothing changes.
void PreviewTest::dropIsRefused_data()
{
    // Paths below the test's folder, or URLs.
    QTest::addColumn<QStringList>("items");

    QTest::newRow("a picture file") << QStringList{"skins/ember/background.bmp"};
    QTest::newRow("a .zip that is no archive") << QStringList{"skins/broken.zip"};
    QTest::newRow("a folder that is not there") << QStringList{"skins/gone"};
    QTest::newRow("two folders") << QStringList{"skins/ember", "skins"};
    QTest::newRow("no local file") << QStringList{"https://example.org/skins/ember"};
    QTest::newRow("nothing") << QStringList{};
}

void PreviewTest::dropIsRefused()
{
    QFETCH(QStringList, items);
    QList<QUrl> urls;
    for (const QString &item : items)
        urls.append(item.contains(QLatin1String("://")) ? QUrl(item) : QUrl::fromLocalFile(path(item)));
    writeBmp(QStringLiteral("skins/ember/background.bmp"), Qt::red, {800, 600});
    writeFile(QStringLiteral("skins/broken.zip"), "not an archive");
    startProgram();
    QVERIFY(QTest::qWaitForWindowExposed(&form1().window()));
    const QImage before = grabPreview();
    const QString selectorFolder = form2().Dir1().path();

    QVERIFY(!dropOn(form1().window(), urls, {600, 300}));
    QVERIFY(form2().isLoaded());
    QCOMPARE(form2().Dir1().path(), selectorFolder);
    QVERIFY(!QFile::exists(QStringLiteral("lastpath.skin")));
    QCOMPARE(grabPreview(), before);
}

// ---------------------------------------------------------------------------
// Closing

void PreviewTest::closeEndsProgram_data()
{
    QTest::addColumn<QString>("hotSpot");   // the label clicked, or "close request"
    QTest::addColumn<int>("before");        // menu item clicked first, 0 for none
    QTest::addColumn<bool>("selectorShown");

    QTest::newRow("Label8") << "Label8" << 0 << false;
    QTest::newRow("Label8, selector shown") << "Label8" << 0 << true;
    QTest::newRow("Label8, after My Collection") << "Label8" << 1 << false;
    QTest::newRow("Label11 on Desktop settings") << "Label11" << 3 << false;
    QTest::newRow("Label10 on ScreenSaver settings") << "Label10" << 4 << false;
    QTest::newRow("Label9 on Advanced settings") << "Label9" << 5 << false;
    QTest::newRow("Label9, selector shown") << "Label9" << 5 << true;
    QTest::newRow("close request of the window system") << "close request" << 0 << false;
}

void PreviewTest::closeEndsProgram()
{
    QFETCH(QString, hotSpot);
    QFETCH(int, before);
    QFETCH(bool, selectorShown);

    startProgram();
    if (before)
        click(menuItem(before));
    if (selectorShown) {
        click(form1().Label7());
        QVERIFY(form2().window().isVisible());
    }
    QWidget *target = hotSpot == QLatin1String("close request") ? nullptr : control(hotSpot);
    if (target)
        QVERIFY(target->isVisible());
    QPointer<QWidget> preview = &form1().window();
    QPointer<QWidget> selector = &form2().window();
    QVERIFY(!QFile::exists(QStringLiteral("lastpath.skin")));

    // The click comes while the application's event loop runs, which the
    // end of the program must stop with status 0.
    QTimer::singleShot(0, [&] {
        if (target)
            click(*target);
        else
            preview->close();
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(10000);
    const int status = QCoreApplication::exec();
    guard.stop();
    QCOMPARE(status, 0);

    QVERIFY(!form1().isLoaded());
    QVERIFY(!form2().isLoaded());
    QVERIFY(!preview || !preview->isVisible());
    QVERIFY(!selector || !selector->isVisible());

    // The selector saved its folder on the way out.
    QVERIFY(!form2().SkinFolder.isEmpty());
    QCOMPARE(readFile(QStringLiteral("work/lastpath.skin")),
             (form2().SkinFolder + QStringLiteral("\r\n")).toLocal8Bit());
}

QTEST_MAIN(PreviewTest)
#include "preview_test.moc"
