// The guides over the windows: Ctrl+G turns them on and off in each window,
// they leave the window as it was when off and let every click through, they
// follow what the window shows, name the file that filled each slot and
// hatch what a slot cuts off and leaves uncovered.

#include "support/fixture.h"
#include "support/saving.h"

#include "app/forms.h"
#include "forms/formwindow.h"
#include "forms/picturebox.h"
#include "preview/form1.h"
#include "selector/form2.h"
#include "skin/skinfiles.h"

#include <QFile>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <algorithm>
#include <optional>

namespace {

// The hatchings' colours, and the tags' of slots.
const QColor CutOff(255, 48, 48);
const QColor Uncovered(64, 160, 255);
const QColor SlotTag(255, 214, 0);
const QColor KeptTag(255, 128, 0);

// The tag whose first line is name, if there is one.
std::optional<GuideTag> tagNamed(const std::vector<GuideTag> &tags, const QString &name)
{
    for (const GuideTag &tag : tags) {
        if (tag.lines.value(0) == name)
            return tag;
    }
    return std::nullopt;
}

std::vector<GuideTag> windowTags(Form &form)
{
    return form.guideTags(form.window(), form.window().size());
}

// Where tags break the rule that each covers no other tag, none of the
// boxes it labels (inside which only a slot's tag may lie, or a list's at
// its bottom, away from its first entries), and no other control; with pictures too, also no picture but those that what
// it labels lies on (the background).
QStringList coverings(const std::vector<GuideTag> &tags, QSize window, bool pictures)
{
    QStringList faults;
    auto name = [](const GuideTag &tag) { return tag.lines.value(0); };
    for (const GuideTag &tag : tags) {
        if (!QRect(QPoint(0, 0), window).contains(tag.place))
            faults << name(tag) + QStringLiteral(": off the window");
        for (const GuideTag &other : tags) {
            if (&other == &tag)
                continue;
            if (other.place.intersects(tag.place))
                faults << name(tag) + QStringLiteral(" covers the tag of ") + name(other);
            for (const QRect &box : other.boxes) {
                const bool under = other.slot
                                   && std::all_of(tag.boxes.begin(), tag.boxes.end(),
                                                  [&](const QRect &own) { return box.contains(own.center()); });
                if (box.intersects(tag.place) && !under && (!other.slot || pictures))
                    faults << name(tag) + QStringLiteral(" covers ") + name(other);
            }
        }
        for (const QRect &box : tag.boxes) {
            const bool inside = tag.inside && box.contains(tag.place)
                                && (tag.slot || tag.place.top() > box.center().y());
            if (box.intersects(tag.place) && !inside)
                faults << name(tag) + QStringLiteral(" covers what it labels");
        }
    }
    return faults;
}

QImage rgb32(const QImage &image)
{
    return image.convertToFormat(QImage::Format_RGB32);
}

// The window as it draws itself now.
QImage drawn(Form &form)
{
    return rgb32(form.window().grab().toImage());
}

// What the window has put on the screen: its backing store, which holds
// only what was repainted since.
QImage onScreen(Form &form)
{
    QWidget &window = form.window();
    return rgb32(window.screen()->grabWindow(window.winId()).toImage());
}

void pressCtrlG(Form &form)
{
    QTest::keyClick(&form.window(), Qt::Key_G, Qt::ControlModifier);
}

// A click at a point of the window, delivered through its native window so
// that Qt finds the widget under the point as for a real click.
void clickAt(Form &form, QPoint point)
{
    QTest::mouseClick(form.window().windowHandle(), Qt::LeftButton, {}, point);
}

bool hasColour(const QImage &image, const QRect &area, const QColor &colour)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) == colour.rgb())
                return true;
    return false;
}

} // namespace

class GuidesTest : public Fixture
{
    Q_OBJECT

private:
    // The preview window, shown and active.
    Form1 &startPreview()
    {
        startProgram();
        if (!QTest::qWaitForWindowActive(&form1().window()))
            qWarning("the preview window did not become active");
        return form1();
    }

    // The selector shown over the preview window, active.
    Form2 &showSelector()
    {
        form2().show();
        if (!QTest::qWaitForWindowActive(&form2().window()))
            qWarning("the selector did not become active");
        return form2();
    }

private slots:
    // Off at the start; Ctrl+G draws them, Ctrl+G again leaves the window
    // exactly as before, on the screen too.
    void ctrlGTurnsThemOnAndOff_data()
    {
        QTest::addColumn<bool>("selector");
        QTest::addColumn<QPoint>("menuClick"); // null: none
        QTest::newRow("preview") << false << QPoint();
        QTest::newRow("preview with a panel") << false << QPoint(60, 118);
        QTest::newRow("selector") << true << QPoint();
    }

