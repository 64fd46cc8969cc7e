// skintool over skins in archives, run as the real binary: a packed skin
// checks clean and draws as its folder does, entries are named through the
// archive in every report form, what the archive reading skipped or noticed
// has its code, a folder of archives is a collection, and check --watch
// follows an archive that is written again.

#include "support/archives.h"
#include "support/skintoolfixture.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>

namespace {

const QSize BackgroundSize(800, 600);

const QColor Blue(0x20, 0x40, 0x90);

// "code severity file" for each problem of a folder in a JSON report.
QStringList problemsOf(const QJsonObject &folder)
{
    QStringList problems;
    for (const QJsonValue &problem : folder.value(QStringLiteral("problems")).toArray())
        problems.append(problem[QStringLiteral("code")].toString() + QLatin1Char(' ')
                        + problem[QStringLiteral("severity")].toString() + QLatin1Char(' ')
                        + problem[QStringLiteral("file")].toString());
    return problems;
}

} // namespace

class ArchivesTest : public SkintoolFixture
{
    Q_OBJECT

private:
    QString work(const QString &name) const { return path(QStringLiteral("work/") + name); }

private slots:
    void initTestCase()
    {
        if (binary().isEmpty())
            QSKIP("needs the program (SKINTOOL_BINARY)");
    }

    // A packed skin checks clean and draws exactly as its folder does.
    void packedSkinChecksCleanAndDrawsAsItsFolder()
    {
        const QString skin = cleanSkin(QStringLiteral("work/Ember"));
        QCOMPARE(skintool({QStringLiteral("pack"), QStringLiteral("--out"), QStringLiteral("Ember.zip"), skin}).status, 0);
        const ProgramRun check = skintool({QStringLiteral("check"), QStringLiteral("--strict"), QStringLiteral("Ember.zip")});
        QCOMPARE(check.err, QString());
        QCOMPARE(check.status, 0);
        QVERIFY2(check.out.startsWith(QStringLiteral("Ember.zip: 0 errors, 0 warnings\n")), qPrintable(check.out));

        const ProgramRun render = skintool({QStringLiteral("render"), QStringLiteral("--out"), QStringLiteral("out"),
                                            QStringLiteral("Ember"), QStringLiteral("Ember.zip")});
        QCOMPARE(render.err, QString());
        QCOMPARE(render.status, 0);
        for (const char *picture : {"preview.png", "desktop-settings.png", "screensaver-settings.png", "advanced-settings.png"}) {
            const QByteArray fromFolder = readFile(QStringLiteral("work/out/Ember/") + QLatin1String(picture));
            QVERIFY(!fromFolder.isEmpty());
            QVERIFY2(fromFolder == readFile(QStringLiteral("work/out/Ember.zip/") + QLatin1String(picture)), picture);
        }
        // The selector names its folder in the path box; its background is
        // the skin's all the same.
        QCOMPARE(QImage(work(QStringLiteral("out/Ember.zip/selector.png"))).pixelColor(775, 300), Blue);
    }

