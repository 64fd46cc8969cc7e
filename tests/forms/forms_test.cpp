// The forms runtime on a small window of its own, apart from the program's
// two windows: loading, unloading and the end of the program, change events
// inside assignments, keys, and the controls (the folder list, the file
// list, the path box).

#include "support/fixture.h"

#include "files/diskfolder.h"
#include "files/error.h"
#include "files/filename.h"
#include "files/folderlisting.h"
#include "files/places.h"
#include "forms/dirlistbox.h"
#include "forms/filelistbox.h"
#include "forms/form.h"
#include "forms/formwindow.h"
#include "forms/label.h"
#include "forms/picturebox.h"
#include "forms/textbox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPointer>
#include <QShortcut>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

// A small window of its own, so that the runtime is exercised apart from the
// program's two windows.
const WindowDesign ProbeWindow = {
    .caption = "Probe",
    .clientSize = {400, 300},
    .position = {40, 50},
    .picture = ":/icon.bmp",
    .icon = ":/icon.bmp",
    .guide = "background",
};

const ControlDesign ProbeControls[] = {
    {.kind = ControlKind::Label, .name = "Label1", .geometry = {5, 5, 120, 20}, .text = "Design caption"},
    {.kind = ControlKind::TextBox, .name = "Text1", .geometry = {5, 30, 200, 20}, .text = "design text",
     .tabIndex = 1},
    {.kind = ControlKind::DirListBox, .name = "Dir1", .geometry = {5, 60, 190, 230}, .tabIndex = 0},
    {.kind = ControlKind::FileListBox, .name = "File1", .geometry = {200, 60, 190, 230}, .tabIndex = 2},
    {.kind = ControlKind::PictureBox, .name = "Picture1", .geometry = {210, 5, 100, 50}},
};

class Probe : public Form
{
public:
    Probe() : Form(ProbeWindow, ProbeControls) {}

    Label &Label1() { return control<Label>("Label1"); }
    TextBox &Text1() { return control<TextBox>("Text1"); }
    DirListBox &Dir1() { return control<DirListBox>("Dir1"); }
    FileListBox &File1() { return control<FileListBox>("File1"); }
    PictureBox &Picture1() { return control<PictureBox>("Picture1"); }

    // Module-level state: lives as long as the Probe, loaded or not.
    QString Remembered;
    int loads = 0;
    int unloads = 0;
    bool loadFinished = false;
    QString textAtUnload;
    QStringList events;
    QStringList listingsSeen; // the folder of Dir1's listing at each Dir1_Change

private:
    void wireEvents() override
    {
        on(Text1(), &TextBox::change, &Probe::Text1_Change);
        on(Dir1(), &DirListBox::change, &Probe::Dir1_Change);
        onKey(QKeySequence(Qt::Key_F5), &Probe::F5_Press);
    }

    void Form_Load() override
    {
        ++loads;
        loadFinished = false;
        File1().setPattern(QStringLiteral("*.bmp"));
        events << QStringLiteral("Form_Load");
        loadFinished = true;
    }

    void Form_Unload(int &) override
    {
        ++unloads;
        // The controls are still usable here.
        textAtUnload = Text1().text();
        events << QStringLiteral("Form_Unload");
    }

    void Text1_Change()
    {
        events << QStringLiteral("Text1_Change ") + Text1().text();
        if (Text1().text() == QLatin1String("fail"))
            throw RuntimeError("failing handler");
        events << QStringLiteral("Text1_Change end");
    }

    void F5_Press()
    {
        events << QStringLiteral("F5");
        if (Text1().text() == QLatin1String("fail"))
            throw RuntimeError("failing key handler");
    }

    void Dir1_Change()
    {
        events << QStringLiteral("Dir1_Change ") + Dir1().path();
        listingsSeen << (Dir1().listing() ? Dir1().listing()->folder() : QStringLiteral("none"));
    }
};

// The folder paths from "/" down to folder, as the folder list shows them.
QStringList ancestorsOf(const QString &folder)
{
    QStringList paths{QStringLiteral("/")};
    QString path;
    for (const QString &part : folder.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        path += QLatin1Char('/') + part;
        paths << path;
    }
    return paths;
}

} // namespace

class FormsTest : public Fixture
{
    Q_OBJECT

