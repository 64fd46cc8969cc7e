#include "support/fixture.h"

#include "app/forms.h"
#include "preview/form1.h"
#include "selector/form2.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QTest>
#include <QTimer>

#include <sys/inotify.h>
#include <unistd.h>

#include <functional>

namespace {

const QColor DefaultColour(200, 20, 20);
const QSize DefaultSize(30, 12);
const QColor OtherColour(20, 20, 200);
const QSize OtherSize(20, 10);

// Counts how often files of a given name are opened in watched folders: each
// run of the selector's folder handler opens the folder's "background.bmp"
// once, so this tells how many times the folder list changed to a folder.
class OpenCounter
{
public:
    OpenCounter() : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    ~OpenCounter()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    OpenCounter(const OpenCounter &) = delete;
    OpenCounter &operator=(const OpenCounter &) = delete;

    bool watch(const QString &folder)
    {
        const int wd = m_fd < 0 ? -1 : ::inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), IN_OPEN);
        if (wd < 0)
            return false;
        m_folders[wd] = folder;
        return true;
    }

    // Opens of files called name since watching began, by folder.
    QMap<QString, int> opensOf(const QByteArray &name)
    {
        QMap<QString, int> counts;
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
            if (length <= 0)
                break;
            for (const char *at = buffer; at < buffer + length;) {
                const auto *event = reinterpret_cast<const inotify_event *>(at);
                if (event->len > 0 && !(event->mask & IN_ISDIR) && name == event->name)
                    ++counts[m_folders.value(event->wd)];
                at += sizeof(inotify_event) + event->len;
            }
        }
        return counts;
    }

private:
    int m_fd;
    QMap<int, QString> m_folders;
};

// Runs the event loop until the program ends, with scheduled as its first
// event; returns exec()'s result, or 99 if the program did not end.
int runProgram(const std::function<void()> &scheduled)
{
    QTimer::singleShot(0, qApp, scheduled);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
    guard.start(10000);
    return QApplication::exec();
}

} // namespace

class StartupTest : public Fixture
{
    Q_OBJECT

    // @D the default skins folder, @F another skin folder, @M a folder that
    // does not exist, @W the working directory.
    QString expand(QString text) const
    {
        text.replace(QLatin1String("@D"), defaultSkinFolder());
        text.replace(QLatin1String("@F"), path(QStringLiteral("skins/F")));
        text.replace(QLatin1String("@M"), path(QStringLiteral("skins/missing")));
        text.replace(QLatin1String("@W"), workDir());
        return text;
    }

    QByteArray expandBytes(const QByteArray &bytes) const
    {
        return QFile::encodeName(expand(QString::fromUtf8(bytes)));
    }

