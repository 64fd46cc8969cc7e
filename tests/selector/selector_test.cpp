#include "support/archives.h"
#include "support/fixture.h"

#include "app/forms.h"
#include "forms/formwindow.h"
#include "forms/picturebox.h"
#include "preview/form1.h"
#include "selector/form2.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QPointer>
#include <QTest>

#include <algorithm>
#include <array>

namespace {

// Stops the test function as soon as a helper has recorded a failure.
#define CHECKED(call)                                                                                        \
    do {                                                                                                     \
        call;                                                                                                \
        if (QTest::currentTestFailed())                                                                      \
            return;                                                                                          \
    } while (false)

const QString Instructions = QStringLiteral(
    "Instructions:\r\n"
    "Double Click on a folder in the left to Select a SKINS folder.\r\n"
    "You will see the List of Files show up in the File List Window.\r\n"
    "Once you have a Skins Folder Selected and can see the List of files\r\n"
    "Click On the Logo again or close this window.");

const QColor ListGrey(224, 224, 224);
const QColor Red(255, 0, 0);
const QColor Green(0, 160, 0);
const QColor Blue(0, 0, 255);

QStringList sorted(QStringList names)
{
    std::sort(names.begin(), names.end());
    return names;
}

// Clicks a window where a user would, on the control that the window finds
// there; fails if another control (or none) lies at that point.
bool clickAt(QWidget &window, QPoint point, QWidget *expected)
{
    QWidget *hit = window.childAt(point);
    if (hit != expected) {
        qWarning("the click at %d, %d lands on %s", point.x(), point.y(),
                 hit ? qPrintable(hit->objectName()) : "the window itself");
        return false;
    }
    QTest::mouseClick(hit, Qt::LeftButton, {}, hit->mapFrom(&window, point));
    return true;
}

QPoint centreOf(const QWidget &control)
{
    return control.geometry().center();
}

// The row of the folder list that shows the folder, or -1.
int rowOf(const QString &folder)
{
    return int(form2().Dir1().entryPaths().indexOf(folder));
}

bool doubleClickEntry(const QString &folder)
{
    return clickFolderEntry(form2().Dir1(), folder, 2);
}

bool singleClickEntry(const QString &folder)
{
    return clickFolderEntry(form2().Dir1(), folder, 1);
}

// Loads the preview window as the program does and clicks its logo.
bool openSelector()
{
    if (!form1().isLoaded()) {
        startProgram();
        if (!QTest::qWaitForWindowExposed(&form1().window()))
            return false;
    }
    if (!clickAt(form1().window(), centreOf(form1().Label7()), &form1().Label7()))
        return false;
    return form2().isLoaded() && form2().window().isVisible()
           && QTest::qWaitForWindowExposed(&form2().window());
}

// A skin picture that covers its whole slot.
constexpr QSize BackgroundSize(800, 600);
constexpr QSize StickerSize(178, 357);
constexpr QSize PanelSize(615, 599);

struct SkinColours
{
    QColor background, sticker, desktop, screenSaver, advanced;
};

const SkinColours FullSkin = {QColor(10, 20, 30), QColor(40, 50, 60), QColor(70, 80, 90),
                              QColor(100, 110, 120), QColor(130, 140, 150)};

} // namespace

class SelectorTest : public Fixture
{
    Q_OBJECT

private:
    // The working directory as the program sees it (symbolic links resolved).
    static QString here() { return QDir::currentPath(); }

    // A folder below the working directory, by its path relative to it.
    QString workFolder(const QString &relative) const
    {
        return makeFolder(QStringLiteral("work/") + relative);
    }

    // The folders the browsing tests walk through, below the working
    // directory:
    //   skin   - background_us.bmp (blue), a prefix of the next two
    //   skinA  - background.bmp (red) and a mix of files, only some BMPs;
    //            skinA/plain holds a BMP but no background; skinA/y.bmp is a folder
    //   skinB  - background_us.bmp (green), no subfolders
    //   empty  - nothing
    void makeBrowsingTree()
    {
        writeBmp(QStringLiteral("work/skin/background_us.bmp"), Blue);
        writeBmp(QStringLiteral("work/skinA/background.bmp"), Red);
        writeBmp(QStringLiteral("work/skinA/a.bmp"), Qt::white);
        writeBmp(QStringLiteral("work/skinA/B.BMP"), Qt::white);
        writeBmp(QStringLiteral("work/skinA/c.Bmp"), Qt::white);
        writeBmp(QStringLiteral("work/skinA/d.bmpx"), Qt::white);
        writeBmp(QStringLiteral("work/skinA/.x.bmp"), Qt::white);
        writeFile(QStringLiteral("work/skinA/e.txt"), "text");
        writeFile(QStringLiteral("work/skinA/bmp"), "no extension");
        workFolder(QStringLiteral("skinA/y.bmp"));
        writeBmp(QStringLiteral("work/skinA/plain/p.bmp"), Qt::white);
        writeBmp(QStringLiteral("work/skinB/background_us.bmp"), Green);
        workFolder(QStringLiteral("empty"));
    }

    static QStringList filesOf(const QString &folderName)
    {
        if (folderName == QLatin1String("skin"))
            return {QStringLiteral("background_us.bmp")};
        if (folderName == QLatin1String("skinA"))
            return {QStringLiteral("a.bmp"), QStringLiteral("B.BMP"), QStringLiteral("background.bmp"),
                    QStringLiteral("c.Bmp")};
        if (folderName == QLatin1String("skinA/plain"))
            return {QStringLiteral("p.bmp")};
        if (folderName == QLatin1String("skinB"))
            return {QStringLiteral("background_us.bmp")};
        return {};
    }

    // Writes every skin file, each picture covering its slot.
    QString makeFullSkin(const QString &relative, const SkinColours &colours)
    {
        writeBmp(relative + QStringLiteral("/background.bmp"), colours.background, BackgroundSize);
        writeBmp(relative + QStringLiteral("/sticker_background.bmp"), colours.sticker, StickerSize);
        writeBmp(relative + QStringLiteral("/backsettings.bmp"), colours.desktop, PanelSize);
        writeBmp(relative + QStringLiteral("/backscreensaver.bmp"), colours.screenSaver, PanelSize);
        writeBmp(relative + QStringLiteral("/backadvanced.bmp"), colours.advanced, PanelSize);
        return path(relative);
    }