    QString expand(QString text) const
    {
        text.replace(QLatin1String("@W"), workDir());
        text.replace(QLatin1String("@H"), QDir::cleanPath(QDir::homePath()));
        return text;
    }

private slots:
    void loadsOnFirstReferenceBeforeTheReferenceReturns()
    {
        Probe form;
        QVERIFY(!form.isLoaded());
        QCOMPARE(form.loads, 0);

        Label &label = form.Label1();
        QVERIFY(form.isLoaded());
        QCOMPARE(form.loads, 1);
        QVERIFY(form.loadFinished);
        QCOMPARE(form.events, QStringList{QStringLiteral("Form_Load")});
        QCOMPARE(label.caption(), QStringLiteral("Design caption"));
        QVERIFY(!form.window().isVisible()); // loaded hidden
        QCOMPARE(form.window().windowTitle(), QStringLiteral("Probe"));
        QCOMPARE(form.window().size(), QSize(400, 300));
        QCOMPARE(QPoint(form.left(), form.top()), QPoint(40, 50));

        // Further references use the loaded window.
        QCOMPARE(&form.Label1(), &label);
        form.Text1();
        QCOMPARE(form.loads, 1);

        // Showing an unloaded window loads it first.
        Probe shown;
        shown.show();
        QCOMPARE(shown.loads, 1);
        QVERIFY(shown.window().isVisible());
        shown.show();
        QCOMPARE(shown.loads, 1);
    }

    // A window goes to its designed place, unless part of it would then lie
    // off its screen and the whole window fits on it: then it moves just
    // enough to fit.
    void placementOnTheScreen_data()
    {
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QRect>("designed");
        QTest::addColumn<QPoint>("placed");
        const QRect window(289, 38, 800, 600);
        QTest::newRow("room enough") << QRect(0, 0, 1280, 1024) << window << QPoint(289, 38);
        QTest::newRow("just room") << QRect(0, 0, 1089, 638) << window << QPoint(289, 38);
        // 1280x1024 at a scale factor of 1.5.
        QTest::newRow("off at the right") << QRect(0, 0, 853, 683) << window << QPoint(53, 38);
        QTest::newRow("off at the bottom") << QRect(0, 0, 1280, 620) << window << QPoint(289, 20);
        QTest::newRow("off at both") << QRect(0, 0, 800, 600) << window << QPoint(0, 0);
        QTest::newRow("screen not at 0, 0") << QRect(100, 50, 900, 700) << window << QPoint(200, 50);
        QTest::newRow("off at the left and top") << QRect(300, 40, 1000, 800) << window << QPoint(300, 40);
        QTest::newRow("too wide: as designed") << QRect(0, 0, 799, 1024) << window << QPoint(289, 38);
        QTest::newRow("too high: as designed") << QRect(0, 0, 1280, 599) << window << QPoint(289, 38);
    }

    void placementOnTheScreen()
    {
        QFETCH(QRect, screen);
        QFETCH(QRect, designed);
        QFETCH(QPoint, placed);
        QCOMPARE(placementOnScreen(designed, screen), placed);
    }

    void unloadDiscardsControlsAndTheNextLoadStartsFromTheDesign()
    {
        makeFolder(QStringLiteral("work/sub"));
        Probe form;
        form.show();
        form.Label1().setCaption(QStringLiteral("changed"));
        form.Text1().setText(QStringLiteral("typed"));
        form.Picture1().setVisible(false);
        form.Dir1().setPath(workDir() + QStringLiteral("/sub"));
        form.setLeft(123);
        form.setPicture(QImage(8, 8, QImage::Format_RGB32));
        form.Remembered = QStringLiteral("kept");

        QPointer<Label> oldLabel = &form.Label1();
        QPointer<QWidget> oldWindow = &form.window();
        form.unload();
        QVERIFY(!form.isLoaded());
        QCOMPARE(form.unloads, 1);
        QCOMPARE(form.textAtUnload, QStringLiteral("typed"));
        QVERIFY(!oldWindow.isNull() && !oldWindow->isVisible()); // gone from the screen at once
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(oldLabel.isNull());
        QVERIFY(oldWindow.isNull());

        // Module-level values outlive the window.
        QCOMPARE(form.Remembered, QStringLiteral("kept"));
        QCOMPARE(form.textAtUnload, QStringLiteral("typed"));

        // Everything done to the controls is gone.
        QCOMPARE(form.Label1().caption(), QStringLiteral("Design caption"));
        QCOMPARE(form.loads, 2);
        QCOMPARE(form.Text1().text(), QStringLiteral("design text"));
        QVERIFY(form.Picture1().isVisibleTo(&form.window()));
        QCOMPARE(form.Dir1().path(), workDir());
        QCOMPARE(form.left(), 40);
        QCOMPARE(form.picture(), QImage(QStringLiteral(":/icon.bmp")));
        QVERIFY(!form.window().isVisible());
        QCOMPARE(form.Remembered, QStringLiteral("kept"));
    }