    void ctrlGTurnsThemOnAndOff()
    {
        QFETCH(bool, selector);
        QFETCH(QPoint, menuClick);
        writeBmp(QStringLiteral("skin/backsettings.bmp"), Qt::darkGreen, {500, 400});
        ApplySkin(startPreview(), path(QStringLiteral("skin")));
        if (!menuClick.isNull())
            clickAt(form1(), menuClick);
        Form &form = selector ? static_cast<Form &>(showSelector()) : static_cast<Form &>(form1());
        QVERIFY(!form.guidesShown());
        const QImage before = drawn(form);
        QTRY_COMPARE(onScreen(form), before);

        pressCtrlG(form);
        QVERIFY(form.guidesShown());
        const QImage withGuides = drawn(form);
        QVERIFY(withGuides != before);
        QTRY_COMPARE(onScreen(form), withGuides);

        pressCtrlG(form);
        QVERIFY(!form.guidesShown());
        QCOMPARE(drawn(form), before);
        QTRY_COMPARE(onScreen(form), before);
    }

    // Every click reaches what it reached without the guides.
    void clicksGoThroughThem()
    {
        Form1 &preview = startPreview();
        pressCtrlG(preview);
        clickAt(preview, {60, 118}); // "Desktop settings"
        QVERIFY(preview.Picture2().isVisible());
        QCOMPARE(preview.Label3().foreColor(), RGB(255, 0, 0));
        clickAt(preview, {60, 25}); // the logo
        QVERIFY(form2().window().isVisible());
    }

    // Each window has its own switch; the selector's outlives its unload,
    // and a new start has them off.
    void eachWindowHasItsOwnSwitch()
    {
        startPreview();
        Form2 &selector = showSelector();
        // Also while the path box, which takes keys, has the focus.
        selector.Text1().setFocus();
        QTest::keyClick(&selector.Text1(), Qt::Key_G, Qt::ControlModifier);
        QVERIFY(selector.guidesShown());
        QCOMPARE(selector.Text1().text(), QString());
        QVERIFY(!form1().guidesShown());

        clickAt(selector, {60, 25}); // the logo closes the selector
        QTRY_VERIFY(!selector.isLoaded());
        showSelector();
        QVERIFY(selector.guidesShown());
        const QImage withGuides = drawn(selector);
        selector.setGuidesShown(false);
        QVERIFY(drawn(selector) != withGuides);

        releaseForms();
        startPreview();
        QVERIFY(!form1().guidesShown());
        QVERIFY(!showSelector().guidesShown());
    }

    // The marks follow the window while they are on, also where they reach
    // beyond what changed: a menu item's colour named beside it, the rows
    // a sticker no longer cuts off, the background's tag moving when a
    // panel goes, a picture previewed in the selector.
    void theyFollowTheWindow()
    {
        writeBmp(QStringLiteral("skin/sticker_background.bmp"), Qt::darkGreen, {178, 300});
        writeBmp(QStringLiteral("selected/background.bmp"), Qt::darkBlue, {700, 600});
        Form1 &preview = startPreview();
        pressCtrlG(preview);
        QTRY_COMPARE(onScreen(preview), drawn(preview));

        clickAt(preview, {60, 58}); // "My Collection": colours only
        QTRY_COMPARE(onScreen(preview), drawn(preview));
        clickAt(preview, {60, 118});
        QTRY_COMPARE(onScreen(preview), drawn(preview));
        ApplySkin(preview, path(QStringLiteral("skin")));
        QTRY_COMPARE(onScreen(preview), drawn(preview));
        preview.Picture2().hide();
        QTRY_COMPARE(onScreen(preview), drawn(preview));

        Form2 &selector = showSelector();
        pressCtrlG(selector);
        QTRY_COMPARE(onScreen(selector), drawn(selector));
        selector.Text1().setText(path(QStringLiteral("selected")));
        QTRY_COMPARE(onScreen(selector), drawn(selector));
    }