    // The selector's three controls, SkinFolder and background agree on the
    // folder. An invalid colour stands for the built-in background.
    void expectSelector(const QString &folder, const QString &box, const QStringList &files,
                        const QString &skinFolder, const QColor &background)
    {
        Form2 &selector = form2();
        QCOMPARE(selector.Dir1().path(), folder);
        QCOMPARE(selector.Text1().text(), box);
        QCOMPARE(selector.SkinFolder, skinFolder);
        QCOMPARE(sorted(selector.File1().fileNames()), sorted(files));
        QVERIFY(selector.Dir1().entryPaths().contains(folder));
        if (background.isValid()) {
            QCOMPARE(selector.picture().pixelColor(0, 0), background);
            QCOMPARE(pixelAt(selector.window(), {2, 2}), background);
        } else {
            QVERIFY(selector.picture() == m_builtInBackground);
        }
    }

    // The preview window's slots show the skin.
    void expectPreviewSkin(const SkinColours &colours)
    {
        Form1 &preview = form1();
        QCOMPARE(preview.picture().pixelColor(400, 300), colours.background);
        QCOMPARE(preview.Picture1().picture().pixelColor(100, 100), colours.sticker);
        QCOMPARE(preview.Picture2().picture().pixelColor(300, 300), colours.desktop);
        QCOMPARE(preview.Picture3().picture().pixelColor(300, 300), colours.screenSaver);
        QCOMPARE(preview.Picture4().picture().pixelColor(300, 300), colours.advanced);
        QCOMPARE(pixelAt(preview.window(), {600, 20}), colours.background);
        QCOMPARE(pixelAt(preview.window(), {90, 400}), colours.sticker);
    }

    std::array<QImage, 5> previewPictures()
    {
        Form1 &preview = form1();
        return {preview.picture(), preview.Picture1().picture(), preview.Picture2().picture(),
                preview.Picture3().picture(), preview.Picture4().picture()};
    }

    QByteArray lastPathFile() const { return readFile(QStringLiteral("work/lastpath.skin")); }

    static QByteArray lastPathLine(const QString &folder) { return QFile::encodeName(folder) + "\r\n"; }

    QImage m_builtInBackground{QStringLiteral(":/background.bmp")};

private slots:
    void initTestCase()
    {
        QVERIFY(!m_builtInBackground.isNull());
    }

    // ---- Layout at load ----

    void layout_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("caption");     // labels only
        QTest::addColumn<QString>("face");        // empty: the desktop's default font
        QTest::addColumn<double>("points");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QString>("textColour"); // "grey", "default" or "" (no text)
        QTest::addColumn<QColor>("background");  // invalid: transparent label
        QTest::addColumn<QString>("previewTwin"); // the preview window's menu item at the same place