    void unloadOfAnUnloadedWindowDoesNothing()
    {
        Probe form;
        form.unload();
        QVERIFY(!form.isLoaded());
        QCOMPARE(form.loads, 0);
        QCOMPARE(form.unloads, 0);

        form.load();
        form.unload();
        form.unload();
        QCOMPARE(form.loads, 1);
        QCOMPARE(form.unloads, 1);
        QVERIFY(!form.isLoaded());
    }

    void closeRequestOfTheWindowSystemUnloads()
    {
        Probe form;
        form.show();
        form.window().close();
        QVERIFY(!form.isLoaded());
        QCOMPARE(form.unloads, 1);
        QCOMPARE(form.events, (QStringList{QStringLiteral("Form_Load"), QStringLiteral("Form_Unload")}));
    }

    void programEndsWhenNoWindowIsLoaded()
    {
        // Only the forms may end the program here, not the last window closing.
        const bool quitOnLast = QApplication::quitOnLastWindowClosed();
        QApplication::setQuitOnLastWindowClosed(false);
        Probe first;
        Probe second;
        first.show();
        second.show();

        bool secondLoadedAfterFirstUnload = false;
        QTimer::singleShot(0, qApp, [&] {
            first.unload();
            secondLoadedAfterFirstUnload = second.isLoaded();
            // Runs only if the program went on after the first unload.
            QTimer::singleShot(0, qApp, [&] { second.window().close(); });
        });
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
        guard.start(10000);

        const int status = QApplication::exec();
        guard.stop();
        QApplication::setQuitOnLastWindowClosed(quitOnLast);

        QCOMPARE(status, 0);
        QVERIFY(secondLoadedAfterFirstUnload);
        QVERIFY(!first.isLoaded());
        QVERIFY(!second.isLoaded());
        QCOMPARE(second.unloads, 1);
    }

    void changeHandlersRunInsideTheAssignment()
    {
        const QString sub = makeFolder(QStringLiteral("work/sub"));
        Probe form;
        form.show();
        form.events.clear();

        form.Text1().setText(QStringLiteral("abc"));
        QCOMPARE(form.events, (QStringList{QStringLiteral("Text1_Change abc"), QStringLiteral("Text1_Change end")}));
        form.events.clear();
        form.Text1().setText(QStringLiteral("abc"));
        QCOMPARE(form.events, QStringList());

        // Typing raises the change after every keystroke.
        form.Text1().setFocus();
        QTest::keyClicks(&form.Text1(), QStringLiteral("de"));
        QCOMPARE(form.events, (QStringList{QStringLiteral("Text1_Change abcd"), QStringLiteral("Text1_Change end"),
                                           QStringLiteral("Text1_Change abcde"), QStringLiteral("Text1_Change end")}));
        form.events.clear();

        // A failure in a handler ends that handler silently; the assignment returns.
        form.Text1().setText(QStringLiteral("fail"));
        QCOMPARE(form.events, QStringList{QStringLiteral("Text1_Change fail")});
        QCOMPARE(form.Text1().text(), QStringLiteral("fail"));
        form.events.clear();

        form.Dir1().setPath(sub);
        QCOMPARE(form.events, QStringList{QStringLiteral("Dir1_Change ") + sub});
        form.events.clear();
        form.Dir1().setPath(sub);
        form.Dir1().setPath(sub + QStringLiteral("/"));
        form.Dir1().setPath(workDir() + QStringLiteral("//sub/."));
        QCOMPARE(form.events, QStringList());
    }