    // Entries are named through the archive, and through the skin's one
    // top folder where it lies under one, in text, one-line and JSON.
    void entriesNamedThroughTheArchive_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("packed");   // the folder packed, below work/
        QTest::addColumn<QString>("argument"); // the FOLDER given to check
        QTest::addColumn<QString>("prefix");   // the skin's folder within it
        QTest::newRow("zip") << "Ember.zip" << "src/Ember" << "Ember.zip" << "";
        QTest::newRow("zip, one top folder") << "Top.zip" << "src" << "Top.zip" << "Ember/";
        QTest::newRow("7z") << "Ember.7z" << "src/Ember" << "Ember.7z" << "";
        QTest::newRow("tar.gz") << "Ember.tar.gz" << "src/Ember" << "Ember.tar.gz" << "";
        QTest::newRow("a folder in a collection") << "Many.zip" << "many" << "Many.zip/Ember" << "";
    }

    void entriesNamedThroughTheArchive()
    {
        QFETCH(QString, archive);
        QFETCH(QString, packed);
        QFETCH(QString, argument);
        QFETCH(QString, prefix);
        cleanSkin(QStringLiteral("work/src/Ember"));
        writeFile(QStringLiteral("work/src/Ember/sticker_background.bmp"), "not a picture");
        cleanSkin(QStringLiteral("work/many/Ember"));
        writeFile(QStringLiteral("work/many/Ember/sticker_background.bmp"), "not a picture");
        cleanSkin(QStringLiteral("work/many/Other"));
        QVERIFY(packFolder(work(packed), work(archive)));

        const QString sticker = prefix + QStringLiteral("sticker_background.bmp");
        const ProgramRun oneLine = skintool({QStringLiteral("check"), QStringLiteral("--oneline"), argument});
        QCOMPARE(oneLine.status, 1);
        QCOMPARE(oneLine.out, QStringLiteral("%1/%2: error: broken: sticker_background.bmp does not load: not a picture; "
                                             "the sticker keeps its earlier picture\n")
                                  .arg(argument, sticker));
        const ProgramRun text = skintool({QStringLiteral("check"), argument});
        QVERIFY2(text.out.contains(QStringLiteral("  background            %1background.bmp  800x600\n").arg(prefix)),
                 qPrintable(text.out));
        const QJsonObject json = checkJson(argument);
        QCOMPARE(json[QStringLiteral("folder")].toString(), argument);
        QCOMPARE(json[QStringLiteral("slots")][0][QStringLiteral("file")].toString(), prefix + QStringLiteral("background.bmp"));
        QCOMPARE(problemsOf(json), QStringList{QStringLiteral("broken error ") + sticker});
    }

    // What the archive reading skipped or noticed, each with its code and
    // severity; junk is a note, named once. Each archive holds a good
    // background beside the case.
    void archiveCodes_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QList<ArchiveMember>>("members");
        QTest::addColumn<QStringList>("expected");
        using Type = ArchiveMember::Type;
        const auto file = [](const char *name, QByteArray bytes = "x") { return ArchiveMember{name, bytes, Type::File}; };
        QTest::newRow("names outside the archive")
            << "out.zip" << QList<ArchiveMember>{file("../x.bmp"), file("/etc/y.bmp")}
            << QStringList{"outside-archive warning ../x.bmp", "outside-archive warning /etc/y.bmp"};
        QTest::newRow("links") << "links.tar"
                               << QList<ArchiveMember>{{"sticker_background.bmp", "/etc/passwd", Type::Symlink},
                                                       {"backsettings.bmp", "background.bmp", Type::Hardlink}}
                               << QStringList{"link warning backsettings.bmp", "link warning sticker_background.bmp"};
        QTest::newRow("the same name twice") << "twice.zip" << QList<ArchiveMember>{file("notes.txt"), file("notes.txt")}
                                             << QStringList{"duplicate warning notes.txt"};
        QTest::newRow("junk, named once")
            << "junk.zip"
            << QList<ArchiveMember>{file("__MACOSX/._background.bmp"), file("__MACOSX/._backsettings.bmp"),
                                    file("Thumbs.db"), file("desktop.ini")}
            << QStringList{"junk note Thumbs.db", "junk note __MACOSX", "junk note desktop.ini"};
        QTest::newRow("an archive inside") << "nested.zip" << QList<ArchiveMember>{file("more.zip", "PK\x05\x06")}
                                           << QStringList{"nested-archive warning more.zip"};
    }

    void archiveCodes()
    {
        QFETCH(QString, archive);
        QFETCH(QList<ArchiveMember>, members);
        QFETCH(QStringList, expected);
        writeBmp(QStringLiteral("bmp/background.bmp"), Blue, BackgroundSize);
        members.prepend({"background.bmp", readFile(QStringLiteral("bmp/background.bmp")), ArchiveMember::Type::File});
        QVERIFY(writeArchive(work(archive), members));
        QStringList problems = problemsOf(checkJson(archive));
        problems.removeIf([](const QString &problem) { return problem.startsWith(QLatin1String("missing ")); });
        problems.sort();
        QCOMPARE(problems, expected);
    }

    // Archives that do not read, or whose pictures cannot be had, say why;
    // each is an error.
    void hostileArchives_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("said");
        QTest::newRow("encrypted") << "locked.zip"
                                   << QStringList{"broken error background.bmp", "encrypted warning notes.txt"}
                                   << "background.bmp does not load: encrypted";
        QTest::newRow("a bomb") << "bomb.zip" << QStringList{"broken error background.bmp"} << "too large";
        QTest::newRow("cut short") << "cut.zip" << QStringList{"unreadable-archive error "} << "cut.zip: not an archive";
        QTest::newRow("a picture named .zip") << "picture.zip" << QStringList{"unreadable-archive error "}
                                              << "picture.zip: not an archive";
        QTest::newRow("one part of several") << "split.zip" << QStringList{"multi-volume error "} << "multi-volume";
        QTest::newRow("a device") << "device.tar" << QStringList{"special-file warning null"} << "null: not a regular file";
    }

    void hostileArchives()
    {
        QFETCH(QString, archive);
        QFETCH(QStringList, expected);
        QFETCH(QString, said);
        const QString skin = cleanSkin(QStringLiteral("work/Ember"));
        if (archive == QLatin1String("locked.zip")) {
            writeFile(QStringLiteral("locked/notes.txt"), "secret notes");
            QFile::copy(skin + QStringLiteral("/background.bmp"), path(QStringLiteral("locked/background.bmp")));
            QVERIFY(packFolder(path(QStringLiteral("locked")), work(archive), {QStringLiteral("-P"), QStringLiteral("secret")}));
        } else if (archive == QLatin1String("bomb.zip")) {
            // 70 MB of a BMP's zeros, beyond what any picture may take.
            const ProgramRun python = runProgram(QStandardPaths::findExecutable(QStringLiteral("python3")),
                                                 {QStringLiteral("-c"),
                                                  QStringLiteral("import zipfile\n"
                                                                 "with zipfile.ZipFile('bomb.zip', 'w', zipfile.ZIP_DEFLATED) as z:\n"
                                                                 "    z.writestr('background.bmp', b'BM' + bytes(70 << 20))\n")},
                                                 workDir());
            QCOMPARE(python.status, 0);
        } else if (archive == QLatin1String("cut.zip")) {
            QCOMPARE(skintool({QStringLiteral("pack"), QStringLiteral("--out"), QStringLiteral("whole.zip"), skin}).status, 0);
            const QByteArray whole = readFile(QStringLiteral("work/whole.zip"));
            writeFile(QStringLiteral("work/cut.zip"), whole.left(whole.size() / 2));
        } else if (archive == QLatin1String("picture.zip")) {
            QVERIFY(QFile::copy(skin + QStringLiteral("/background.bmp"), work(archive)));
        } else if (archive == QLatin1String("split.zip")) {
            QByteArray noise(200000, Qt::Uninitialized);
            QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
            writeFile(QStringLiteral("work/Ember/noise.bin"), noise);
            QVERIFY(packFolder(skin, work(archive), {QStringLiteral("-s"), QStringLiteral("64k")}));
        } else {
            writeFile(QStringLiteral("work/entries.mtree"), "#mtree\nnull type=char mode=0666 device=native,1,3\n"
                                                   "background.bmp type=file contents=Ember/background.bmp\n");
            const ProgramRun bsdtar = runProgram(QStandardPaths::findExecutable(QStringLiteral("bsdtar")),
                                                 {QStringLiteral("-cf"), archive, QStringLiteral("@entries.mtree")}, workDir());
            QCOMPARE(bsdtar.status, 0);
        }
        const QJsonObject json = checkJson(archive);
        QStringList problems = problemsOf(json);
        problems.removeIf([](const QString &problem) { return problem.startsWith(QLatin1String("missing ")); });
        problems.sort();
        QCOMPARE(problems, expected);
        QStringList messages;
        for (const QJsonValue &problem : json[QStringLiteral("problems")].toArray())
            messages.append(problem[QStringLiteral("message")].toString());
        QVERIFY2(messages.join(QLatin1Char('\n')).contains(said), qPrintable(messages.join(QLatin1Char('\n'))));
    }

    // A folder that holds archives and no skin of its own is a collection:
    // check, render and sheet take each archive in it as a skin.
    void folderOfArchivesIsACollection()
    {
        cleanSkin(QStringLiteral("work/src/Ember"));
        makeFolder(QStringLiteral("work/skins"));
        QVERIFY(packFolder(work(QStringLiteral("src/Ember")), work(QStringLiteral("skins/A.zip"))));
        QVERIFY(packFolder(work(QStringLiteral("src/Ember")), work(QStringLiteral("skins/B.7z"))));
        QVERIFY(packFolder(work(QStringLiteral("src")), work(QStringLiteral("skins/C.tar.gz"))));
        writeFile(QStringLiteral("work/skins/notes.txt"), "three skins");
        const QStringList members{"skins/A.zip", "skins/B.7z", "skins/C.tar.gz"};

        const ProgramRun check = skintool({QStringLiteral("check"), QStringLiteral("--json"), QStringLiteral("skins")});
        QCOMPARE(check.status, 0);
        QStringList checked;
        for (const QJsonValue &folder : QJsonDocument::fromJson(check.out.toUtf8())[QStringLiteral("folders")].toArray())
            checked.append(folder[QStringLiteral("folder")].toString());
        QCOMPARE(checked, members);

        QCOMPARE(skintool({QStringLiteral("render"), QStringLiteral("--out"), QStringLiteral("out"), QStringLiteral("skins")}).status,
                 0);
        QCOMPARE(QDir(work(QStringLiteral("out"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
                 (QStringList{"A.zip", "B.7z", "C.tar.gz"}));

        // The sheet of the collection is the sheet of its archives named one by one.
        QCOMPARE(skintool({QStringLiteral("sheet"), QStringLiteral("--out"), QStringLiteral("all.png"), QStringLiteral("skins")}).status,
                 0);
        QCOMPARE(skintool(QStringList{QStringLiteral("sheet"), QStringLiteral("--out"), QStringLiteral("each.png")} + members).status,
                 0);
        const QByteArray all = readFile(QStringLiteral("work/all.png"));
        QVERIFY(!all.isEmpty());
        QVERIFY(all == readFile(QStringLiteral("work/each.png")));
        QCOMPARE(QImage(work(QStringLiteral("all.png"))).width(), QImage(work(QStringLiteral("each.png"))).width());
    }

    // check --watch follows an archive that is written again.
    void watchFollowsARewrittenArchive()
    {
        // A sticker missing: the first report says so.
        const QString skin = cleanSkin(QStringLiteral("work/Ember"));
        QVERIFY(QFile::remove(skin + QStringLiteral("/sticker_background.bmp")));
        QCOMPARE(skintool({QStringLiteral("pack"), QStringLiteral("--out"), QStringLiteral("Ember.zip"), skin}).status, 0);
        QProcess watch;
        watch.setWorkingDirectory(workDir());
        watch.start(binary(), {QStringLiteral("check"), QStringLiteral("--watch"), QStringLiteral("--oneline"),
                               QStringLiteral("Ember.zip")});
        QVERIFY(watch.waitForStarted());
        QByteArray out;
        const auto waitFor = [&](const char *text) {
            for (QDeadlineTimer deadline(60000); !out.contains(text) && !deadline.hasExpired();) {
                watch.waitForReadyRead(200);
                out += watch.readAllStandardOutput();
            }
        };
        waitFor("missing");
        QVERIFY2(out.contains("Ember.zip/sticker_background.bmp: warning: missing"), out.constData());
        // Packed again with a broken sticker, written over the zip.
        writeFile(QStringLiteral("work/Ember/sticker_background.bmp"), "not a picture");
        QCOMPARE(skintool({QStringLiteral("pack"), QStringLiteral("--force"), QStringLiteral("--out"),
                           QStringLiteral("Ember.zip"), skin}).status,
                 0);
        waitFor("broken");
        watch.terminate();
        watch.waitForFinished();
        QVERIFY2(out.contains("Ember.zip/sticker_background.bmp: error: broken"), out.constData());
    }
};

QTEST_MAIN(ArchivesTest)
#include "archives_test.moc"