    // The working directory and folder F always exist, each with a background
    // of its own; the default folder only when asked for.
    void arrange(bool defaultExists, bool fileExists, const QByteArray &content)
    {
        writeBmp(QStringLiteral("work/background.bmp"), Qt::green);
        writeBmp(QStringLiteral("work/w.bmp"), Qt::green);
        writeBmp(QStringLiteral("skins/F/background.bmp"), OtherColour, OtherSize);
        writeBmp(QStringLiteral("skins/F/f1.bmp"), Qt::yellow);
        writeBmp(QStringLiteral("skins/F/F2.BMP"), Qt::yellow);
        writeFile(QStringLiteral("skins/F/notes.txt"), "not a picture");
        if (defaultExists) {
            const QString skins = QDir(dataDir()).relativeFilePath(defaultSkinFolder());
            writeBmp(QStringLiteral("data/") + skins + QStringLiteral("/background.bmp"), DefaultColour, DefaultSize);
            writeBmp(QStringLiteral("data/") + skins + QStringLiteral("/d1.bmp"), Qt::cyan);
        }
        if (fileExists)
            writeFile(QStringLiteral("work/lastpath.skin"), expandBytes(content));
    }

private slots:
    void startUpPointsTheSelector_data()
    {
        QTest::addColumn<bool>("defaultExists");
        QTest::addColumn<bool>("fileExists");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("folder");     // the folder list's path
        QTest::addColumn<QString>("skinFolder"); // empty when no change ran
        QTest::addColumn<QString>("lastPath");
        QTest::addColumn<QString>("background"); // "built-in", "D" or "F"
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<int>("defaultChanges");
        QTest::addColumn<int>("otherChanges");

        const QStringList workFiles{QStringLiteral("background.bmp"), QStringLiteral("w.bmp")};
        const QStringList defaultFiles{QStringLiteral("background.bmp"), QStringLiteral("d1.bmp")};
        const QStringList otherFiles{QStringLiteral("background.bmp"), QStringLiteral("f1.bmp"),
                                     QStringLiteral("F2.BMP")};

        QTest::newRow("no default folder, no file")
            << false << false << QByteArray() << "@W" << "" << "" << "built-in" << workFiles << 0 << 0;
        QTest::newRow("default folder, no file")
            << true << false << QByteArray() << "@D" << "@D" << "" << "D" << defaultFiles << 1 << 0;
        QTest::newRow("file names the default folder")
            << true << true << QByteArray("@D\r\n") << "@D" << "@D" << "@D" << "D" << defaultFiles << 1 << 0;
        QTest::newRow("file names the default folder in another form")
            << true << true << QByteArray("@D//\r\n") << "@D" << "@D" << "@D//" << "D" << defaultFiles << 1 << 0;
        QTest::newRow("file names another folder")
            << true << true << QByteArray("@F\r\n/second/line\r\n") << "@F" << "@F" << "@F" << "F" << otherFiles
            << 1 << 1;
        QTest::newRow("file names another folder, no line end")
            << true << true << QByteArray("@F") << "@F" << "@F" << "@F" << "F" << otherFiles << 1 << 1;
        QTest::newRow("file names another folder, no default folder")
            << false << true << QByteArray("@F\r\n") << "@F" << "@F" << "@F" << "F" << otherFiles << 0 << 1;
        QTest::newRow("file names a missing folder")
            << true << true << QByteArray("@M\r\n") << "@D" << "@D" << "@M" << "D" << defaultFiles << 1 << 0;
        QTest::newRow("file names a missing folder, no default folder")
            << false << true << QByteArray("@M\r\n") << "@W" << "" << "@M" << "built-in" << workFiles << 0 << 0;
        QTest::newRow("file names the working directory, no default folder")
            << false << true << QByteArray("@W\r\n") << "@W" << "" << "@W" << "built-in" << workFiles << 0 << 0;
        QTest::newRow("empty file")
            << true << true << QByteArray() << "@D" << "@D" << "" << "D" << defaultFiles << 1 << 0;
        QTest::newRow("CR LF only")
            << true << true << QByteArray("\r\n") << "@D" << "@D" << "" << "D" << defaultFiles << 1 << 0;
        QTest::newRow("line ends in LF alone")
            << true << true << QByteArray("@F\n") << "@D" << "@D" << "@F\n" << "D" << defaultFiles << 1 << 0;
    }

    void startUpPointsTheSelector()
    {
        QFETCH(bool, defaultExists);
        QFETCH(bool, fileExists);
        QFETCH(QByteArray, content);
        QFETCH(QString, folder);
        QFETCH(QString, skinFolder);
        QFETCH(QString, lastPath);
        QFETCH(QString, background);
        QFETCH(QStringList, files);
        QFETCH(int, defaultChanges);
        QFETCH(int, otherChanges);
        arrange(defaultExists, fileExists, content);

        OpenCounter opens;
        QVERIFY(opens.watch(workDir()));
        QVERIFY(opens.watch(path(QStringLiteral("skins/F"))));
        if (defaultExists)
            QVERIFY(opens.watch(defaultSkinFolder()));

        startProgram();

        QVERIFY(form1().isLoaded());
        QVERIFY(form1().window().isVisible());
        // The selector was loaded during start-up and stays hidden.
        QVERIFY(form2().isLoaded());
        QVERIFY(!form2().window().isVisible());

        QCOMPARE(form1().LastPath, expand(lastPath));
        QCOMPARE(form2().Dir1().path(), expand(folder));
        QCOMPARE(form2().SkinFolder, expand(skinFolder));
        QCOMPARE(form2().Text1().text(), expand(skinFolder));
        QCOMPARE(form2().File1().fileNames(), files);

        const Picture shown = form2().picture();
        if (background == QLatin1String("built-in")) {
            QCOMPARE(shown, QImage(QStringLiteral(":/background.bmp")));
        } else {
            const bool isDefault = background == QLatin1String("D");
            QCOMPARE(shown.size(), isDefault ? DefaultSize : OtherSize);
            QCOMPARE(shown.pixelColor(0, 0), isDefault ? DefaultColour : OtherColour);
        }

        // Each change of the folder list loads that folder's background once.
        const QMap<QString, int> counts = opens.opensOf("background.bmp");
        QCOMPARE(counts.value(defaultSkinFolder()), defaultChanges);
        QCOMPARE(counts.value(path(QStringLiteral("skins/F"))), otherChanges);
        QCOMPARE(counts.value(workDir()), 0);

        // The preview window keeps its built-in pictures until the selector closes.
        QCOMPARE(form1().picture(), QImage(QStringLiteral(":/background.bmp")));
        QCOMPARE(form1().Picture1().picture(), QImage(QStringLiteral(":/sticker.bmp")));
        QCOMPARE(form1().Picture2().picture(), QImage(QStringLiteral(":/desktop_settings.bmp")));
        QCOMPARE(form1().Picture3().picture(), QImage(QStringLiteral(":/screensaver_settings.bmp")));
        QCOMPARE(form1().Picture4().picture(), QImage(QStringLiteral(":/advanced_settings.bmp")));

        // Start-up only reads the remembered folder.
        if (fileExists)
            QCOMPARE(readFile(QStringLiteral("work/lastpath.skin")), expandBytes(content));
        else
            QVERIFY(!QFile::exists(path(QStringLiteral("work/lastpath.skin"))));
    }