    void dirListBoxPathForms_data()
    {
        QTest::addColumn<QString>("start"); // empty: the working directory
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // empty: refused
        QTest::addColumn<bool>("changes");

        QTest::newRow("absolute") << "" << "@W/sub" << "@W/sub" << true;
        QTest::newRow("trailing slash") << "" << "@W/sub/" << "@W/sub" << true;
        QTest::newRow("double slash") << "" << "@W//sub" << "@W/sub" << true;
        QTest::newRow("dot segments") << "" << "@W/sub/./deeper/.." << "@W/sub" << true;
        QTest::newRow("same folder") << "" << "@W" << "@W" << false;
        QTest::newRow("same folder, trailing slash") << "" << "@W/" << "@W" << false;
        QTest::newRow("same folder, double slashes") << "@W/sub" << "@W//sub//" << "@W/sub" << false;
        QTest::newRow("root") << "" << "/" << "/" << true;
        QTest::newRow("root, doubled") << "/" << "//" << "/" << false;
        QTest::newRow("home") << "" << "~" << "@H" << true;
        QTest::newRow("home, slash") << "" << "~/" << "@H" << true;
        QTest::newRow("symbolic link kept") << "" << "@W/link" << "@W/link" << true;
        QTest::newRow("relative") << "" << "sub" << "" << false;
        QTest::newRow("dot") << "@W/sub" << "." << "" << false;
        QTest::newRow("empty") << "@W/sub" << "" << "" << false;
        QTest::newRow("missing") << "@W/sub" << "@W/missing" << "" << false;
        QTest::newRow("a file") << "" << "@W/file.txt" << "" << false;
        QTest::newRow("below a file") << "" << "@W/file.txt/x" << "" << false;
    }

    void dirListBoxPathForms()
    {
        QFETCH(QString, start);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QFETCH(bool, changes);
        makeFolder(QStringLiteral("work/sub/deeper"));
        makeFolder(QStringLiteral("elsewhere"));
        QVERIFY(QFile::link(path(QStringLiteral("elsewhere")), path(QStringLiteral("work/link"))));
        writeFile(QStringLiteral("work/file.txt"), "text");

        Probe form;
        DirListBox &dir = form.Dir1();
        QCOMPARE(dir.path(), workDir()); // starts at the working directory
        if (!start.isEmpty())
            dir.setPath(expand(start));
        const QString before = dir.path();
        const QStringList entriesBefore = dir.entryPaths();
        form.events.clear();

        if (expected.isEmpty()) {
            QVERIFY_THROWS_EXCEPTION(RuntimeError, dir.setPath(expand(text)));
            QCOMPARE(dir.path(), before);
            QCOMPARE(dir.entryPaths(), entriesBefore);
            QCOMPARE(form.events, QStringList());
        } else {
            dir.setPath(expand(text));
            QCOMPARE(dir.path(), expand(expected));
            QVERIFY(dir.entryPaths().contains(expand(expected)));
            const QStringList expectedEvents =
                changes ? QStringList{QStringLiteral("Dir1_Change ") + expand(expected)} : QStringList();
            QCOMPARE(form.events, expectedEvents);
        }
    }