    // The file that filled a slot is the one the guides name: the last
    // that loaded, after the letter-case look-up; none while built in.
    void slotsKnowTheFileThatFilledThem_data()
    {
        QTest::addColumn<QStringList>("files"); // "name" a picture, "name=broken" bytes that do not decode
        QTest::addColumn<QString>("preview");   // the background's file, empty: built in
        QTest::addColumn<QString>("selector");

        QTest::newRow("none") << QStringList() << QString() << QString();
        QTest::newRow("plain wins over _us") << QStringList{"background_us.bmp", "background.bmp"}
                                             << "background.bmp" << "background.bmp";
        QTest::newRow("_us under a broken plain") << QStringList{"background_us.bmp", "background.bmp=broken"}
                                                  << "background_us.bmp" << "background_us.bmp";
        QTest::newRow("letter case") << QStringList{"BackGround.BMP"} << "BackGround.BMP" << "BackGround.BMP";
    }

    void slotsKnowTheFileThatFilledThem()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, preview);
        QFETCH(QString, selector);
        const QString skin = makeFolder(QStringLiteral("skin"));
        for (const QString &file : files) {
            if (file.endsWith(QLatin1String("=broken")))
                writeFile(QStringLiteral("skin/") + file.section(QLatin1Char('='), 0, 0), "BM not a picture");
            else
                writeBmp(QStringLiteral("skin/") + file, Qt::darkCyan, {800, 600});
        }
        auto expected = [&](const QString &name) { return name.isEmpty() ? name : skin + QLatin1Char('/') + name; };

        startProgram();
        ApplySkin(form1(), skin);
        auto &previewWindow = static_cast<FormWindow &>(form1().window());
        QCOMPARE(previewWindow.pictureSource(), expected(preview));
        QCOMPARE(form1().Picture1().pictureSource(), QString());

        form2().Dir1().setPath(skin);
        QCOMPARE(static_cast<FormWindow &>(form2().window()).pictureSource(), expected(selector));
        // A selector loaded anew starts from its built-in background.
        form2().unload();
        form2().SkinFolder.clear();
        QCOMPARE(static_cast<FormWindow &>(form2().window()).pictureSource(), QString());
    }

    // A slot that keeps its picture because the last skin loaded into it
    // had no file for it that loads says so, in the colour of that state,
    // and names no file that did not fill it.
    void keptSlotsSaySo_data()
    {
        QTest::addColumn<QStringList>("first"); // the files of the skin applied first: "name", "name=broken"
        QTest::addColumn<QStringList>("then");  // and of the one applied after it
        QTest::addColumn<bool>("selector");     // the selector's preview of the two folders in turn
        QTest::addColumn<QString>("slot");
        QTest::addColumn<QString>("says");
        QTest::addColumn<bool>("kept");

        const QStringList full = {"background.bmp", "sticker_background.bmp"};
        QTest::newRow("sticker of an earlier skin") << full << QStringList{"background.bmp"} << false << "sticker"
                                                    << "kept from an earlier skin" << true;
        QTest::newRow("broken background") << full << QStringList{"background.bmp=broken"} << false << "background"
                                           << "kept: background.bmp does not load" << true;
        QTest::newRow("broken, the built-in one kept")
            << QStringList() << QStringList{"sticker_background.bmp=broken"} << false << "sticker"
            << "kept built-in: sticker_background.bmp does not load" << true;
        QTest::newRow("no sticker ever") << QStringList() << QStringList{"background.bmp"} << false << "sticker"
                                         << "built-in" << false;
        QTest::newRow("twin under a broken plain")
            << full << QStringList{"background_us.bmp", "background.bmp=broken"} << false << "background"
            << "background_us.bmp" << false;
        QTest::newRow("selector, broken background") << full << QStringList{"background.bmp=broken"} << true
                                                     << "background" << "kept: background.bmp does not load" << true;
        QTest::newRow("selector, no background") << full << QStringList{"sticker_background.bmp"} << true
                                                 << "background" << "kept from an earlier skin" << true;
    }

    void keptSlotsSaySo()
    {
        QFETCH(QStringList, first);
        QFETCH(QStringList, then);
        QFETCH(bool, selector);
        QFETCH(QString, slot);
        QFETCH(QString, says);
        QFETCH(bool, kept);
        auto skin = [&](const QString &folder, const QStringList &files) {
            const QString made = makeFolder(folder);
            for (const QString &file : files) {
                const QString name = file.section(QLatin1Char('='), 0, 0);
                if (file.endsWith(QLatin1String("=broken")))
                    writeFile(folder + QLatin1Char('/') + name, bmpBytes(Qt::darkRed, {800, 600}).left(1000));
                else
                    writeBmp(folder + QLatin1Char('/') + name, Qt::darkCyan,
                             name.startsWith(QLatin1String("sticker")) ? QSize(200, 300) : QSize(800, 600));
            }
            return made;
        };
        const QString a = skin(QStringLiteral("a"), first);
        const QString b = skin(QStringLiteral("b"), then);
        startProgram();
        Form &form = selector ? static_cast<Form &>(form2()) : static_cast<Form &>(form1());
        if (selector) {
            form2().Dir1().setPath(a);
            form2().picture(); // drawn, as a shown selector is
            form2().Dir1().setPath(b);
        } else {
            ApplySkin(form1(), a);
            ApplySkin(form1(), b);
        }
        const std::optional<GuideTag> tag = tagNamed(windowTags(form), slot);
        QVERIFY(tag);
        QCOMPARE(tag->lines.value(1), says);
        QCOMPARE(tag->colour, kept ? KeptTag : SlotTag);
        if (kept)
            QVERIFY(!tag->lines.join(QLatin1Char(' ')).contains(QLatin1String(".bmp picture")));
        // Drawn so too: the tag's stripe in that colour.
        form.setGuidesShown(true);
        QCOMPARE(drawn(form).pixelColor(tag->place.topLeft() + QPoint(1, 1)), kept ? KeptTag : SlotTag);
    }

    // While a skin is followed: a background saved broken is labelled as
    // kept until it is saved whole again, and one removed as gone.
    void brokenWhileFollowedIsLabelledKept()
    {
        const QString skin = makeFolder(QStringLiteral("skin"));
        const QByteArray red = bmpBytes(Qt::red, {640, 480});
        save(skin + QStringLiteral("/background.bmp"), red, Save::InPlace);
        startProgram(skin);
        auto says = [&] { return tagNamed(windowTags(form1()), QStringLiteral("background"))->lines.value(1); };
        QCOMPARE(says(), QStringLiteral("background.bmp"));

        save(skin + QStringLiteral("/background.bmp"), red.left(1000), Save::InPlace);
        QTRY_COMPARE_WITH_TIMEOUT(says(), QStringLiteral("kept: background.bmp does not load"), 10000);
        save(skin + QStringLiteral("/background.bmp"), bmpBytes(Qt::blue, {640, 480}), Save::Rename);
        QTRY_COMPARE_WITH_TIMEOUT(says(), QStringLiteral("background.bmp"), 10000);
        QCOMPARE(form1().picture().pixelColor(0, 0), QColor(Qt::blue));
        // Removed, it is named as gone.
        QVERIFY(QFile::remove(skin + QStringLiteral("/background.bmp")));
        QTRY_COMPARE_WITH_TIMEOUT(says(), QStringLiteral("kept: background.bmp is gone"), 10000);
    }

    // Tags cover no other tag, nothing they label and no other control, in
    // every state of both windows; beside no panel they cover no picture
    // either but the background, and beside one the menu's stay off the
    // panel's heading. Identical neighbours share one tag.
    void tagsCoverNothing_data()
    {
        QTest::addColumn<bool>("selector");
        QTest::addColumn<QPoint>("menuClick"); // null: none
        QTest::addColumn<bool>("panel");
        QTest::newRow("preview") << false << QPoint() << false;
        QTest::newRow("My Collection") << false << QPoint(60, 58) << false;
        QTest::newRow("Desktop settings") << false << QPoint(60, 118) << true;
        QTest::newRow("ScreenSaver settings") << false << QPoint(60, 148) << true;
        QTest::newRow("Advanced settings") << false << QPoint(60, 178) << true;
        QTest::newRow("Go to Website") << false << QPoint(60, 208) << false;
        QTest::newRow("selector") << true << QPoint() << false;
    }

    void tagsCoverNothing()
    {
        QFETCH(bool, selector);
        QFETCH(QPoint, menuClick);
        QFETCH(bool, panel);
        // A path in the selector as long as a skin folder's may be.
        const QString skin = makeFolder(QStringLiteral("skins/a longer name for a skin folder/Skin"));
        startProgram();
        if (!menuClick.isNull())
            clickAt(form1(), menuClick);
        if (selector)
            form2().Dir1().setPath(skin);
        Form &form = selector ? static_cast<Form &>(form2()) : static_cast<Form &>(form1());
        const std::vector<GuideTag> tags = windowTags(form);
        const QStringList faults = coverings(tags, form.window().size(), !panel);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));

        auto count = [&](const QString &first) {
            return std::count_if(tags.begin(), tags.end(),
                                 [&](const GuideTag &tag) { return tag.lines.value(0).startsWith(first); });
        };
        QCOMPARE(count(QStringLiteral("click: close")), 1);
        if (selector) {
            QCOMPARE(count(QStringLiteral("menu copy")), 1);
            QCOMPARE(tagNamed(tags, QStringLiteral("menu copy \u00b7 Arial 9.75pt bold \u00b7 #c8c8c8"))->boxes.size(), 6u);
        } else if (menuClick.isNull()) {
            QCOMPARE(count(QStringLiteral("click: menu")), 1);
        } else {
            QVERIFY(count(QStringLiteral("click: menu")) <= 3);
        }
        if (panel) {
            const QRect heading(184, 0, 615, 60);
            for (const GuideTag &tag : tags) {
                if (tag.lines.value(0).startsWith(QLatin1String("click: menu")))
                    QVERIFY2(!tag.place.intersects(heading), qPrintable(tag.lines.value(0)));
            }
        }
    }

    // What a slot cuts off of its picture and what the picture leaves
    // uncovered are hatched where they show, each in its own way.
    void hatchingShowsWhatIsLost_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QSize>("size");      // empty: no file, the built-in picture
        QTest::addColumn<QPoint>("menuClick"); // null: no panel
        QTest::addColumn<QRect>("area");      // in window coordinates
        QTest::addColumn<QColor>("present");
        QTest::addColumn<QColor>("absent");

        const QPoint desktop(60, 118);
        QTest::newRow("panel too small") << "backsettings.bmp" << QSize(600, 599) << desktop
                                         << QRect(786, 30, 12, 540) << Uncovered << CutOff;
        QTest::newRow("panel too large") << "backsettings.bmp" << QSize(700, 700) << desktop
                                         << QRect(190, 599, 590, 1) << CutOff << Uncovered;
        QTest::newRow("built-in sticker, 4 rows cut off") << "" << QSize() << QPoint()
                                                          << QRect(5, 591, 178, 4) << CutOff << Uncovered;
        QTest::newRow("sticker too small") << "sticker_background.bmp" << QSize(178, 300) << QPoint()
                                           << QRect(5, 534, 178, 57) << Uncovered << CutOff;
        QTest::newRow("background too small") << "background.bmp" << QSize(700, 600) << QPoint()
                                              << QRect(700, 100, 100, 400) << Uncovered << CutOff;
        // Under a panel the background's lack does not show.
        QTest::newRow("background too small, under a panel") << "background.bmp" << QSize(700, 600) << desktop
                                                             << QRect(700, 100, 99, 400) << QColor() << Uncovered;
    }

    void hatchingShowsWhatIsLost()
    {
        QFETCH(QString, file);
        QFETCH(QSize, size);
        QFETCH(QPoint, menuClick);
        QFETCH(QRect, area);
        QFETCH(QColor, present);
        QFETCH(QColor, absent);
        // Plain pictures, in colours of neither hatching.
        writeBmp(QStringLiteral("skin/background.bmp"), Qt::gray, {800, 600});
        if (!file.isEmpty())
            writeBmp(QStringLiteral("skin/") + file, Qt::gray, size);
        Form1 &preview = startPreview();
        ApplySkin(preview, path(QStringLiteral("skin")));
        if (!menuClick.isNull())
            clickAt(preview, menuClick);
        preview.setGuidesShown(true);
        const QImage shown = drawn(preview);
        if (present.isValid())
            QVERIFY2(hasColour(shown, area, present), "the hatching is missing");
        QVERIFY2(!hasColour(shown, area, absent), "the other hatching is there");
    }

    // A picture box's guides alone, in its own coordinates: the layer that
    // the template lays over a panel's picture.
    void guidesOfOnePicture()
    {
        Form1 &preview = startPreview();
        const QImage layer = preview.guidesPicture(preview.Picture2(), {616, 600});
        QCOMPARE(layer.size(), QSize(616, 600));
        QCOMPARE(qAlpha(layer.pixel(300, 300)), 0);
        QVERIFY(hasColour(rgb32(layer), {615, 0, 1, 600}, CutOff));
        QVERIFY(hasColour(rgb32(layer), {0, 599, 616, 1}, CutOff));
        // Nothing of the window's own marks: the logo is far off.
        QVERIFY(!hasColour(rgb32(layer), {0, 40, 300, 500}, CutOff));
        QVERIFY(!preview.Picture2().isVisible());
    }
};

QTEST_MAIN(GuidesTest)
#include "guides_test.moc"
