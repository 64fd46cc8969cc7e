// skintool, run as the real binary: check's codes, exit statuses and JSON,
// render's and sheet's pictures, hostile files and unwritable output.

#include "support/fixture.h"

#include <QBuffer>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <vector>

namespace {

// Far more than any of these runs needs; a run that blocks on a FIFO or
// reads a huge file through would reach it.
constexpr int Patience = 120000;

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

const QSize BackgroundSize(800, 600);
const QSize StickerSize(178, 357);
const QSize PanelSize(615, 599);

// A 24-bit BMP header claiming a size, followed by a few bytes of pixels.
QByteArray bmpHeader(qint32 width, qint32 height, quint16 bits = 24, quint32 compression = 0)
{
    QByteArray bytes("BM");
    auto put32 = [&](quint32 value) {
        for (int i = 0; i < 4; ++i)
            bytes.append(char((value >> (8 * i)) & 0xff));
    };
    auto put16 = [&](quint16 value) {
        bytes.append(char(value & 0xff));
        bytes.append(char(value >> 8));
    };
    put32(54 + 16);
    put32(0);
    put32(54);
    put32(40);
    put32(quint32(width));
    put32(quint32(height));
    put16(1);
    put16(bits);
    put32(compression);
    put32(0);
    put32(2835);
    put32(2835);
    put32(0);
    put32(0);
    bytes.append(16, '\x7f');
    return bytes;
}

QByteArray pictureBytes(QSize size, QColor color, const char *format)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QByteArray pngBytes(QSize size, QColor color)
{
    return pictureBytes(size, color, "PNG");
}

QStringList codesOf(const QJsonObject &folder)
{
    QStringList codes;
    for (const QJsonValue &problem : folder.value(QStringLiteral("problems")).toArray())
        codes.append(problem[QStringLiteral("code")].toString() + QLatin1Char(' ') + problem[QStringLiteral("file")].toString());
    codes.sort();
    return codes;
}

QString messagesOf(const QJsonObject &folder)
{
    QStringList messages;
    for (const QJsonValue &problem : folder.value(QStringLiteral("problems")).toArray())
        messages.append(problem[QStringLiteral("message")].toString());
    return messages.join(QLatin1Char('\n'));
}

} // namespace

class SkintoolTest : public Fixture
{
    Q_OBJECT

private:
    Run skintool(const QStringList &arguments, const QProcessEnvironment &extra = {}) const
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(extra);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(workDir());
        process.start(binary(), arguments);
        Run run;
        if (!process.waitForFinished(Patience)) {
            process.kill();
            process.waitForFinished();
            run.err = QStringLiteral("did not finish");
            return run;
        }
        run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    static QString binary() { return qEnvironmentVariable("SKINTOOL_BINARY"); }

    // skintool run with its arguments and working directory given as bytes,
    // which a QProcess would pass as UTF-8 only.
    Run skintoolRaw(const QList<QByteArray> &arguments, const QByteArray &directory) const
    {
        const QByteArray program = QFile::encodeName(binary());
        const QByteArray out = QFile::encodeName(path(QStringLiteral("stdout")));
        const QByteArray err = QFile::encodeName(path(QStringLiteral("stderr")));
        std::vector<const char *> argv{program.constData()};
        for (const QByteArray &argument : arguments)
            argv.push_back(argument.constData());
        argv.push_back(nullptr);
        const pid_t child = ::fork();
        if (child == 0) {
            const int outFd = ::open(out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int errFd = ::open(err.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (outFd < 0 || errFd < 0 || ::dup2(outFd, STDOUT_FILENO) < 0 || ::dup2(errFd, STDERR_FILENO) < 0
                || ::chdir(directory.constData()) != 0)
                ::_exit(98);
            ::execv(program.constData(), const_cast<char *const *>(argv.data()));
            ::_exit(99);
        }
        Run run;
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child)
            return run;
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = QString::fromUtf8(readRaw(out));
        run.err = QString::fromUtf8(readRaw(err));
        return run;
    }

    // A folder with every slot's plain file at its slot's size, each in a
    // colour of its own.
    QString cleanSkin(const QString &relative) const
    {
        writeBmp(relative + QStringLiteral("/background.bmp"), QColor(0x20, 0x40, 0x90), BackgroundSize);
        writeBmp(relative + QStringLiteral("/sticker_background.bmp"), QColor(0x30, 0xa0, 0x30), StickerSize);
        writeBmp(relative + QStringLiteral("/backsettings.bmp"), QColor(0xa0, 0x30, 0x30), PanelSize);
        writeBmp(relative + QStringLiteral("/backscreensaver.bmp"), QColor(0xa0, 0xa0, 0x30), PanelSize);
        writeBmp(relative + QStringLiteral("/backadvanced.bmp"), QColor(0x30, 0xa0, 0xa0), PanelSize);
        return path(relative);
    }

    QJsonObject checkJson(const QString &folder, int *status = nullptr) const
    {
        const Run run = skintool({QStringLiteral("check"), QStringLiteral("--json"), folder});
        if (status)
            *status = run.status;
        const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8());
        return document[QStringLiteral("folders")][0].toObject();
    }

    // Every file below the test's folder with its content's hash.
    std::map<QString, QByteArray> tree() const
    {
        std::map<QString, QByteArray> files;
        QDirIterator it(path(QString()), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            const QFileInfo info(file);
            QFile in(file);
            files[file] = info.isFile() && !info.isSymLink() && in.open(QIODevice::ReadOnly) ? in.readAll()
                                                                                            : QByteArray::number(info.size());
        }
        return files;
    }