    void previewWindowPlacementAndSelectorOverIt()
    {
        startProgram();
        QWidget &window = form1().window();
        QCOMPARE(QPoint(form1().left(), form1().top()), QPoint(289, 38));
        QCOMPARE(window.pos(), QPoint(289, 38));
        QCOMPARE(window.size(), QSize(800, 600));
        QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(window.isWindow());
        QCOMPARE(window.windowTitle(), QStringLiteral("Form1"));

        // The selector, loaded inside the preview window's load, took its place.
        QCOMPARE(QPoint(form2().left(), form2().top()), QPoint(289, 38));
        QCOMPARE(form2().window().size(), QSize(800, 600));
        QVERIFY(form2().window().windowFlags() & Qt::FramelessWindowHint);

        // It copies the preview window's place at every load, and only then.
        form2().unload();
        form1().setLeft(100);
        form1().setTop(200);
        form2().load();
        QCOMPARE(QPoint(form2().left(), form2().top()), QPoint(100, 200));
        form1().setLeft(150);
        form2().show();
        QCOMPARE(QPoint(form2().left(), form2().top()), QPoint(100, 200));
    }

    void closingThePreviewSavesTheFolderAndEnds_data()
    {
        QTest::addColumn<bool>("defaultExists");
        QTest::addColumn<bool>("fileExists");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("closeRequest"); // a close request of the window system, not unload
        QTest::addColumn<QString>("saved");

        QTest::newRow("nothing remembered, no default folder") << false << false << QByteArray() << false << "@W";
        QTest::newRow("nothing remembered, default folder") << true << false << QByteArray() << false << "@D";
        QTest::newRow("another folder remembered") << true << true << QByteArray("@F\r\n") << true << "@F";
        QTest::newRow("another folder in another form") << true << true << QByteArray("@F//\r\n") << false << "@F";
        QTest::newRow("missing folder remembered")
            << true << true << QByteArray("@M\r\nsecond line\r\n") << false << "@D";
        QTest::newRow("missing folder remembered, no default folder")
            << false << true << QByteArray("@M/with/a/long/tail/to/replace/fully\r\n") << true << "@W";
    }

    void closingThePreviewSavesTheFolderAndEnds()
    {
        QFETCH(bool, defaultExists);
        QFETCH(bool, fileExists);
        QFETCH(QByteArray, content);
        QFETCH(bool, closeRequest);
        QFETCH(QString, saved);
        arrange(defaultExists, fileExists, content);

        startProgram();
        const int status = runProgram([closeRequest] {
            if (closeRequest)
                form1().window().close();
            else
                form1().unload();
        });

        QCOMPARE(status, 0);
        QVERIFY(!form1().isLoaded());
        QVERIFY(!form2().isLoaded());
        QCOMPARE(readFile(QStringLiteral("work/lastpath.skin")), QFile::encodeName(expand(saved)) + "\r\n");
    }

    void nextStartReturnsToTheSavedFolder()
    {
        arrange(true, true, "@F\r\n");
        startProgram();
        form1().unload();
        releaseForms();
        QCOMPARE(readFile(QStringLiteral("work/lastpath.skin")), QFile::encodeName(expand("@F")) + "\r\n");

        // Another run from the same working directory.
        startProgram();
        QCOMPARE(form2().Dir1().path(), expand("@F"));
        QCOMPARE(form2().SkinFolder, expand("@F"));

        // Another working directory has its own file, or none.
        form1().unload();
        releaseForms();
        const QString elsewhere = makeFolder(QStringLiteral("elsewhere"));
        QVERIFY(QDir::setCurrent(elsewhere));
        startProgram();
        QCOMPARE(form2().Dir1().path(), defaultSkinFolder());
        form1().unload();
        QCOMPARE(readFile(QStringLiteral("elsewhere/lastpath.skin")),
                 QFile::encodeName(defaultSkinFolder()) + "\r\n");
        QCOMPARE(readFile(QStringLiteral("work/lastpath.skin")), QFile::encodeName(expand("@F")) + "\r\n");
    }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
