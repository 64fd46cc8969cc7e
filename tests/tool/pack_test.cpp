// skintool pack, run as the real binary: what goes into the zip, that the
// common unpackers read it alike, that the same skin gives the same bytes,
// and that a skin with errors is not packed.

#include "support/skintoolfixture.h"

#include "tool/pack.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

#include <sys/stat.h>
#include <sys/time.h>

#include <map>

namespace {

const QSize BackgroundSize(800, 600);
const QSize StickerSize(178, 357);
const QSize PanelSize(615, 599);

// The files below a folder, by their path within it, with their bytes.
std::map<QString, QByteArray> filesBelow(const QString &folder)
{
    std::map<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        QFile in(file);
        files[QDir(folder).relativeFilePath(file)] = in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("?");
    }
    return files;
}

// Sets a file's modification and access times to the given second.
bool touchAt(const QString &file, time_t seconds)
{
    const struct timeval times[2] = {{seconds, 0}, {seconds, 0}};
    return ::utimes(QFile::encodeName(file).constData(), times) == 0;
}

} // namespace

class PackTest : public SkintoolFixture
{
    Q_OBJECT

private:
    // A program other than skintool, found on the PATH, run in the working
    // directory.
    ProgramRun tool(const QString &name, const QStringList &arguments) const
    {
        const QString program = QStandardPaths::findExecutable(name);
        if (program.isEmpty())
            return {-1, {}, name + QStringLiteral(" is not installed")};
        return runProgram(program, arguments, workDir());
    }

    // A skin in which every lookup of the program matters: a name found
    // only by ignoring letter case, an "_us" twin beside its plain file,
    // and files that are no part of the skin beside them.
    QString mixedSkin(const QString &relative) const
    {
        writeBmp(relative + QStringLiteral("/BackGround.BMP"), QColor(0x20, 0x40, 0x90), BackgroundSize);
        writeBmp(relative + QStringLiteral("/sticker_background.bmp"), QColor(0x30, 0xa0, 0x30), StickerSize);
        writeBmp(relative + QStringLiteral("/backsettings_us.bmp"), QColor(0xa0, 0x30, 0x30), PanelSize);
        writeBmp(relative + QStringLiteral("/backsettings.bmp"), QColor(0xa0, 0x30, 0x40), PanelSize);
        writeBmp(relative + QStringLiteral("/backscreensaver.bmp"), QColor(0xa0, 0xa0, 0x30), PanelSize);
        writeBmp(relative + QStringLiteral("/backadvanced.bmp"), QColor(0x30, 0xa0, 0xa0), PanelSize);
        writeFile(relative + QStringLiteral("/notes.txt"), "work in progress\n");
        writeFile(relative + QStringLiteral("/Thumbs.db"), "junk");
        writeBmp(relative + QStringLiteral("/guides/background.bmp"), Qt::white);
        return path(relative);
    }

    // What the zip holds for the skin above: each file under the name its
    // slot looks for, in the order the slots load them.
    QStringList mixedSkinEntries() const
    {
        return {"background.bmp", "sticker_background.bmp", "backsettings_us.bmp", "backsettings.bmp",
                "backscreensaver.bmp", "backadvanced.bmp"};
    }

    std::map<QString, QByteArray> mixedSkinContents() const
    {
        std::map<QString, QByteArray> contents;
        for (const QString &entry : mixedSkinEntries())
            contents[entry] = readFile(QStringLiteral("skin/") + (entry == QLatin1String("background.bmp")
                                                                        ? QStringLiteral("BackGround.BMP")
                                                                        : entry));
        return contents;
    }

private slots:
    void initTestCase()
    {
        if (binary().isEmpty())
            QSKIP("needs the program (SKINTOOL_BINARY)");
    }