    // The folder of hostile files: each slot's file is one of them.
    QString hostileSkin()
    {
        const QString skin = makeFolder(QStringLiteral("hostile"));
        if (::mkfifo(QFile::encodeName(skin + QStringLiteral("/background.bmp")).constData(), 0644) != 0)
            qWarning("no FIFO: %s", strerror(errno));
        QFile::link(QStringLiteral("/dev/zero"), skin + QStringLiteral("/sticker_background.bmp"));
        writeFile(QStringLiteral("hostile/backsettings.bmp"), bmpHeader(100000, 100000));
        QFile sparse(skin + QStringLiteral("/backscreensaver.bmp"));
        if (!sparse.open(QIODevice::WriteOnly) || !sparse.write(bmpHeader(800, 600)) || !sparse.resize(qint64(2) << 30))
            qWarning("no sparse file");
        writeFile(QStringLiteral("hostile/backadvanced.bmp"), bmpHeader(615, 599).left(30));
        return skin;
    }

private slots:
    void initTestCase()
    {
        if (binary().isEmpty())
            QSKIP("needs the program (SKINTOOL_BINARY)");
    }

    // Each row is a small skin folder that shows one code (besides the
    // "missing" of the slots it leaves empty on purpose).
    void checkCodes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("codes");
        QTest::addColumn<QString>("message");
        QTest::newRow("clean") << "clean" << QStringList{} << "";
        QTest::newRow("missing") << "missing" << QStringList{"missing sticker_background.bmp"}
                                 << "no file loads for the sticker";
        QTest::newRow("broken") << "broken" << QStringList{"broken sticker_background.bmp", "missing sticker_background.bmp"}
                                << "sticker_background.bmp does not load: not a picture";
        QTest::newRow("broken plain beside good _us")
            << "broken-plain" << QStringList{"broken backsettings.bmp"} << "backsettings.bmp does not load: not a picture";
        QTest::newRow("smaller") << "smaller" << QStringList{"size backsettings.bmp"}
                                 << "backsettings.bmp is 600x590, smaller than its 615x599 slot: columns 600-614 and rows 590-598 stay uncovered";
        QTest::newRow("larger") << "larger" << QStringList{"size sticker_background.bmp"}
                                << "sticker_background.bmp is 178x400, larger than the designed 178x361: rows 357-399 are cut off";
        QTest::newRow("designed sizes") << "designed" << QStringList{} << "";
        QTest::newRow("PNG content") << "png" << QStringList{"format background.bmp"}
                                     << "background.bmp holds PNG content, not a 24-bit uncompressed BMP";
        QTest::newRow("8-bit") << "8bit" << QStringList{"format backadvanced.bmp"} << "backadvanced.bmp is a 8-bit BMP";
        QTest::newRow("truncated lines") << "short" << QStringList{"format backscreensaver.bmp"}
                                         << "backscreensaver.bmp is truncated: 594 of its 599 lines are missing";
        QTest::newRow("letter case") << "case" << QStringList{"letter-case Background.BMP"}
                                     << "Background.BMP is found for background.bmp only by ignoring letter case";
        QTest::newRow("ambiguous") << "ambiguous" << QStringList{"ambiguous background.bmp"}
                                   << "BACKGROUND.bmp, background.bmp are equal ignoring letter case; background.bmp is used";
        QTest::newRow("shadowed") << "shadowed" << QStringList{"shadowed backsettings_us.bmp"}
                                  << "backsettings_us.bmp never shows: backsettings.bmp loads after it";
        QTest::newRow("unknown names") << "unknown" << QStringList{"unknown-name backround.bmp", "unknown-name notes.BMP"}
                                       << "backround.bmp is not a skin file; did you mean background.bmp?\n"
                                          "notes.BMP is not a skin file";
    }

    void checkCodes()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, codes);
        QFETCH(QString, message);
        const QString skin = cleanSkin(name);
        const std::map<QString, std::function<void()>> changes = {
            {"clean", [] {}},
            {"missing", [&] { QFile::remove(skin + "/sticker_background.bmp"); }},
            {"broken", [&] { writeFile(name + "/sticker_background.bmp", "not a picture at all"); }},
            {"broken-plain", [&] {
                 writeBmp(name + "/backsettings_us.bmp", Qt::red, PanelSize);
                 writeFile(name + "/backsettings.bmp", QByteArray(3000, 'x'));
             }},
            {"smaller", [&] { writeBmp(name + "/backsettings.bmp", Qt::red, {600, 590}); }},
            {"larger", [&] { writeBmp(name + "/sticker_background.bmp", Qt::red, {178, 400}); }},
            {"designed", [&] {
                 writeBmp(name + "/sticker_background.bmp", Qt::red, {178, 361});
                 writeBmp(name + "/backadvanced.bmp", Qt::red, {616, 600});
             }},
            {"png", [&] { writeFile(name + "/background.bmp", pngBytes(BackgroundSize, Qt::blue)); }},
            {"8bit", [&] {
                 QImage image(PanelSize, QImage::Format_Indexed8);
                 QList<QRgb> colours;
                 for (int i = 0; i < 256; ++i)
                     colours.append(qRgb(i, 255 - i, i / 2));
                 image.setColorTable(colours);
                 image.fill(1);
                 image.save(skin + "/backadvanced.bmp", "BMP");
             }},
            {"short", [&] {
                 const QByteArray full = readFile(name + "/backscreensaver.bmp");
                 writeFile(name + "/backscreensaver.bmp", full.left(54 + 5 * 1848 + 100));
             }},
            {"case", [&] { QFile::rename(skin + "/background.bmp", skin + "/Background.BMP"); }},
            {"ambiguous", [&] { writeBmp(name + "/BACKGROUND.bmp", Qt::red, BackgroundSize); }},
            {"shadowed", [&] { writeBmp(name + "/backsettings_us.bmp", Qt::red, PanelSize); }},
            {"unknown", [&] {
                 writeBmp(name + "/backround.bmp", Qt::red);
                 writeBmp(name + "/notes.BMP", Qt::red);
                 writeFile(name + "/readme.txt", "not a picture, not a .bmp");
             }},
        };
        changes.at(name)();

        int status = -1;
        const QJsonObject folder = checkJson(skin, &status);
        QCOMPARE(folder[QStringLiteral("folder")].toString(), skin);
        QCOMPARE(codesOf(folder), codes);
        if (!message.isEmpty()) {
            for (const QString &line : message.split(QLatin1Char('\n')))
                QVERIFY2(messagesOf(folder).contains(line), qPrintable(messagesOf(folder)));
        }
        const bool error = codes.join(QLatin1Char(' ')).contains(QLatin1String("broken"));
        QCOMPARE(status, error ? 1 : 0);
        QCOMPARE(skintool({QStringLiteral("check"), QStringLiteral("--strict"), skin}).status, codes.isEmpty() ? 0 : 1);
    }

    // What each slot ends up with: the _us fallback, the plain file winning,
    // and the letter-case lookup.
    void checkReportsWhatEachSlotShows()
    {
        writeBmp(QStringLiteral("skin/background_us.bmp"), Qt::red, BackgroundSize);
        writeBmp(QStringLiteral("skin/backsettings_us.bmp"), Qt::red, {615, 600});
        writeBmp(QStringLiteral("skin/backsettings.bmp"), Qt::red, PanelSize);
        writeBmp(QStringLiteral("skin/BackAdvanced.bmp"), Qt::red, PanelSize);
        const QJsonObject folder = checkJson(path(QStringLiteral("skin")));
        const QJsonArray expected = {
            QJsonObject{{"slot", "background"}, {"file", "background_us.bmp"}, {"width", 800}, {"height", 600}},
            QJsonObject{{"slot", "sticker"}, {"file", QJsonValue()}},
            QJsonObject{{"slot", "desktop-settings"}, {"file", "backsettings.bmp"}, {"width", 615}, {"height", 599}},
            QJsonObject{{"slot", "screensaver-settings"}, {"file", QJsonValue()}},
            QJsonObject{{"slot", "advanced-settings"}, {"file", "BackAdvanced.bmp"}, {"width", 615}, {"height", 599}},
        };
        QCOMPARE(folder[QStringLiteral("slots")].toArray(), expected);
    }

    // The whole JSON document, parsed back: totals, folders in order, each
    // problem with all its fields.
    void checkJsonDocument()
    {
        const QString clean = cleanSkin(QStringLiteral("clean"));
        const QString broken = cleanSkin(QStringLiteral("broken"));
        writeFile(QStringLiteral("broken/sticker_background.bmp"), "x");
        const Run run = skintool({QStringLiteral("check"), QStringLiteral("--json"), clean, broken});
        QCOMPARE(run.status, 1);
        QJsonParseError error;
        const QJsonObject document = QJsonDocument::fromJson(run.out.toUtf8(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(document[QStringLiteral("version")].toInt(), 1);
        QCOMPARE(document[QStringLiteral("errors")].toInt(), 1);
        QCOMPARE(document[QStringLiteral("warnings")].toInt(), 1);
        const QJsonArray folders = document[QStringLiteral("folders")].toArray();
        QCOMPARE(folders.size(), 2);
        QCOMPARE(folders[0][QStringLiteral("folder")].toString(), clean);
        QCOMPARE(folders[0][QStringLiteral("problems")].toArray(), QJsonArray());
        QCOMPARE(folders[0][QStringLiteral("errors")].toInt(), 0);
        QCOMPARE(folders[0][QStringLiteral("slots")].toArray().size(), 5);
        const QJsonArray problems = folders[1][QStringLiteral("problems")].toArray();
        const QJsonArray expected = {
            QJsonObject{{"code", "broken"}, {"severity", "error"}, {"slot", "sticker"},
                        {"file", "sticker_background.bmp"},
                        {"message", "sticker_background.bmp does not load: not a picture"}},
            QJsonObject{{"code", "missing"}, {"severity", "warning"}, {"slot", "sticker"},
                        {"file", "sticker_background.bmp"},
                        {"message", "no file loads for the sticker (sticker_background.bmp); it keeps its earlier picture"}},
        };
        QCOMPARE(problems, expected);
    }

    void checkText()
    {
        const QString skin = cleanSkin(QStringLiteral("skin"));
        writeBmp(QStringLiteral("skin/backround.bmp"), Qt::red);
        // Relative to the working directory, and printed as given.
        const Run given = skintool({QStringLiteral("check"), QStringLiteral("../skin")});
        QCOMPARE(given.status, 0);
        QVERIFY2(given.out.startsWith(QLatin1String("../skin: 0 errors, 1 warning\n")), qPrintable(given.out));
        QVERIFY(given.out.contains(QLatin1String("  sticker               sticker_background.bmp  178x357\n")));
        QVERIFY(given.out.contains(QLatin1String("warning unknown-name: backround.bmp is not a skin file; did you")));
        for (const QString &line : given.out.split(QLatin1Char('\n')))
            QVERIFY2(line.size() <= 80, qPrintable(line));
        QVERIFY(!given.out.contains(QLatin1Char('\033'))); // not a terminal
        QCOMPARE(given.err, QString());
    }

    // Colour only on a terminal, and not with NO_COLOR.
    void colourOnlyOnATerminal()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("script")).isEmpty())
            QSKIP("needs script(1) for a terminal");
        const QString skin = cleanSkin(QStringLiteral("skin"));
        writeFile(QStringLiteral("skin/sticker_background.bmp"), "x");
        const QString command = QStringLiteral("'%1' check '%2'").arg(binary(), skin);
        auto onTerminal = [&](const QString &noColor) {
            QProcess process;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.remove(QStringLiteral("NO_COLOR"));
            if (!noColor.isNull())
                env.insert(QStringLiteral("NO_COLOR"), noColor);
            process.setProcessEnvironment(env);
            process.start(QStringLiteral("script"), {"-qec", command, "/dev/null"});
            process.waitForFinished(Patience);
            return QString::fromUtf8(process.readAllStandardOutput());
        };
        QVERIFY(onTerminal(QString()).contains(QLatin1String("\033[1;31merror\033[0m broken")));
        QVERIFY(!onTerminal(QStringLiteral("1")).contains(QLatin1Char('\033')));
        QVERIFY(onTerminal(QStringLiteral("")).contains(QLatin1Char('\033'))); // empty means unset
    }

    void exitStatuses_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("stdoutStart");
        QTest::addColumn<QString>("stderrStart");
        QTest::newRow("no arguments") << QStringList{} << 2 << "" << "skintool: no command given\nUsage: skintool";
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "Usage: skintool COMMAND" << "";
        QTest::newRow("-h") << QStringList{"-h"} << 0 << "Usage: skintool COMMAND" << "";
        QTest::newRow("check --help") << QStringList{"check", "--help"} << 0 << "Usage: skintool check" << "";
        QTest::newRow("--version") << QStringList{"--version"} << 0 << "skintool " SKINPREVIEW_VERSION "\n" << "";
        QTest::newRow("unknown command") << QStringList{"chek", "x"} << 2 << "" << "skintool: unknown command 'chek'\nUsage:";
        QTest::newRow("unknown option") << QStringList{"--frob"} << 2 << "" << "skintool: unknown option '--frob'\nUsage:";
        QTest::newRow("unknown check option") << QStringList{"check", "--frob", "."} << 2 << ""
                                              << "skintool: Unknown option 'frob'.\nUsage: skintool check";
        QTest::newRow("no folder") << QStringList{"check"} << 2 << "" << "skintool: check: no FOLDER given";
        QTest::newRow("missing folder") << QStringList{"check", "nowhere"} << 2 << "" << "skintool: nowhere: no such folder\n";
        QTest::newRow("a file") << QStringList{"check", "file.bmp"} << 2 << "" << "skintool: file.bmp: not a folder\n";
        QTest::newRow("sheet without --out") << QStringList{"sheet", "."} << 2 << "" << "skintool: sheet: --out";
        QTest::newRow("warnings only") << QStringList{"check", "."} << 0 << "." << "";
        QTest::newRow("warnings, strict") << QStringList{"check", "--strict", "."} << 1 << "." << "";
    }

    void exitStatuses()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, stdoutStart);
        QFETCH(QString, stderrStart);
        writeBmp(QStringLiteral("work/file.bmp"), Qt::red);
        const Run run = skintool(arguments);
        QCOMPARE(run.status, status);
        // (An empty start expects nothing at all on that stream.)
        QVERIFY2(stdoutStart.isEmpty() ? run.out.isEmpty() : run.out.startsWith(stdoutStart), qPrintable(run.out));
        QVERIFY2(stderrStart.isEmpty() ? run.err.isEmpty() : run.err.startsWith(stderrStart), qPrintable(run.err));
    }

    // A missing folder among good ones: the others are still checked.
    void missingFolderAmongOthers()
    {
        const QString skin = cleanSkin(QStringLiteral("skin"));
        const Run run = skintool({QStringLiteral("check"), QStringLiteral("nowhere"), skin});
        QCOMPARE(run.status, 2);
        QVERIFY(run.out.startsWith(skin + QStringLiteral(": 0 errors")));
        QCOMPARE(run.err, QStringLiteral("skintool: nowhere: no such folder\n"));
    }

    // Hostile files are refused at once, each with its reason, and
    // neither check nor render blocks on them.
    void hostileFolder()
    {
        const QString skin = hostileSkin();
        const QJsonObject folder = checkJson(skin);
        const QString messages = messagesOf(folder);
        for (const char *expected : {"background.bmp does not load: not a regular file",
                                     "sticker_background.bmp does not load: not a regular file",
                                     "backsettings.bmp does not load: too large",
                                     "backscreensaver.bmp does not load: too large",
                                     "backadvanced.bmp does not load: truncated"})
            QVERIFY2(messages.contains(QLatin1String(expected)), qPrintable(messages));

        const Run render = skintool({QStringLiteral("render"), QStringLiteral("--out"), path(QStringLiteral("out")), skin});
        QCOMPARE(render.status, 0);
        const QImage preview(path(QStringLiteral("out/hostile/preview.png")));
        QCOMPARE(preview.pixelColor(400, 300), QImage(QStringLiteral(":/background.bmp")).pixelColor(400, 300));
    }

    // check writes nothing; neither it nor render reads or writes
    // "lastpath.skin" or looks at the default skins folder.
    void leavesTheProgramsFilesAlone()
    {
        const QString remembered = cleanSkin(QStringLiteral("remembered"));
        writeBmp(QStringLiteral("data/tavix/Data/Skins/background.bmp"), Qt::red, BackgroundSize);
        writeFile(QStringLiteral("work/lastpath.skin"), QFile::encodeName(remembered) + "\r\n");
        const QString empty = makeFolder(QStringLiteral("empty"));
        const auto before = tree();
        QCOMPARE(skintool({QStringLiteral("check"), remembered, empty}).status, 0);
        QVERIFY(tree() == before);

        // render a skin, then an empty folder: the empty one shows the
        // built-in pictures, not the earlier skin's, nor the remembered one.
        QProcessEnvironment env;
        env.insert(QStringLiteral("XDG_DATA_HOME"), dataDir());
        const Run run = skintool({QStringLiteral("render"), QStringLiteral("--out"), QStringLiteral("out"), remembered, empty}, env);
        QCOMPARE(run.status, 0);
        QCOMPARE(readFile(QStringLiteral("work/lastpath.skin")), QFile::encodeName(remembered) + "\r\n");
        const QImage builtIn(QStringLiteral(":/background.bmp"));
        const QImage skinned(path(QStringLiteral("work/out/remembered/preview.png")));
        const QImage plain(path(QStringLiteral("work/out/empty/preview.png")));
        QCOMPARE(skinned.pixelColor(400, 300), QColor(0x20, 0x40, 0x90));
        QCOMPARE(plain.pixelColor(400, 300), builtIn.pixelColor(400, 300));
        QCOMPARE(plain.pixelColor(100, 400), QImage(QStringLiteral(":/sticker.bmp")).pixelColor(95, 166));
        // The selector of the empty folder shows the built-in background too.
        QCOMPARE(QImage(path(QStringLiteral("work/out/empty/selector.png"))).pixelColor(775, 300), builtIn.pixelColor(775, 300));
    }

    // Five pictures per skin, in a subfolder named after it; the same
    // input gives the same bytes.
    void renderPictures()
    {
        const QString a = cleanSkin(QStringLiteral("a/Skin"));
        writeBmp(QStringLiteral("b/Skin/background_us.bmp"), Qt::darkMagenta, BackgroundSize);
        writeBmp(QStringLiteral("b/Skin/backsettings_us.bmp"), Qt::darkCyan, PanelSize);
        const QString b = path(QStringLiteral("b/Skin"));
        const QStringList names = {"preview.png", "desktop-settings.png", "screensaver-settings.png",
                                   "advanced-settings.png", "selector.png"};
        const Run first = skintool({QStringLiteral("render"), QStringLiteral("--out"), QStringLiteral("one"), a, b});
        QCOMPARE(first.status, 0);
        QCOMPARE(first.err, QString());
        QCOMPARE(QDir(path(QStringLiteral("work/one"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
                 QStringList({"Skin", "Skin-2"}));
        for (const QString &folder : {QStringLiteral("Skin"), QStringLiteral("Skin-2")})
            QCOMPARE(QDir(path(QStringLiteral("work/one/") + folder)).entryList(QDir::Files, QDir::Name),
                     QStringList({"advanced-settings.png", "desktop-settings.png", "preview.png",
                                  "screensaver-settings.png", "selector.png"}));

        // In the working directory by default, byte for byte the same.
        QCOMPARE(skintool({QStringLiteral("render"), a, b}).status, 0);
        for (const QString &folder : {QStringLiteral("Skin"), QStringLiteral("Skin-2")})
            for (const QString &name : names)
                QVERIFY2(readFile("work/one/" + folder + '/' + name) == readFile("work/" + folder + '/' + name),
                         qPrintable(folder + '/' + name));

        auto at = [&](const char *file, QPoint point) {
            return QImage(path(QStringLiteral("work/one/") + QLatin1String(file))).pixelColor(point);
        };
        QCOMPARE(at("Skin/preview.png", {400, 300}), QColor(0x20, 0x40, 0x90));
        QCOMPARE(at("Skin/preview.png", {100, 400}), QColor(0x30, 0xa0, 0x30));
        QCOMPARE(at("Skin/desktop-settings.png", {500, 300}), QColor(0xa0, 0x30, 0x30));
        QCOMPARE(at("Skin/screensaver-settings.png", {500, 300}), QColor(0xa0, 0xa0, 0x30));
        QCOMPARE(at("Skin/advanced-settings.png", {500, 300}), QColor(0x30, 0xa0, 0xa0));
        QCOMPARE(at("Skin/selector.png", {775, 300}), QColor(0x20, 0x40, 0x90));
        // The second skin: its _us files, and the built-in sticker.
        QCOMPARE(at("Skin-2/preview.png", {400, 300}), QColor(Qt::darkMagenta));
        QCOMPARE(at("Skin-2/preview.png", {100, 400}), QImage(QStringLiteral(":/sticker.bmp")).pixelColor(95, 166));
        QCOMPARE(at("Skin-2/desktop-settings.png", {500, 300}), QColor(Qt::darkCyan));
        QCOMPARE(at("Skin-2/selector.png", {775, 300}), QColor(Qt::darkMagenta));
        // The clicked item is highlighted: red inside "Desktop settings" only.
        const QImage clicked(path(QStringLiteral("work/one/Skin/desktop-settings.png")));
        const QImage unclicked(path(QStringLiteral("work/one/Skin/preview.png")));
        auto hasRed = [](const QImage &image, QRect box) {
            for (int y = box.top(); y <= box.bottom(); ++y)
                for (int x = box.left(); x <= box.right(); ++x)
                    if (image.pixelColor(x, y) == QColor(255, 0, 0))
                        return true;
            return false;
        };
        QVERIFY(hasRed(clicked, {35, 109, 110, 19}));
        QVERIFY(!hasRed(clicked, {35, 49, 95, 19}));
        QVERIFY(!hasRed(unclicked, {35, 109, 110, 19}));
    }

    // Names are bytes: a working directory, a FOLDER and an output path that
    // are not UTF-8 reach the file system as the same bytes, and are shown
    // with U+FFFD for each byte that is no character.
    void namesAreBytes_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("shown");
        QTest::newRow("Latin-1") << QByteArray("Sk\xe9n") << QStringLiteral("Sk\uFFFDn");
        QTest::newRow("lone continuation byte") << QByteArray("Skin\x80") << QStringLiteral("Skin\uFFFD");
        QTest::newRow("UTF-8") << QByteArray("Sk\xc3\xafn") << QStringLiteral("Sk\u00EFn");
        QTest::newRow("control character") << QByteArray("Sk\x01n") << QStringLiteral("Sk\u0001n");
    }

    void namesAreBytes()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, shown);
        const QByteArray work = QFile::encodeName(path(QString())) + "/work-" + name;
        const QByteArray skin = work + '/' + name;
        QCOMPARE(::mkdir(work.constData(), 0755), 0);
        QCOMPARE(::mkdir(skin.constData(), 0755), 0);
        const struct
        {
            const char *file;
            QSize size;
            QColor colour;
        } files[] = {{"background.bmp", BackgroundSize, QColor(0x20, 0x40, 0x90)},
                     {"sticker_background.bmp", StickerSize, Qt::darkGreen},
                     {"backsettings.bmp", PanelSize, Qt::darkRed},
                     {"backscreensaver.bmp", PanelSize, Qt::darkYellow},
                     {"backadvanced.bmp", PanelSize, Qt::darkCyan}};
        for (const auto &file : files)
            QVERIFY(writeRaw(skin + '/' + file.file, pictureBytes(file.size, file.colour, "BMP")));
        QVERIFY(writeRaw(skin + "/notes-" + name + ".bmp", "x"));

        const Run check = skintoolRaw({"check", "--json", name}, work);
        QCOMPARE(check.status, 0);
        QJsonParseError error;
        const QJsonObject folder = QJsonDocument::fromJson(check.out.toUtf8(), &error)["folders"][0].toObject();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(folder["folder"].toString(), shown);
        QCOMPARE(folder["slots"][0]["file"].toString(), QStringLiteral("background.bmp"));
        QCOMPARE(folder["slots"][0]["width"].toInt(), 800);
        QCOMPARE(codesOf(folder), QStringList{"unknown-name notes-" + shown + ".bmp"});

        // Into an output folder named as the skin: its subfolder bears the
        // skin folder's bytes.
        const Run render = skintoolRaw({"render", "--out", "out-" + name, name}, work);
        QCOMPARE(render.status, 0);
        const QImage preview = QImage::fromData(readRaw(work + "/out-" + name + '/' + name + "/preview.png"));
        QCOMPARE(preview.pixelColor(400, 300), QColor(0x20, 0x40, 0x90));

        const Run sheet = skintoolRaw({"sheet", "--out", name + ".png", name}, work);
        QCOMPARE(sheet.status, 0);
        QCOMPARE(QImage::fromData(readRaw(work + '/' + name + ".png")).pixelColor(12 + 100, 12 + 75),
                 QColor(0x20, 0x40, 0x90));

        // A missing folder is named on standard error as shown.
        const Run missing = skintoolRaw({"check", name + "-gone"}, work);
        QCOMPARE(missing.status, 2);
        QCOMPARE(missing.err, "skintool: " + shown + "-gone: no such folder\n");
    }

    // An output folder that cannot be written: exit 2, and not a byte left
    // behind. As root, permission bits stop nothing, so the folder is made
    // read-only by a bind mount in a private mount namespace.
    void unwritableOutput()
    {
        const QString skin = cleanSkin(QStringLiteral("skin"));
        const QString out = makeFolder(QStringLiteral("out"));
        const QByteArray program = QFile::encodeName(binary());
        const QByteArray outBytes = QFile::encodeName(out);
        const QByteArray skinBytes = QFile::encodeName(skin);
        for (const char *command : {"render", "sheet", "template"}) {
            const QByteArray target = qstrcmp(command, "sheet") == 0 ? outBytes + "/sheet.png" : outBytes;
            // template takes no FOLDER
            const char *folder = qstrcmp(command, "template") == 0 ? nullptr : skinBytes.constData();
            const pid_t child = ::fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                if (::geteuid() == 0) {
                    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
                        || ::mount(outBytes.constData(), outBytes.constData(), nullptr, MS_BIND, nullptr) != 0
                        || ::mount(nullptr, outBytes.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
                        ::_exit(77);
                } else if (::chmod(outBytes.constData(), 0555) != 0) {
                    ::_exit(77);
                }
                const int devnull = ::open("/dev/null", O_WRONLY);
                ::dup2(devnull, STDERR_FILENO);
                ::execl(program.constData(), program.constData(), command, "--out", target.constData(), folder,
                        static_cast<char *>(nullptr));
                ::_exit(99);
            }
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            ::chmod(outBytes.constData(), 0755);
            QVERIFY(WIFEXITED(status));
            if (WEXITSTATUS(status) == 77)
                QSKIP("no read-only place to write to here");
            QCOMPARE(WEXITSTATUS(status), 2);
            QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
        }
    }

    // One sheet: each preview at 200 x 150 with its name under it.
    void sheet()
    {
        const QString a = cleanSkin(QStringLiteral("Alpha"));
        writeBmp(QStringLiteral("Beta/background.bmp"), Qt::darkYellow, BackgroundSize);
        const QString b = path(QStringLiteral("Beta"));
        const Run run = skintool({QStringLiteral("sheet"), QStringLiteral("--out"), QStringLiteral("sheet.png"), a, b});
        QCOMPARE(run.status, 0);
        const QImage sheet(path(QStringLiteral("work/sheet.png")));
        QCOMPARE(sheet.size(), QSize(2 * 212 + 12, 12 + 150 + 22 + 12));
        QCOMPARE(sheet.pixelColor(12 + 100, 12 + 75), QColor(0x20, 0x40, 0x90));
        QCOMPARE(sheet.pixelColor(12 + 212 + 100, 12 + 75), QColor(Qt::darkYellow));
        // A name is written under each picture.
        const QImage name = sheet.copy(12, 12 + 150, 200, 22);
        bool written = false;
        for (int x = 0; x < name.width() && !written; ++x)
            for (int y = 0; y < name.height() && !written; ++y)
                written = name.pixelColor(x, y).lightness() < 120;
        QVERIFY(written);
        // The same again, byte for byte.
        const QByteArray bytes = readFile(QStringLiteral("work/sheet.png"));
        QCOMPARE(skintool({QStringLiteral("sheet"), QStringLiteral("--out"), QStringLiteral("sheet.png"), a, b}).status, 0);
        QCOMPARE(readFile(QStringLiteral("work/sheet.png")), bytes);
    }

    // With --guides, each picture has its guides beside it; the plain
    // pictures stay as they are.
    void renderGuides()
    {
        const QString skin = cleanSkin(QStringLiteral("Skin"));
        QCOMPARE(skintool({QStringLiteral("render"), QStringLiteral("--out"), QStringLiteral("plain"), skin}).status, 0);
        const Run run = skintool({QStringLiteral("render"), QStringLiteral("--guides"), QStringLiteral("--out"),
                                  QStringLiteral("guided"), skin});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.err, QString());
        const QStringList names = {"advanced-settings", "desktop-settings", "preview", "screensaver-settings", "selector"};
        QStringList files;
        for (const QString &name : names)
            files << name + QStringLiteral("-guides.png") << name + QStringLiteral(".png");
        QCOMPARE(QDir(path(QStringLiteral("work/guided/Skin"))).entryList(QDir::Files, QDir::Name), files);
        for (const QString &name : names) {
            const QByteArray plain = readFile(QStringLiteral("work/guided/Skin/") + name + QStringLiteral(".png"));
            QCOMPARE(plain, readFile(QStringLiteral("work/plain/Skin/") + name + QStringLiteral(".png")));
            const QImage guides(path(QStringLiteral("work/guided/Skin/") + name + QStringLiteral("-guides.png")));
            QCOMPARE(guides.size(), QSize(800, 600));
            QVERIFY2(guides != QImage::fromData(plain), qPrintable(name));
        }
        // The panel's guides over the panel's own picture, which fills its box.
        const QImage desktop(path(QStringLiteral("work/guided/Skin/desktop-settings-guides.png")));
        QCOMPARE(desktop.pixelColor(500, 300), QColor(0xa0, 0x30, 0x30));
    }

    // A template is the built-in look as a skin: five 24-bit uncompressed
    // BMPs with the classic header at their designed sizes, which check
    // finds nothing wrong with and render draws as the built-in pictures,
    // and a transparent guides picture of the same size for each.
    void templateIsTheBuiltInLook()
    {
        const Run made = skintool({QStringLiteral("template"), QStringLiteral("--out"), QStringLiteral("New skin")});
        QCOMPARE(made.status, 0);
        QCOMPARE(made.err, QString());
        QCOMPARE(made.out, QString());
        const QString skin = path(QStringLiteral("work/New skin"));
        const struct
        {
            const char *name;
            QSize size;
        } pictures[] = {{"background", {800, 600}}, {"sticker_background", {178, 361}}, {"backsettings", {616, 600}},
                        {"backscreensaver", {616, 600}}, {"backadvanced", {616, 600}}};
        QCOMPARE(QDir(skin).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name),
                 QStringList({"backadvanced.bmp", "background.bmp", "backscreensaver.bmp", "backsettings.bmp", "guides",
                              "sticker_background.bmp"}));
        QCOMPARE(QDir(skin + QStringLiteral("/guides")).entryList(QDir::Files, QDir::Name),
                 QStringList({"backadvanced.png", "background-selector.png", "background.png", "backscreensaver.png",
                              "backsettings.png", "sticker_background.png"}));
        auto le = [](const QByteArray &bytes, int at, int size) {
            quint32 value = 0;
            for (int i = size - 1; i >= 0; --i)
                value = value << 8 | quint8(bytes.at(at + i));
            return value;
        };
        for (const auto &picture : pictures) {
            const QString name = QString::fromLatin1(picture.name);
            const QByteArray bmp = readFile(QStringLiteral("work/New skin/") + name + QStringLiteral(".bmp"));
            QVERIFY2(bmp.size() > 54 && bmp.startsWith("BM"), picture.name);
            QCOMPARE(le(bmp, 14, 4), 40u);                              // the classic header
            QCOMPARE(QSize(int(le(bmp, 18, 4)), int(le(bmp, 22, 4))), picture.size);
            QCOMPARE(le(bmp, 28, 2), 24u);                              // bits per pixel
            QCOMPARE(le(bmp, 30, 4), 0u);                               // BI_RGB: uncompressed
            for (const QString &guidesName : {name, QStringLiteral("background-selector")}) {
                if (guidesName != name && name != QLatin1String("background"))
                    continue;
                const QImage guides(skin + QStringLiteral("/guides/") + guidesName + QStringLiteral(".png"));
                QCOMPARE(guides.size(), picture.size);
                QVERIFY(guides.hasAlphaChannel());
                QCOMPARE(qAlpha(guides.pixel(picture.size.width() / 2, picture.size.height() / 2)), 0);
                QVERIFY2(qAlpha(guides.pixel(0, 0)) == 255, qPrintable(guidesName)); // the slot's outline
            }
        }

        const Run check = skintool({QStringLiteral("check"), QStringLiteral("--strict"), skin});
        QCOMPARE(check.status, 0);
        QVERIFY2(check.out.contains(QLatin1String("0 errors, 0 warnings")), qPrintable(check.out));

        const QString empty = makeFolder(QStringLiteral("empty"));
        QCOMPARE(skintool({QStringLiteral("render"), QStringLiteral("--out"), QStringLiteral("r"), skin, empty}).status, 0);
        for (const char *name : {"preview.png", "desktop-settings.png", "screensaver-settings.png", "advanced-settings.png"})
            QVERIFY2(readFile(QStringLiteral("work/r/New skin/") + QLatin1String(name))
                         == readFile(QStringLiteral("work/r/empty/") + QLatin1String(name)),
                     name);
    }

    // A file in the way, even a link to nothing: nothing is written, and
    // the message names it. Nor does template take a FOLDER.
    void templateNeverOverwrites_data()
    {
        QTest::addColumn<QString>("inTheWay"); // below the output folder "t"
        QTest::addColumn<QString>("message");
        QTest::newRow("a picture") << "background.bmp" << "skintool: t/background.bmp: already exists; nothing written\n";
        QTest::newRow("a guides picture") << "guides/backsettings.png"
                                          << "skintool: t/guides/backsettings.png: already exists; nothing written\n";
        QTest::newRow("a dangling link") << "guides/background-selector.png=link"
                                         << "skintool: t/guides/background-selector.png: already exists; nothing written\n";
        QTest::newRow("a file named guides") << "guides=file" << "skintool: t/guides: cannot make the folder\n";
        QTest::newRow("a FOLDER given") << "" << "";
    }

    void templateNeverOverwrites()
    {
        QFETCH(QString, inTheWay);
        QFETCH(QString, message);
        makeFolder(QStringLiteral("work/t"));
        const QString name = inTheWay.section(QLatin1Char('='), 0, 0);
        if (inTheWay.endsWith(QLatin1String("=link"))) {
            makeFolder(QStringLiteral("work/t/guides"));
            QVERIFY(QFile::link(path(QStringLiteral("nowhere")), path(QStringLiteral("work/t/") + name)));
        } else if (!name.isEmpty()) {
            writeFile(QStringLiteral("work/t/") + name, "mine");
        }
        const auto before = tree();
        QStringList arguments = {QStringLiteral("template"), QStringLiteral("--out"), QStringLiteral("t")};
        if (name.isEmpty())
            arguments << QStringLiteral("skins/Ember");
        const Run run = skintool(arguments);
        QCOMPARE(run.status, 2);
        if (!message.isEmpty())
            QCOMPARE(run.err, message);
        else
            QVERIFY2(run.err.startsWith(QLatin1String("skintool: template: unexpected argument 'skins/Ember'\n")),
                     qPrintable(run.err));
        QVERIFY(tree() == before);
    }

    // A write that fails half-way, once the pictures are written: they go
    // again. As root, permission bits stop nothing, so the guides folder
    // is made read-only by a bind mount in a private mount namespace.
    void templateFailingHalfWayLeavesNothing()
    {
        const QString out = makeFolder(QStringLiteral("out"));
        const QString guides = makeFolder(QStringLiteral("out/guides"));
        const QByteArray program = QFile::encodeName(binary());
        const QByteArray outBytes = QFile::encodeName(out);
        const QByteArray guidesBytes = QFile::encodeName(guides);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            if (::geteuid() == 0) {
                if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
                    || ::mount(guidesBytes.constData(), guidesBytes.constData(), nullptr, MS_BIND, nullptr) != 0
                    || ::mount(nullptr, guidesBytes.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
                    ::_exit(77);
            } else if (::chmod(guidesBytes.constData(), 0555) != 0) {
                ::_exit(77);
            }
            const int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, STDERR_FILENO);
            ::execl(program.constData(), program.constData(), "template", "--out", outBytes.constData(),
                    static_cast<char *>(nullptr));
            ::_exit(99);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        ::chmod(guidesBytes.constData(), 0755);
        QVERIFY(WIFEXITED(status));
        if (WEXITSTATUS(status) == 77)
            QSKIP("no read-only place to write to here");
        QCOMPARE(WEXITSTATUS(status), 2);
        // The guides folder was there before and stays.
        QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"guides"});
        QCOMPARE(QDir(guides).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }
};

QTEST_MAIN(SkintoolTest)
#include "skintool_test.moc"