        auto row = [](const char *name, QRect geometry, const QString &caption, const char *face, double points,
                      bool bold, const char *textColour, QColor background = {}, const char *twin = "") {
            QTest::newRow(name) << QString::fromLatin1(name) << geometry << caption << QString::fromLatin1(face)
                                << points << bold << QString::fromLatin1(textColour) << background
                                << QString::fromLatin1(twin);
        };
        row("Dir1", {233, 68, 288, 441}, {}, "", 0, false, "", ListGrey);
        row("File1", {572, 327, 171, 188}, {}, "", 0, false, "", ListGrey);
        row("Text1", {233, 539, 521, 18}, {}, "Arial", 8.25, false, "", ListGrey);
        row("Label11", {232, 45, 268, 26}, "Find a Skins folder in the list below", "Arial", 12, false, "default");
        row("Label10", {571, 304, 172, 22}, "Files in Selected Folder", "Arial", 12, false, "default");
        row("Label12", {234, 516, 294, 25}, "Force a different path by typing it in below", "Arial", 12, false,
            "default");
        row("Label1", {548, 54, 198, 232}, Instructions, "Arial", 12, false, "default");
        row("Label9", {35, 49, 95, 19}, "My Collection", "Arial", 9.75, true, "grey", {}, "Label1");
        row("Label8", {35, 79, 105, 19}, "Full Collection", "Arial", 9.75, true, "grey", {}, "Label2");
        row("Label7", {35, 109, 110, 19}, "Desktop settings", "Arial", 9.75, true, "grey", {}, "Label3");
        row("Label4", {34, 139, 151, 19}, "ScreenSaver settings", "Arial", 9.75, true, "grey", {}, "Label4");
        row("Label5", {35, 169, 132, 19}, "Advanced settings", "Arial", 9.75, true, "grey", {}, "Label5");
        row("Label6", {35, 199, 95, 19}, "Go to Website", "Arial", 9.75, true, "grey", {}, "Label6");
        row("Label3", {13, 12, 176, 29}, {}, "", 0, false, "");
        row("Label2", {781, 3, 17, 13}, {}, "", 0, false, "");
    }

    // Every control of the selector as the start-up load leaves it.
    void layout()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, caption);
        QFETCH(QString, face);
        QFETCH(double, points);
        QFETCH(bool, bold);
        QFETCH(QString, textColour);
        QFETCH(QColor, background);
        QFETCH(QString, previewTwin);

        startProgram(); // loads the selector, hidden
        QWidget &window = form2().window();
        QVERIFY(!window.isVisible());
        auto *control = window.findChild<QWidget *>(name);
        QVERIFY(control);
        QCOMPARE(control->parentWidget(), &window);
        QCOMPARE(control->geometry(), geometry);
        QVERIFY(control->isVisibleTo(&window));

        if (face.isEmpty()) {
            if (background.isValid()) // the lists
                QCOMPARE(control->font(), QApplication::font(control));
        } else {
            QCOMPARE(control->font().family(), face);
            QCOMPARE(control->font().pointSizeF(), points);
            QCOMPARE(control->font().bold(), bold);
        }

        if (auto *label = qobject_cast<Label *>(control)) {
            QCOMPARE(label->caption(), caption);
            if (textColour == QLatin1String("grey"))
                QVERIFY(label->foreColor() == RGB(200, 200, 200));
            else if (textColour == QLatin1String("default"))
                QVERIFY(label->foreColor() == Color(SystemColor::ButtonText));
            QCOMPARE(label->focusPolicy(), Qt::NoFocus);
        }
        if (background.isValid()) {
            // A spot that no entry or text covers.
            QCOMPARE(pixelAt(*control, {geometry.width() - 10, geometry.height() - 5}), background);
        }
        if (!previewTwin.isEmpty()) {
            auto *twin = form1().window().findChild<Label *>(previewTwin);
            QVERIFY(twin);
            QCOMPARE(control->geometry(), twin->geometry());
            QCOMPARE(control->font(), twin->font());
        }
    }

    void windowAtLoad()
    {
        startProgram();
        QWidget &window = form2().window();
        QCOMPARE(window.windowTitle(), QStringLiteral("Skin Selector"));
        QCOMPARE(window.size(), QSize(800, 600));
        QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(form2().picture() == m_builtInBackground);
        QCOMPARE(form2().File1().pattern().toLower(), QStringLiteral("*.bmp"));
        QCOMPARE(form2().Text1().text(), QString());
        QCOMPARE(form2().Dir1().path(), here());
        QCOMPARE(form2().File1().path(), here());
        QCOMPARE(form2().InstructionText, Instructions);
    }

    // Each load starts again from the design: the instructions are not
    // appended twice and the menu copies are grey again.
    void reloadStartsFromTheDesign()
    {
        QVERIFY(openSelector());
        QVERIFY(clickAt(form2().window(), centreOf(form2().Label2()), &form2().Label2()));
        QVERIFY(!form2().isLoaded());
        QVERIFY(openSelector());
        QCOMPARE(form2().Label1().caption(), Instructions);
        QCOMPARE(form2().InstructionText, Instructions);
        for (Label *copy : {&form2().Label4(), &form2().Label5(), &form2().Label6(), &form2().Label7(),
                            &form2().Label8(), &form2().Label9()})
            QVERIFY(copy->foreColor() == RGB(200, 200, 200));
        // Drawn as well as stored: the instructions' first line is on screen.
        const QImage shot = form2().window().grab().toImage();
        QVERIFY(shot.copy(form2().Label1().geometry()) != m_builtInBackground.copy(form2().Label1().geometry()));
    }

    void focusAndTabOrder()
    {
        QVERIFY(openSelector());
        QWidget &window = form2().window();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(QApplication::focusWidget(), &form2().Dir1());
        QVERIFY(form2().Dir1().hasFocus());

        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), &form2().File1());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), &form2().Text1());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), &form2().Dir1());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), &form2().Text1());
    }

    // The selector copies the preview window's place whenever it loads, and
    // only then.
    void placementFollowsThePreviewWindowAtLoad()
    {
        startProgram();
        QWidget &preview = form1().window();
        QCOMPARE(form2().window().pos(), preview.pos());

        QVERIFY(openSelector());
        QCOMPARE(form2().window().geometry(), preview.geometry());
        QVERIFY(clickAt(form2().window(), centreOf(form2().Label3()), &form2().Label3()));
        QVERIFY(!form2().isLoaded());

        preview.move(120, 140);
        QCOMPARE(preview.pos(), QPoint(120, 140));
        QVERIFY(openSelector());
        QCOMPARE(form2().window().pos(), QPoint(120, 140));
        QCOMPARE(form2().window().geometry(), preview.geometry());

        // Already loaded: showing it again moves nothing.
        preview.move(10, 20);
        QVERIFY(openSelector());
        QCOMPARE(form2().window().pos(), QPoint(120, 140));

        form2().window().close();
        QVERIFY(!form2().isLoaded());
        QVERIFY(openSelector());
        QCOMPARE(form2().window().pos(), QPoint(10, 20));
    }

    // ---- Browsing ----

    void doubleClickMovesEverything()
    {
        makeBrowsingTree();
        QVERIFY(openSelector());
        const QString w = here();
        CHECKED(expectSelector(w, QString(), {}, QString(), {}));

        QVERIFY(doubleClickEntry(w + QStringLiteral("/skinA")));
        CHECKED(expectSelector(w + QStringLiteral("/skinA"), w + QStringLiteral("/skinA"), filesOf("skinA"),
                               w + QStringLiteral("/skinA"), Red));

        // A folder without background files keeps the last one.
        QVERIFY(doubleClickEntry(w + QStringLiteral("/skinA/plain")));
        CHECKED(expectSelector(w + QStringLiteral("/skinA/plain"), w + QStringLiteral("/skinA/plain"),
                               filesOf("skinA/plain"), w + QStringLiteral("/skinA/plain"), Red));

        // Up to an ancestor, then into a sibling that lies far down the list.
        QVERIFY(doubleClickEntry(w));
        CHECKED(expectSelector(w, w, {}, w, Red));
        QVERIFY(doubleClickEntry(w + QStringLiteral("/skinB")));
        CHECKED(expectSelector(w + QStringLiteral("/skinB"), w + QStringLiteral("/skinB"), filesOf("skinB"),
                               w + QStringLiteral("/skinB"), Green));
        // The list shows the new folder's ancestors and no stale entries.
        QStringList expectedEntries;
        for (QString folder = w + QStringLiteral("/skinB"); folder != QLatin1String("/");
             folder = QFileInfo(folder).path())
            expectedEntries.prepend(folder);
        expectedEntries.prepend(QStringLiteral("/"));
        QCOMPARE(form2().Dir1().entryPaths(), expectedEntries);

        const QString grandParent = QFileInfo(w).path();
        QVERIFY(doubleClickEntry(grandParent));
        CHECKED(expectSelector(grandParent, grandParent, {}, grandParent, Green));
        QVERIFY(form2().Dir1().entryPaths().contains(w));
        QVERIFY(!form2().Dir1().entryPaths().contains(w + QStringLiteral("/skinB")));

        QVERIFY(doubleClickEntry(QStringLiteral("/")));
        QCOMPARE(form2().Dir1().path(), QStringLiteral("/"));
        QCOMPARE(form2().Text1().text(), QStringLiteral("/"));
        QCOMPARE(form2().SkinFolder, QStringLiteral("/"));
    }

    // A single click only selects; Enter on the selected entry opens it.
    void singleClickSelectsEnterOpens()
    {
        makeBrowsingTree();
        QVERIFY(openSelector());
        const QString w = here();

        QVERIFY(singleClickEntry(w + QStringLiteral("/skinA")));
        QCOMPARE(form2().Dir1().currentIndex().row(), rowOf(w + QStringLiteral("/skinA")));
        CHECKED(expectSelector(w, QString(), {}, QString(), {}));
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        CHECKED(expectSelector(w, QString(), {}, QString(), {}));

        QTest::keyClick(&form2().Dir1(), Qt::Key_Return);
        CHECKED(expectSelector(w + QStringLiteral("/skinA"), w + QStringLiteral("/skinA"), filesOf("skinA"),
                               w + QStringLiteral("/skinA"), Red));

        // A click in the file list changes nothing either.
        FileListBox &files = form2().File1();
        const QModelIndex first = files.model()->index(0, 0);
        QTest::mouseClick(files.viewport(), Qt::LeftButton, {}, files.visualRect(first).center());
        QCOMPARE(files.currentIndex(), first);
        CHECKED(expectSelector(w + QStringLiteral("/skinA"), w + QStringLiteral("/skinA"), filesOf("skinA"),
                               w + QStringLiteral("/skinA"), Red));

        // Keyboard selection of the parent entry, then Enter (keypad).
        QVERIFY(singleClickEntry(w + QStringLiteral("/skinA")));
        QTest::keyClick(&form2().Dir1(), Qt::Key_Up);
        QCOMPARE(form2().Dir1().currentIndex().row(), rowOf(w));
        QTest::keyClick(&form2().Dir1(), Qt::Key_Enter);
        CHECKED(expectSelector(w, w, {}, w, Red));
    }

    // A folder that vanished after it was listed is refused, and the list
    // shows what is there now.
    void vanishedFolderIsRefused()
    {
        makeBrowsingTree();
        const QString gone = workFolder(QStringLiteral("gone"));
        QVERIFY(openSelector());
        const QString w = here();
        QVERIFY(rowOf(w + QStringLiteral("/gone")) >= 0);
        QVERIFY(QDir(gone).removeRecursively());

        QVERIFY(doubleClickEntry(w + QStringLiteral("/gone")));
        CHECKED(expectSelector(w, QString(), {}, QString(), {}));
        QCOMPARE(rowOf(w + QStringLiteral("/gone")), -1);
        QVERIFY(rowOf(w + QStringLiteral("/skinA")) >= 0);

        // The list still works afterwards.
        QVERIFY(doubleClickEntry(w + QStringLiteral("/skinB")));
        CHECKED(expectSelector(w + QStringLiteral("/skinB"), w + QStringLiteral("/skinB"), filesOf("skinB"),
                               w + QStringLiteral("/skinB"), Green));
    }

    void typing_data()
    {
        // "{W}" stands for the working directory.
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("folder");  // where the list comes to rest, relative to {W}
        QTest::addColumn<QString>("box");     // what the path box holds at the end
        QTest::addColumn<QColor>("background");

        QTest::newRow("folder") << "{W}/skinA" << "skinA" << "{W}/skinA" << Red;
        QTest::newRow("through a prefix folder") << "{W}/skinB" << "skinB" << "{W}/skinB" << Green;
        QTest::newRow("folder without background after a prefix")
            << "{W}/skinA/plain" << "skinA/plain" << "{W}/skinA/plain" << Red;
        QTest::newRow("trailing slash stays in the box") << "{W}/skinA/" << "skinA" << "{W}/skinA/" << Red;
        QTest::newRow("doubled slash is rewritten") << "/{W}/skinB" << "skinB" << "{W}/skinB" << Green;
        QTest::newRow("dot-dot is rewritten") << "{W}/skinA/plain/.." << "skinA" << "{W}/skinA" << Red;
        QTest::newRow("missing tail") << "{W}/skinA/nothere" << "skinA" << "{W}/skinA/nothere" << Red;
        QTest::newRow("file instead of folder") << "{W}/skinA/a.bmp" << "skinA" << "{W}/skinA/a.bmp" << Red;
    }

    // Typing runs the box's change after every character; prefixes that
    // name folders move the list, and it all comes to rest at the end.
    void typing()
    {
        QFETCH(QString, typed);
        QFETCH(QString, folder);
        QFETCH(QString, box);
        QFETCH(QColor, background);

        makeBrowsingTree();
        QVERIFY(openSelector());
        const QString w = here();
        typed.replace(QLatin1String("{W}"), w);
        box.replace(QLatin1String("{W}"), w);
        folder = w + QLatin1Char('/') + folder;

        QTest::keyClicks(&form2().Text1(), typed);
        CHECKED(expectSelector(folder, box, filesOf(QDir(w).relativeFilePath(folder)), folder, background));
        QCOMPARE(form2().File1().path(), folder);
    }

    void typingTrailingSlashIsNoChange()
    {
        makeBrowsingTree();
        QVERIFY(openSelector());
        const QString skinA = here() + QStringLiteral("/skinA");
        QTest::keyClicks(&form2().Text1(), skinA);
        CHECKED(expectSelector(skinA, skinA, filesOf("skinA"), skinA, Red));

        // The slash typed after the folder shown changes nothing but the box.
        int changes = 0;
        QObject::connect(&form2().Dir1(), &DirListBox::change, [&] { ++changes; });
        QTest::keyClick(&form2().Text1(), Qt::Key_Slash);
        QCOMPARE(changes, 0);
        CHECKED(expectSelector(skinA, skinA + QLatin1Char('/'), filesOf("skinA"), skinA, Red));
        // Deleting it again changes nothing either.
        QTest::keyClick(&form2().Text1(), Qt::Key_Backspace);
        QCOMPARE(changes, 0);
        CHECKED(expectSelector(skinA, skinA, filesOf("skinA"), skinA, Red));
        // Deleting into the name goes back to the prefix folder "skin".
        QTest::keyClick(&form2().Text1(), Qt::Key_Backspace);
        QCOMPARE(changes, 1);
        CHECKED(expectSelector(here() + QStringLiteral("/skin"), here() + QStringLiteral("/skin"), filesOf("skin"),
                               here() + QStringLiteral("/skin"), Blue));
    }

    void pasting_data()
    {
        // "{W}" stands for the working directory; HOME is {W}/skinB.
        QTest::addColumn<QStringList>("pasted"); // one edit each, in order
        QTest::addColumn<QString>("folder");     // relative to {W}; "" = {W} itself
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("skinFolder");
        QTest::addColumn<QColor>("background"); // invalid: the built-in one

        QTest::newRow("existing folder") << QStringList{"{W}/skinA"} << "skinA" << "{W}/skinA" << "{W}/skinA" << Red;
        // The list moves, so the box takes the path as the list reports it.
        QTest::newRow("existing folder, trailing slash")
            << QStringList{"{W}/skinB/"} << "skinB" << "{W}/skinB" << "{W}/skinB" << Green;
        QTest::newRow("uncleaned path is rewritten")
            << QStringList{"{W}/./skinA//plain/../"} << "skinA" << "{W}/skinA" << "{W}/skinA" << Red;
        QTest::newRow("missing folder") << QStringList{"{W}/nothere"} << "" << "{W}/nothere" << "" << QColor();
        QTest::newRow("missing folder after a folder")
            << QStringList{"{W}/skinA", "{W}/nothere"} << "skinA" << "{W}/nothere" << "{W}/skinA" << Red;
        QTest::newRow("emptied after a folder")
            << QStringList{"{W}/skinA", ""} << "skinA" << "" << "{W}/skinA" << Red;
        QTest::newRow("relative path") << QStringList{"skinA"} << "" << "skinA" << "" << QColor();
        QTest::newRow("blank") << QStringList{"   "} << "" << "   " << "" << QColor();
        QTest::newRow("file") << QStringList{"{W}/skinA/a.bmp"} << "" << "{W}/skinA/a.bmp" << "" << QColor();
        QTest::newRow("home") << QStringList{"~"} << "skinB" << "{W}/skinB" << "{W}/skinB" << Green;
        QTest::newRow("below home") << QStringList{"~/../skinA"} << "skinA" << "{W}/skinA" << "{W}/skinA" << Red;
        QTest::newRow("other user's home") << QStringList{"~nobody-here"} << "" << "~nobody-here" << "" << QColor();
        QTest::newRow("folder without background keeps the last")
            << QStringList{"{W}/skinA", "{W}/empty"} << "empty" << "{W}/empty" << "{W}/empty" << Red;
        // Another form of the folder shown is no change: the box keeps it.
        QTest::newRow("same folder again, trailing slash")
            << QStringList{"{W}/skinA", "{W}/skinA/"} << "skinA" << "{W}/skinA/" << "{W}/skinA" << Red;
        QTest::newRow("same folder again, uncleaned")
            << QStringList{"{W}/skinA", "{W}//skinA/."} << "skinA" << "{W}//skinA/." << "{W}/skinA" << Red;
    }

    void pasting()
    {
        QFETCH(QStringList, pasted);
        QFETCH(QString, folder);
        QFETCH(QString, box);
        QFETCH(QString, skinFolder);
        QFETCH(QColor, background);

        makeBrowsingTree();
        QVERIFY(openSelector());
        const QString w = here();
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(w + QStringLiteral("/skinB")));
        for (QString text : pasted)
            form2().Text1().setText(text.replace(QLatin1String("{W}"), w));
        qputenv("HOME", home);

        folder = folder.isEmpty() ? w : w + QLatin1Char('/') + folder;
        box.replace(QLatin1String("{W}"), w);
        skinFolder.replace(QLatin1String("{W}"), w);
        CHECKED(expectSelector(folder, box, filesOf(QDir(w).relativeFilePath(folder)), skinFolder, background));
    }

    void pasteFromClipboard()
    {
        makeBrowsingTree();
        QVERIFY(openSelector());
        const QString w = here();
        QClipboard *clipboard = QApplication::clipboard();
        TextBox &box = form2().Text1();

        clipboard->setText(w + QStringLiteral("/nothere"));
        box.selectAll();
        box.paste();
        CHECKED(expectSelector(w, w + QStringLiteral("/nothere"), {}, QString(), {}));

        clipboard->setText(w + QStringLiteral("/skinA"));
        box.selectAll();
        box.paste();
        CHECKED(expectSelector(w + QStringLiteral("/skinA"), w + QStringLiteral("/skinA"), filesOf("skinA"),
                               w + QStringLiteral("/skinA"), Red));
    }

    // ---- Archives ----

    // Archives sit among the subfolders in the one order, marked: by name
    // and kind, so that a folder named like an archive stays a folder, and
    // a hidden archive stays hidden like any hidden file.
    void archivesAreListedAmongTheSubfolders()
    {
        const QString skin = makeFullSkin(QStringLiteral("src"), FullSkin);
        workFolder(QStringLiteral("alpha"));
        workFolder(QStringLiteral("zeta"));
        workFolder(QStringLiteral("fake.zip"));
        QVERIFY(packFolder(skin, path(QStringLiteral("work/Mid.zip"))));
        QVERIFY(packFolder(skin, path(QStringLiteral("work/beta.7z"))));
        QVERIFY(packFolder(skin, path(QStringLiteral("work/Upper.TAR.GZ"))));
        QVERIFY(packFolder(skin, path(QStringLiteral("work/.hidden.zip"))));
        writeFile(QStringLiteral("work/notes.txt"), "text");
        QVERIFY(openSelector());
        const QString w = here();

        DirListBox &list = form2().Dir1();
        const QStringList entries = list.entryPaths();
        const QStringList below = entries.mid(entries.indexOf(w) + 1);
        QStringList expected;
        for (const char *name : {"alpha", "beta.7z", "fake.zip", "Mid.zip", "Upper.TAR.GZ", "zeta"})
            expected.append(w + QLatin1Char('/') + QLatin1String(name));
        QCOMPARE(below, expected);
        QCOMPARE(list.archivePaths(), (QStringList{expected[1], expected[3], expected[4]}));

        // The mark shows: an archive's icon is not a folder's.
        const auto iconOf = [&](const QString &entry) {
            return list.model()->index(int(entries.indexOf(entry)), 0).data(Qt::DecorationRole).value<QIcon>().cacheKey();
        };
        QVERIFY(iconOf(expected[1]) != iconOf(expected[0]));
        QCOMPARE(iconOf(expected[3]), iconOf(expected[1]));
        QCOMPARE(iconOf(expected[2]), iconOf(expected[0]));
    }

    // A double click enters an archive as a folder: the file list shows its
    // BMP entries, the background its background; closing applies and
    // remembers it, and the selector opens there again.
    void enteringAnArchiveAppliesIt_data()
    {
        QTest::addColumn<QString>("archive");  // made in the working directory
        QTest::addColumn<QString>("inside");   // the skin's folder inside it, empty for its root
        QTest::addColumn<QString>("entered");  // the folder entered last, below the archive

        QTest::newRow("zip") << "Ember.zip" << "" << "";
        QTest::newRow("zip under one top folder") << "Ember.zip" << "Ember" << "";
        QTest::newRow("7z") << "Ember.7z" << "" << "";
        QTest::newRow("tar.gz") << "Ember.tar.gz" << "" << "";
        QTest::newRow("rar") << "Ember.rar" << "" << "";
        QTest::newRow("a skin in a collection") << "collection.zip" << "Ember" << "Ember";
    }

    void enteringAnArchiveAppliesIt()
    {
        QFETCH(QString, archive);
        QFETCH(QString, inside);
        QFETCH(QString, entered);
        const QString source = inside.isEmpty() ? QStringLiteral("src") : QStringLiteral("src/") + inside;
        makeFullSkin(source, FullSkin);
        writeBmp(source + QStringLiteral("/extra.bmp"), Qt::white);
        if (!entered.isEmpty())
            makeFullSkin(QStringLiteral("src/Ash"), SkinColours{Qt::white, Qt::white, Qt::white, Qt::white, Qt::white});
        QVERIFY(packFolder(path(QStringLiteral("src")), path(QStringLiteral("work/")) + archive));
        QVERIFY(openSelector());
        const QString w = here();
        const QString archivePath = w + QLatin1Char('/') + archive;

        QVERIFY(doubleClickEntry(archivePath));
        QString folder = archivePath;
        if (!entered.isEmpty()) {
            QVERIFY(form2().Dir1().archivePaths().contains(archivePath));
            folder += QLatin1Char('/') + entered;
            QVERIFY(doubleClickEntry(folder));
        }
        const QStringList skinFiles = {QStringLiteral("backadvanced.bmp"),    QStringLiteral("background.bmp"),
                                       QStringLiteral("backscreensaver.bmp"), QStringLiteral("backsettings.bmp"),
                                       QStringLiteral("extra.bmp"),           QStringLiteral("sticker_background.bmp")};
        // Under one top folder the skin is that folder's, which the file
        // list shows once it is entered; the archive's own root holds no file.
        const bool atTop = inside.isEmpty() || !entered.isEmpty();
        CHECKED(expectSelector(folder, folder, atTop ? skinFiles : QStringList(), folder, FullSkin.background));
        if (!atTop)
            QVERIFY(form2().Dir1().entryPaths().contains(folder + QLatin1Char('/') + inside));

        QVERIFY(clickAt(form2().window(), centreOf(form2().Label3()), &form2().Label3()));
        QVERIFY(!form2().isLoaded());
        QCOMPARE(lastPathFile(), lastPathLine(folder));
        CHECKED(expectPreviewSkin(FullSkin));

        QVERIFY(clickAt(form1().window(), centreOf(form1().Label7()), &form1().Label7()));
        CHECKED(expectSelector(folder, folder, atTop ? skinFiles : QStringList(), folder, FullSkin.background));
    }

    // What is named like an archive but does not read is refused as a
    // vanished folder is; an archive inside an archive is no folder.
    void archivesThatDoNotOpen()
    {
        writeFile(QStringLiteral("work/broken.zip"), "not an archive at all");
        makeFullSkin(QStringLiteral("src/inner"), FullSkin);
        makeFolder(QStringLiteral("src/outer"));
        QVERIFY(packFolder(path(QStringLiteral("src/inner")), path(QStringLiteral("src/outer/inner.zip"))));
        writeBmp(QStringLiteral("src/outer/background.bmp"), Red, BackgroundSize);
        QVERIFY(packFolder(path(QStringLiteral("src/outer")), path(QStringLiteral("work/outer.zip"))));
        QVERIFY(openSelector());
        const QString w = here();
        QVERIFY(form2().Dir1().archivePaths().contains(w + QStringLiteral("/broken.zip")));

        QVERIFY(doubleClickEntry(w + QStringLiteral("/broken.zip")));
        CHECKED(expectSelector(w, QString(), {}, QString(), {}));

        QVERIFY(doubleClickEntry(w + QStringLiteral("/outer.zip")));
        CHECKED(expectSelector(w + QStringLiteral("/outer.zip"), w + QStringLiteral("/outer.zip"),
                               {QStringLiteral("background.bmp")}, w + QStringLiteral("/outer.zip"), Red));
        QVERIFY(!form2().Dir1().entryPaths().contains(w + QStringLiteral("/outer.zip/inner.zip")));
        QCOMPARE(form2().Dir1().archivePaths(), QStringList{w + QStringLiteral("/outer.zip")});
    }

    // ---- Closing ----

    void closing_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("logo hot spot") << "Label3";
        QTest::newRow("close hot spot") << "Label2";
        QTest::newRow("close request") << "close";
    }

    void closing()
    {
        QFETCH(QString, way);
        const QString skin = makeFullSkin(QStringLiteral("skins/full"), FullSkin);
        QVERIFY(openSelector());
        const auto builtIn = previewPictures();
        form2().Text1().setText(skin);
        QCOMPARE(form2().Dir1().path(), skin);
        // Nothing reaches the preview window before the close.
        QVERIFY(previewPictures() == builtIn);
        QVERIFY(lastPathFile().isEmpty());

        QWidget &window = form2().window();
        if (way == QLatin1String("close")) {
            window.close();
        } else {
            Label &hotSpot = way == QLatin1String("Label3") ? form2().Label3() : form2().Label2();
            QVERIFY(clickAt(window, centreOf(hotSpot), &hotSpot));
        }
        QVERIFY(!form2().isLoaded());
        QVERIFY(form1().isLoaded());
        QVERIFY(form1().window().isVisible());
        QCOMPARE(lastPathFile(), lastPathLine(skin));
        QCOMPARE(form2().SkinFolder, skin);
        CHECKED(expectPreviewSkin(FullSkin));
    }

    // Closing without browsing applies and saves the folder the selector
    // was at; a folder with no skin files changes no picture.
    void closingOnFolderWithoutSkinFiles()
    {
        writeBmp(QStringLiteral("work/other.bmp"), Red);
        QVERIFY(openSelector());
        const auto builtIn = previewPictures();
        QVERIFY(clickAt(form2().window(), centreOf(form2().Label3()), &form2().Label3()));
        QVERIFY(!form2().isLoaded());
        QCOMPARE(lastPathFile(), lastPathLine(here()));
        QVERIFY(previewPictures() == builtIn);
    }

    // The shown panel takes its new picture as soon as the selector is gone.
    void closingWithDesktopSettingsShown()
    {
        const QString skin = makeFullSkin(QStringLiteral("skins/full"), FullSkin);
        startProgram();
        QVERIFY(clickAt(form1().window(), centreOf(form1().Label3()), &form1().Label3()));
        QVERIFY(form1().Picture2().isVisible());
        const QColor before = pixelAt(form1().window(), {400, 300});
        QVERIFY(before != FullSkin.desktop);

        QVERIFY(openSelector());
        form2().Text1().setText(skin);
        QVERIFY(clickAt(form2().window(), centreOf(form2().Label2()), &form2().Label2()));
        QVERIFY(!form2().isLoaded());
        QVERIFY(form1().Picture2().isVisible());
        QCOMPARE(pixelAt(form1().window(), {400, 300}), FullSkin.desktop);
        QCOMPARE(pixelAt(form1().window(), {90, 400}), FullSkin.sticker);
        // The hidden panels hold theirs for later.
        QVERIFY(clickAt(form1().window(), centreOf(form1().Label5()), &form1().Label5()));
        QCOMPARE(pixelAt(form1().window(), {400, 300}), FullSkin.advanced);
    }

    // The controls of an unloaded selector linger until the event loop
    // deletes them. Whatever they still send (a late double click, a
    // keystroke an input method commits, a click) reaches no handler: the
    // selector stays unloaded, "lastpath.skin" is not written again and the
    // preview window keeps its pictures.
    void lateSignalsAfterUnloadReachNoHandler()
    {
        makeBrowsingTree();
        const QString skin = makeFullSkin(QStringLiteral("work/skins/full"), FullSkin);
        QVERIFY(openSelector());
        form2().Text1().setText(skin);
        QPointer<DirListBox> dir = &form2().Dir1();
        QPointer<TextBox> text = &form2().Text1();
        QPointer<Label> logo = &form2().Label3();
        QPointer<Label> close = &form2().Label2();
        QVERIFY(clickAt(form2().window(), centreOf(*logo), logo));
        QVERIFY(!form2().isLoaded());
        CHECKED(expectPreviewSkin(FullSkin));
        const auto applied = previewPictures();
        // A new background: applying the skin again would show it.
        writeBmp(QStringLiteral("work/skins/full/background.bmp"), Red, BackgroundSize);
        writeFile(QStringLiteral("work/lastpath.skin"), "untouched\r\n");

        QVERIFY(dir && text && logo && close);
        dir->setPath(here() + QStringLiteral("/skinA"));
        const int plain = int(dir->entryPaths().indexOf(here() + QStringLiteral("/skinA/plain")));
        QVERIFY(plain >= 0);
        emit dir->doubleClicked(dir->model()->index(plain, 0));
        emit dir->change();
        text->setText(here());
        QTest::keyClicks(text, QStringLiteral("/skin"));
        text->insert(QStringLiteral("A"));
        QTest::mouseClick(logo, Qt::LeftButton);
        emit close->click();

        QVERIFY(!form2().isLoaded());
        QCOMPARE(lastPathFile(), QByteArray("untouched\r\n"));
        QVERIFY(previewPictures() == applied);
        QCOMPARE(form2().SkinFolder, skin);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!dir && !text && !logo && !close);
        QVERIFY(!form2().isLoaded());
    }

    // A selector loaded anew returns to the folder of the last close; for
    // the working directory that means an empty box and the built-in
    // background.
    void reopeningReturnsToTheFolder()
    {
        makeBrowsingTree();
        writeBmp(QStringLiteral("work/w.bmp"), Qt::white);
        const QString w = here();
        const QString skinA = w + QStringLiteral("/skinA");
        QVERIFY(openSelector());
        QVERIFY(doubleClickEntry(skinA));
        QVERIFY(clickAt(form2().window(), centreOf(form2().Label3()), &form2().Label3()));
        QCOMPARE(lastPathFile(), lastPathLine(skinA));

        QVERIFY(openSelector());
        CHECKED(expectSelector(skinA, skinA, filesOf("skinA"), skinA, Red));

        // Back to the working directory (the background stays red), close.
        QVERIFY(doubleClickEntry(w));
        CHECKED(expectSelector(w, w, {QStringLiteral("w.bmp")}, w, Red));
        form2().window().close();
        QCOMPARE(lastPathFile(), lastPathLine(w));

        QVERIFY(openSelector());
        CHECKED(expectSelector(w, QString(), {QStringLiteral("w.bmp")}, w, {}));
    }

    // A folder that vanished while the selector was closed leaves the new
    // selector at the working directory, complete.
    void reopeningAfterTheFolderVanished()
    {
        makeBrowsingTree();
        const QString skinB = here() + QStringLiteral("/skinB");
        QVERIFY(openSelector());
        form2().Text1().setText(skinB);
        form2().window().close();
        QVERIFY(QDir(skinB).removeRecursively());

        QVERIFY(openSelector());
        QCOMPARE(form2().Dir1().path(), here());
        QCOMPARE(form2().Text1().text(), QString());
        QCOMPARE(form2().Label1().caption(), Instructions);
        QVERIFY(form2().Label9().foreColor() == RGB(200, 200, 200));
        QVERIFY(form2().picture() == m_builtInBackground);
    }

    // Closing the preview window while the selector is hidden saves the
    // folder chosen at start-up and applies it just before the window goes.
    void closingThePreviewWithTheSelectorHidden()
    {
        const QString skin = makeFullSkin(QStringLiteral("skins/full"), FullSkin);
        writeFile(QStringLiteral("work/lastpath.skin"), lastPathLine(skin) + "a second line\r\n");
        startProgram();
        QVERIFY(!form2().window().isVisible());
        QCOMPARE(form2().Dir1().path(), skin);

        QPointer<QWidget> preview = &form1().window();
        QPointer<PictureBox> sticker = &form1().Picture1();
        QPointer<PictureBox> desktop = &form1().Picture2();
        QVERIFY(clickAt(*preview, centreOf(form1().Label8()), &form1().Label8()));
        QVERIFY(!form1().isLoaded());
        QVERIFY(!form2().isLoaded());
        QCOMPARE(lastPathFile(), lastPathLine(skin));

        // The window is destroyed at the next turn of the event loop; until
        // then it holds what the selector's close loaded into it.
        QVERIFY(preview && sticker && desktop);
        auto *window = qobject_cast<FormWindow *>(preview.data());
        QVERIFY(window);
        QCOMPARE(window->picture().pixelColor(400, 300), FullSkin.background);
        QCOMPARE(sticker->picture().pixelColor(100, 100), FullSkin.sticker);
        QCOMPARE(desktop->picture().pixelColor(300, 300), FullSkin.desktop);
    }

    // The shown selector's folder list follows its folder as the file list
    // does: subfolders made or removed show; F5 reads the folder again
    // where no change was reported, and keeps the entry selected.
    void folderListFollowsItsFolder()
    {
        makeBrowsingTree();
        const QString skinB = here() + QStringLiteral("/skinB");
        QVERIFY(openSelector());
        form2().Text1().setText(skinB);
        QCOMPARE(form2().Dir1().path(), skinB);
        QCOMPARE(rowOf(skinB + QStringLiteral("/new")), -1);

        QVERIFY(QDir(skinB).mkdir(QStringLiteral("new")));
        QTRY_VERIFY_WITH_TIMEOUT(rowOf(skinB + QStringLiteral("/new")) >= 0, 10000);
        QVERIFY(QDir(skinB).rmdir(QStringLiteral("new")));
        QTRY_COMPARE_WITH_TIMEOUT(rowOf(skinB + QStringLiteral("/new")), -1, 10000);

        // Unwatched (a network file system): F5 alone shows the new one.
        QVERIFY(singleClickEntry(here()));
        form2().Following.setWatched(false);
        QVERIFY(QDir(skinB).mkdir(QStringLiteral("later")));
        QVERIFY(QTest::qWaitForWindowActive(&form2().window()));
        QTest::keyClick(&form2().window(), Qt::Key_F5);
        QVERIFY(rowOf(skinB + QStringLiteral("/later")) >= 0);
        QCOMPARE(form2().Dir1().currentIndex().row(), rowOf(here()));
        QCOMPARE(form2().Dir1().path(), skinB);
    }

    // ---- From one start to the next ----

    void wholeFlowFromStartToNextStart()
    {
        const QString skin = makeFullSkin(QStringLiteral("work/skins/blue"), FullSkin);
        writeBmp(QStringLiteral("work/skins/blue/extra.BMP"), Qt::white);
        const QStringList skinFiles = {"background.bmp", "sticker_background.bmp", "backsettings.bmp",
                                       "backscreensaver.bmp", "backadvanced.bmp", "extra.BMP"};
        const QString w = here();

        startProgram();
        const auto builtIn = previewPictures();
        QVERIFY(openSelector());
        QVERIFY(doubleClickEntry(w + QStringLiteral("/skins")));
        QVERIFY(doubleClickEntry(w + QStringLiteral("/skins/blue")));
        const QString blue = w + QStringLiteral("/skins/blue");
        CHECKED(expectSelector(blue, blue, skinFiles, blue, FullSkin.background));
        QVERIFY(clickAt(form2().window(), centreOf(form2().Label3()), &form2().Label3()));
        QCOMPARE(lastPathFile(), lastPathLine(blue));
        CHECKED(expectPreviewSkin(FullSkin));

        form1().unload();
        QVERIFY(!form1().isLoaded());
        QVERIFY(!form2().isLoaded());
        QCOMPARE(lastPathFile(), lastPathLine(blue));
        releaseForms();

        // The next start, in the same working directory.
        startProgram();
        QVERIFY(!form2().window().isVisible());
        CHECKED(expectSelector(blue, blue, skinFiles, blue, FullSkin.background));
        QVERIFY(previewPictures() == builtIn);
        QVERIFY(openSelector());
        CHECKED(expectSelector(blue, blue, skinFiles, blue, FullSkin.background));
        QVERIFY(previewPictures() == builtIn);
        QVERIFY(clickAt(form2().window(), centreOf(form2().Label2()), &form2().Label2()));
        QCOMPARE(lastPathFile(), lastPathLine(blue));
        CHECKED(expectPreviewSkin(FullSkin));
    }
};

QTEST_MAIN(SelectorTest)
#include "selector_test.moc"