    // A key reaches its handler whichever control has the focus, a failure
    // in the handler goes unreported, and after the unload it reaches
    // nothing.
    void keyReachesItsHandlerFromAnyControl()
    {
        Probe form;
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form.window()));
        for (QWidget *focus : {static_cast<QWidget *>(&form.Dir1()), static_cast<QWidget *>(&form.Text1())}) {
            focus->setFocus();
            form.events.clear();
            QTest::keyClick(focus, Qt::Key_F5);
            QCOMPARE(form.events, QStringList{QStringLiteral("F5")});
        }
        form.Text1().setText(QStringLiteral("fail"));
        form.events.clear();
        QTest::keyClick(&form.window(), Qt::Key_F5);
        QCOMPARE(form.events, QStringList{QStringLiteral("F5")});
        QTest::keyClick(&form.window(), Qt::Key_F6);
        QCOMPARE(form.events, QStringList{QStringLiteral("F5")});

        // A key that the window's shortcut still delivers after the unload
        // (the window goes only at the next turn of the event loop).
        const QList<QShortcut *> keys = form.window().findChildren<QShortcut *>();
        QCOMPARE(keys.size(), 1);
        QPointer<QShortcut> key = keys.first();
        form.unload();
        form.events.clear();
        QVERIFY(key);
        emit key->activated();
        QVERIFY(form.events.isEmpty());
        QVERIFY(!form.isLoaded());
    }

    void dirListBoxEntries()
    {
        const QString tree = makeFolder(QStringLiteral("work/tree"));
        for (const char *name : {"beta", "Alpha", ".hidden", "gamma", "Delta"})
            makeFolder(QStringLiteral("work/tree/") + QLatin1String(name));
        writeFile(QStringLiteral("work/tree/a.txt"), "x");
        writeBmp(QStringLiteral("work/tree/Zeta.bmp"), Qt::red);

        Probe form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form.window()));
        DirListBox &dir = form.Dir1();
        dir.setPath(tree);
        QStringList expected = ancestorsOf(tree);
        for (const char *name : {".hidden", "Alpha", "beta", "Delta", "gamma"})
            expected << tree + QLatin1Char('/') + QLatin1String(name);
        QCOMPARE(dir.entryPaths(), expected);

        // A single click only selects; a double click enters the folder.
        auto clickEntry = [&](const QString &entry, bool twice) {
            QVERIFY(clickFolderEntry(dir, entry, twice ? 2 : 1));
        };
        form.events.clear();
        clickEntry(tree + QStringLiteral("/Alpha"), false);
        QCOMPARE(dir.path(), tree);
        QCOMPARE(form.events, QStringList());

        clickEntry(tree + QStringLiteral("/Alpha"), true);
        QCOMPARE(dir.path(), tree + QStringLiteral("/Alpha"));
        QCOMPARE(form.events, QStringList{QStringLiteral("Dir1_Change ") + tree + QStringLiteral("/Alpha")});
        form.events.clear();

        clickEntry(workDir(), true);
        QCOMPARE(dir.path(), workDir());
        QCOMPARE(form.events, QStringList{QStringLiteral("Dir1_Change ") + workDir()});
    }

    void fileListBoxListsMatchingRegularFiles()
    {
        writeBmp(QStringLiteral("work/w.bmp"), Qt::red);
        const QString folder = makeFolder(QStringLiteral("work/files"));
        for (const char *name : {"b.BMP", "a.bmp", "C.Bmp", "Zed.bmp", ".hidden.bmp"})
            writeBmp(QStringLiteral("work/files/") + QLatin1String(name), Qt::blue);
        for (const char *name : {"d.bmp.txt", "e.png", "bmp", "notes.txt"})
            writeFile(QStringLiteral("work/files/") + QLatin1String(name), "x");
        makeFolder(QStringLiteral("work/files/f.bmp"));
        QCOMPARE(::mkfifo(QFile::encodeName(folder + QStringLiteral("/g.bmp")).constData(), 0600), 0);

        Probe form;
        FileListBox &files = form.File1();
        QCOMPARE(files.path(), workDir()); // starts at the working directory
        QCOMPARE(files.fileNames(), QStringList{QStringLiteral("w.bmp")});

        files.setPath(folder);
        QCOMPARE(files.fileNames(),
                 (QStringList{QStringLiteral("a.bmp"), QStringLiteral("b.BMP"), QStringLiteral("C.Bmp"),
                              QStringLiteral("Zed.bmp")}));

        // A folder that cannot be listed shows nothing, not the previous folder's files.
        files.setPath(workDir() + QStringLiteral("/missing"));
        QCOMPARE(files.fileNames(), QStringList());
        files.setPath(folder);
        files.setPath(folder + QStringLiteral("/a.bmp"));
        QCOMPARE(files.fileNames(), QStringList());
    }

    // The working directory and the home folder are taken as their bytes,
    // and the lists show replacement characters for what is not UTF-8.
    void startFoldersAndNamesAsBytes()
    {
        const QByteArray folder = QFile::encodeName(workDir()) + "/caf\xe9";
        const QByteArray home = QFile::encodeName(workDir()) + "/h\xf4me";
        for (const QByteArray &made : {folder, home, folder + "/sub\xff"})
            QCOMPARE(::mkdir(made.constData(), 0755), 0);
        QVERIFY(writeRaw(folder + "/pic\xe9.bmp", "x"));
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", home);
        QCOMPARE(::chdir(folder.constData()), 0);

        const QString here = textFromFileName(folder);
        Probe form;
        const QString dirPath = form.Dir1().path();
        const QString filePath = form.File1().path();
        const QStringList entries = form.Dir1().entryPaths();
        const QAbstractItemModel *dirs = form.Dir1().model();
        const QString dirShown = dirs->data(dirs->index(int(dirs->rowCount()) - 1, 0)).toString();
        const QStringList files = form.File1().fileNames();
        const QAbstractItemModel *fileModel = form.File1().model();
        const QString fileShown = fileModel->rowCount() == 1 ? fileModel->data(fileModel->index(0, 0)).toString() : QString();
        const std::optional<QString> tilde = existingFolder(QStringLiteral("~"));
        const std::optional<QString> belowTilde = existingFolder(QStringLiteral("~/"));
        form.unload();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        qputenv("HOME", oldHome);
        QVERIFY(QDir::setCurrent(workDir()));
        ::unlink((folder + "/pic\xe9.bmp").constData());
        for (const QByteArray &made : {folder + "/sub\xff", folder, home})
            QCOMPARE(::rmdir(made.constData()), 0);

        QCOMPARE(dirPath, here);
        QCOMPARE(filePath, here);
        QCOMPARE(entries.last(), here + QStringLiteral("/sub") + QChar(char16_t(0xDCFF)));
        QCOMPARE(dirShown, QStringLiteral("sub\uFFFD"));
        QCOMPARE(files, QStringList{QStringLiteral("pic") + QChar(char16_t(0xDCE9)) + QStringLiteral(".bmp")});
        QCOMPARE(fileShown, QStringLiteral("pic\uFFFD.bmp"));
        QCOMPARE(tilde, std::optional<QString>(textFromFileName(home)));
        QCOMPARE(belowTilde, std::optional<QString>(textFromFileName(home)));
    }

    // The path box shows escaped bytes as U+FFFD and gives back the exact
    // text assigned until the user edits it.
    void textBoxShowsNamesReadably()
    {
        const QString first = textFromFileName("/a/caf\xe9");
        const QString second = textFromFileName("/a/caf\xe8");
        Probe form;
        TextBox &box = form.Text1();
        const QLineEdit &shown = box;
        form.events.clear();
        box.setText(first);
        QCOMPARE(shown.text(), QStringLiteral("/a/caf\uFFFD"));
        QCOMPARE(box.text(), first);
        // Another text that shows the same is still a change.
        box.setText(second);
        QCOMPARE(box.text(), second);
        box.setText(second);
        QCOMPARE(form.events, (QStringList{QStringLiteral("Text1_Change ") + first, QStringLiteral("Text1_Change end"),
                                           QStringLiteral("Text1_Change ") + second,
                                           QStringLiteral("Text1_Change end")}));
        // Typed text is what the box shows.
        box.setFocus();
        QTest::keyClicks(&box, QStringLiteral("/x"));
        QCOMPARE(box.text(), QStringLiteral("/a/caf\uFFFD/x"));
        QTest::keyClick(&box, Qt::Key_Backspace);
        QTest::keyClick(&box, Qt::Key_Backspace);
        QCOMPARE(box.text(), second);
    }

    // Both lists sort their names ignoring letter case, as Qt compares
    // texts that way, names equal but for case in byte order, whatever
    // the names hold: long shared beginnings, signs between the letter
    // cases, letters outside ASCII.
    void listsSortIgnoringCase()
    {
        const QStringList names = {
            "b", "B", "a", "A", "ab", "aB", "a_", "_a", "Z", "zz", "[", "a b", "a-b",
            "abcdefghijklmnop", "ABCDEFGHIJKLMNOP1", "abcdefghijklmnop0", "abcdefghijklmnoQ",
            "abcdefghijklmnopqrstuvwxyz", "abcdefghijklmnopqrstuvwxyY", "e", "\u00e9", "\u00c9", "f",
            "\u00e9a", "Ea", "k", "K", "\u212a", "\u03c9", "\u03a9", "z\u00e9", "Z\u00c9"};
        const auto ignoringCase = [](const QString &a, const QString &b) {
            const int order = a.compare(b, Qt::CaseInsensitive);
            return order != 0 ? order < 0 : a < b;
        };
        const QString dirs = makeFolder(QStringLiteral("work/dirs"));
        makeFolder(QStringLiteral("work/files"));
        QStringList expectedDirs;
        QStringList expectedFiles;
        for (const QString &name : names) {
            makeFolder(QStringLiteral("work/dirs/") + name);
            writeFile(QStringLiteral("work/files/") + name + QStringLiteral(".bmp"), "x");
            expectedDirs << name;
            expectedFiles << name + QStringLiteral(".bmp");
        }
        std::sort(expectedDirs.begin(), expectedDirs.end(), ignoringCase);
        std::sort(expectedFiles.begin(), expectedFiles.end(), ignoringCase);

        Probe form;
        form.Dir1().setPath(dirs);
        const QStringList entries = form.Dir1().entryPaths();
        QStringList shown;
        for (const QString &entry : entries.mid(entries.indexOf(dirs) + 1))
            shown << entry.mid(dirs.size() + 1);
        QCOMPARE(shown, expectedDirs);
        form.File1().setPath(path(QStringLiteral("work/files")));
        QCOMPARE(form.File1().fileNames(), expectedFiles);
    }

    // A folder change reads its folder once and shares that listing with
    // its handlers while they run; nothing is kept after the change, so a
    // later event sees the folder as it is then.
    void folderListingLastsForOneChange()
    {
        const QString a = makeFolder(QStringLiteral("work/a"));
        const QString b = makeFolder(QStringLiteral("work/b"));
        writeBmp(QStringLiteral("work/a/one.bmp"), Qt::red);
        writeBmp(QStringLiteral("work/b/other.bmp"), Qt::red);

        Probe form;
        QVERIFY(!form.Dir1().listing());
        form.Dir1().setPath(a);
        form.Dir1().setPath(b);
        QCOMPARE(form.listingsSeen, (QStringList{a, b}));
        QVERIFY(!form.Dir1().listing());

        // A handler that changes the path again: the inner change has its
        // own listing, and the outer one's still holds its folder after it.
        QStringList seenAfterInner;
        const auto nested = QObject::connect(&form.Dir1(), &DirListBox::change, [&] {
            if (form.Dir1().path() != a)
                return;
            form.Dir1().setPath(b);
            const FolderListing *outer = form.Dir1().listing();
            seenAfterInner << outer->folder() << outer->files(QStringLiteral("*"));
        });
        form.Dir1().setPath(a);
        QObject::disconnect(nested);
        QCOMPARE(seenAfterInner, (QStringList{a, QStringLiteral("one.bmp")}));
        QCOMPARE(form.Dir1().path(), b);
        QVERIFY(!form.Dir1().listing());

        // The file list fills itself from a listing only of its own folder.
        const FolderListing listingOfA(a);
        const FolderListing listingOfB(b);
        writeBmp(QStringLiteral("work/a/two.bmp"), Qt::red);
        form.File1().setPath(a, &listingOfA);
        QCOMPARE(form.File1().fileNames(), QStringList{QStringLiteral("one.bmp")});
        form.File1().setPath(a, &listingOfB);
        QCOMPARE(form.File1().fileNames(), (QStringList{QStringLiteral("one.bmp"), QStringLiteral("two.bmp")}));
        form.File1().setPath(b);
        form.File1().setPath(a);
        QCOMPARE(form.File1().fileNames(), (QStringList{QStringLiteral("one.bmp"), QStringLiteral("two.bmp")}));

        // So does the letter-case look-up.
        writeBmp(QStringLiteral("work/a/THREE.bmp"), Qt::red);
        DiskFolder withListingOfA(a, &listingOfA);
        QCOMPARE(withListingOfA.pathOf(withListingOfA.resolve(QStringLiteral("three.bmp"))),
                 a + QStringLiteral("/three.bmp"));
        DiskFolder withListingOfB(a, &listingOfB);
        QCOMPARE(withListingOfB.pathOf(withListingOfB.resolve(QStringLiteral("three.bmp"))),
                 a + QStringLiteral("/THREE.bmp"));
    }
};

QTEST_MAIN(FormsTest)
#include "forms_test.moc"