    // unzip, bsdtar and Python's zipfile list the same entries, in the
    // same order, at the root, and unpack the same bytes: the skin's files
    // alone.
    void unpackersReadTheZipAlike()
    {
        const QString skin = mixedSkin(QStringLiteral("skin"));
        const ProgramRun pack = skintool({QStringLiteral("pack"), skin, QStringLiteral("--out"), QStringLiteral("Ember.zip")});
        QCOMPARE(pack.err, QString());
        QCOMPARE(pack.status, 0);
        const QString listed = mixedSkinEntries().join(QLatin1Char('\n')) + QLatin1Char('\n');

        const ProgramRun unzipList = tool(QStringLiteral("unzip"), {QStringLiteral("-Z1"), QStringLiteral("Ember.zip")});
        QCOMPARE(unzipList.err, QString());
        QCOMPARE(unzipList.out, listed);
        const ProgramRun bsdtarList = tool(QStringLiteral("bsdtar"), {QStringLiteral("-tf"), QStringLiteral("Ember.zip")});
        QCOMPARE(bsdtarList.err, QString());
        QCOMPARE(bsdtarList.out, listed);
        // Python: the names, no UTF-8 flag on ASCII names, no folders, no
        // extra fields beyond the time and the owner, every CRC good.
        const ProgramRun python = tool(QStringLiteral("python3"), {QStringLiteral("-c"), QStringLiteral(R"(
import zipfile
with zipfile.ZipFile('Ember.zip') as z:
    assert z.testzip() is None
    for i in z.infolist():
        print(i.filename, i.flag_bits & 0x800, i.compress_type, i.date_time, oct(i.external_attr >> 16), i.extra[:2], i.extra[9:11] if len(i.extra) > 9 else b'')
)")});
        QCOMPARE(python.err, QString());
        QString expected;
        for (const QString &entry : mixedSkinEntries())
            expected += entry + QStringLiteral(" 0 8 (1980, 1, 1, 0, 0, 0) 0o100644 b'UT' b'ux'\n");
        QCOMPARE(python.out, expected);

        // Unpacked by each, the same files with the same bytes.
        const std::map<QString, QByteArray> contents = mixedSkinContents();
        QCOMPARE(tool(QStringLiteral("unzip"), {QStringLiteral("-q"), QStringLiteral("Ember.zip"), QStringLiteral("-d"),
                                                QStringLiteral("by-unzip")}).status,
                 0);
        QVERIFY(filesBelow(path(QStringLiteral("work/by-unzip"))) == contents);
        makeFolder(QStringLiteral("work/by-bsdtar"));
        QCOMPARE(tool(QStringLiteral("bsdtar"), {QStringLiteral("-xf"), QStringLiteral("Ember.zip"), QStringLiteral("-C"),
                                                 QStringLiteral("by-bsdtar")}).status,
                 0);
        QVERIFY(filesBelow(path(QStringLiteral("work/by-bsdtar"))) == contents);
        QCOMPARE(tool(QStringLiteral("python3"), {QStringLiteral("-m"), QStringLiteral("zipfile"), QStringLiteral("-e"),
                                                  QStringLiteral("Ember.zip"), QStringLiteral("by-python")}).status,
                 0);
        QVERIFY(filesBelow(path(QStringLiteral("work/by-python"))) == contents);
    }

    // The same files give the same bytes: in another time zone, by another
    // clock, with the files' own times moved.
    void sameSkinSameBytes()
    {
        const QString skin = mixedSkin(QStringLiteral("skin"));
        QCOMPARE(skintool({QStringLiteral("pack"), QStringLiteral("--out"), QStringLiteral("first.zip"), skin}).status, 0);
        for (const QString &file : QDir(skin).entryList(QDir::Files))
            QVERIFY(touchAt(skin + QLatin1Char('/') + file, 1700000000));
        QProcessEnvironment elsewhere;
        elsewhere.insert(QStringLiteral("TZ"), QStringLiteral("Asia/Tokyo"));
        elsewhere.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        QCOMPARE(skintool({QStringLiteral("pack"), QStringLiteral("--out"), QStringLiteral("second.zip"), skin}, elsewhere).status,
                 0);
        const QByteArray first = readFile(QStringLiteral("work/first.zip"));
        QVERIFY(!first.isEmpty());
        QVERIFY(first == readFile(QStringLiteral("work/second.zip")));
    }

    // Names are written in UTF-8 and flagged as such only where they are
    // not ASCII, so that an unpacker takes them for what they are.
    void namesInUtf8_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("flag");
        QTest::newRow("ascii") << QStringLiteral("background.bmp") << 0;
        QTest::newRow("accents") << QStringLiteral("décor-ü.bmp") << 0x800;
        QTest::newRow("not latin") << QStringLiteral("фон.bmp") << 0x800;
    }

    void namesInUtf8()
    {
        QFETCH(QString, name);
        QFETCH(int, flag);
        QByteArray zip;
        skintool::ZipWriter writer([&](QByteArrayView piece) { zip.append(piece); });
        writer.add(name, "content");
        writer.finish();
        writeFile(QStringLiteral("work/names.zip"), zip);
        const ProgramRun python = tool(QStringLiteral("python3"), {QStringLiteral("-c"), QStringLiteral(R"(
import sys, zipfile
with zipfile.ZipFile('names.zip') as z:
    i = z.infolist()[0]
    sys.stdout.buffer.write(i.filename.encode() + b' %d ' % (i.flag_bits & 0x800) + z.read(i))
)")});
        QCOMPARE(python.err, QString());
        QCOMPARE(python.out, QStringLiteral("%1 %2 content").arg(name).arg(flag));
    }

    // A skin that check finds an error in is not packed, and nothing is
    // written, not even over an earlier zip; --force packs it as it is.
    // Warnings do not stop it.
    void refusedOnCheckErrors_data()
    {
        QTest::addColumn<QByteArray>("background");
        QTest::addColumn<bool>("force");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        const QByteArray broken = QByteArray("BM") + QByteArray(40, '\xff');
        QTest::newRow("broken") << broken << false << 1 << QStringLiteral("error: broken");
        QTest::newRow("broken, forced") << broken << true << 0 << QString();
        QTest::newRow("a warning only") << QByteArray() << false << 0 << QString();
    }

    void refusedOnCheckErrors()
    {
        QFETCH(QByteArray, background);
        QFETCH(bool, force);
        QFETCH(int, status);
        QFETCH(QString, said);
        const QString skin = mixedSkin(QStringLiteral("skin"));
        if (!background.isEmpty())
            writeFile(QStringLiteral("skin/BackGround.BMP"), background);
        writeFile(QStringLiteral("work/Ember.zip"), "the earlier zip");
        QStringList arguments{QStringLiteral("pack"), QStringLiteral("--out"), QStringLiteral("Ember.zip"), skin};
        if (force)
            arguments.append(QStringLiteral("--force"));
        const ProgramRun run = skintool(arguments);
        QCOMPARE(run.status, status);
        if (status != 0) {
            QVERIFY2(run.err.contains(said), qPrintable(run.err));
            QVERIFY2(run.err.contains(QStringLiteral("nothing written")), qPrintable(run.err));
            QCOMPARE(readFile(QStringLiteral("work/Ember.zip")), QByteArray("the earlier zip"));
            QCOMPARE(entriesIn(path(QStringLiteral("work"))), QStringList{QStringLiteral("Ember.zip")});
        } else {
            QCOMPARE(run.err, QString());
            QCOMPARE(tool(QStringLiteral("unzip"), {QStringLiteral("-q"), QStringLiteral("Ember.zip"), QStringLiteral("-d"),
                                                    QStringLiteral("unpacked")}).status,
                     0);
            QVERIFY(filesBelow(path(QStringLiteral("work/unpacked"))) == mixedSkinContents());
        }
    }

    // What cannot be packed is said, with exit status 2, and writes nothing.
    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("said");
        QTest::newRow("no --out") << QStringList{"pack", "skin"} << "--out NAME.zip is needed";
        QTest::newRow("two folders") << QStringList{"pack", "--out", "x.zip", "skin", "skin"} << "one FOLDER at a time";
        QTest::newRow("no folder") << QStringList{"pack", "--out", "x.zip"} << "no FOLDER given";
        QTest::newRow("missing folder") << QStringList{"pack", "--out", "x.zip", "nowhere"} << "nowhere: no such folder";
        QTest::newRow("output in a missing folder") << QStringList{"pack", "--out", "no/x.zip", "skin"} << "no/x.zip: ";
        QTest::newRow("output is a folder") << QStringList{"pack", "--out", "skin", "skin"} << "skin: ";
    }

    void failures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, said);
        mixedSkin(QStringLiteral("work/skin"));
        const auto before = filesBelow(workDir());
        const ProgramRun run = skintool(arguments);
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.startsWith(QStringLiteral("skintool: ")) && run.err.contains(said), qPrintable(run.err));
        QVERIFY(filesBelow(workDir()) == before);
    }

private:
    static QStringList entriesIn(const QString &folder)
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }
};

QTEST_MAIN(PackTest)
#include "pack_test.moc"
