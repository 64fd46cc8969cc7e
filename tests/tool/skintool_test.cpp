// skintool, run as the real binary: check's codes, exit statuses and JSON,
// render's and sheet's pictures, hostile files and unwritable output.

#include "support/archives.h"
#include "support/skintoolfixture.h"

#include "tool/png.h"
#include "tool/sheet.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTest>
#include <QtEndian>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <linux/capability.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <tuple>
#include <map>
#include <vector>

namespace {

// Far more than any of these runs needs; a run that blocks on a FIFO or
// reads a huge file through would reach it.
constexpr int Patience = 120000;

using Run = ProgramRun;

const QSize BackgroundSize(800, 600);
const QSize StickerSize(178, 357);
const QSize PanelSize(615, 599);

// The fix that every format problem gives.
const QString FormatHint = QStringLiteral(
    "skins are 24-bit uncompressed BMPs with the classic 40-byte header: "
    "convert IN -alpha off -type TrueColor BMP3:OUT, or GIMP's BMP export with "
    "\"Do not write color space information\" checked and 24 bits (R8 G8 B8) chosen");

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

// A BMP of one colour with the information header, bit count and alpha
// given: a 40-byte header, or a longer one that holds the bit masks (and,
// for 32 bits, an alpha mask).
QByteArray bmpWith(QSize size, QColor colour, int bits, int infoBytes, int alpha = 255)
{
    QByteArray bytes;
    auto put32 = [&](quint32 value) {
        for (int i = 0; i < 4; ++i)
            bytes.append(char((value >> (8 * i)) & 0xff));
    };
    auto put16 = [&](quint16 value) {
        bytes.append(char(value & 0xff));
        bytes.append(char(value >> 8));
    };
    const int pixelBytes = bits / 8;
    const int lineBytes = (size.width() * pixelBytes + 3) / 4 * 4;
    const int dataStart = 14 + infoBytes;
    bytes.append("BM");
    put32(quint32(dataStart + lineBytes * size.height()));
    put32(0);
    put32(quint32(dataStart));
    put32(quint32(infoBytes));
    put32(quint32(size.width()));
    put32(quint32(size.height()));
    put16(1);
    put16(quint16(bits));
    put32(bits == 32 && infoBytes > 40 ? 3 : 0);
    put32(quint32(lineBytes * size.height()));
    put32(2835);
    put32(2835);
    put32(0);
    put32(0);
    if (infoBytes > 40) {
        put32(0x00ff0000);
        put32(0x0000ff00);
        put32(0x000000ff);
        put32(bits == 32 ? 0xff000000 : 0);
        put32(0x73524742); // sRGB
        bytes.append(QByteArray(infoBytes - 60, '\0'));
    }
    QByteArray line;
    for (int x = 0; x < size.width(); ++x) {
        line.append(char(colour.blue())).append(char(colour.green())).append(char(colour.red()));
        if (pixelBytes == 4)
            line.append(char(alpha));
    }
    line.append(QByteArray(lineBytes - line.size(), '\0'));
    bytes.append(line.repeated(size.height()));
    return bytes;
}

// A 1-bit BMP, all red, whose header claims 256 colours while its file is
// only as long as a palette of two needs: a decoder that reads the 256 it
// claims runs out of lines.
QByteArray redClaiming256Colours(QSize size)
{
    const int lineBytes = (size.width() + 31) / 32 * 4;
    QByteArray bytes = bmpHeader(size.width(), size.height(), 1).left(54);
    qToLittleEndian(quint32(62 + lineBytes * size.height()), bytes.data() + 2);
    qToLittleEndian(quint32(62), bytes.data() + 10);
    qToLittleEndian(quint32(256), bytes.data() + 46);
    return bytes + QByteArray::fromHex("00000000" "0000ff00") + QByteArray(lineBytes * size.height(), '\xff');
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

// "slot=file" for each slot, as the JSON report gives them.
QStringList slotFiles(const QJsonObject &folder)
{
    QStringList files;
    for (const QJsonValue &slot : folder.value(QStringLiteral("slots")).toArray())
        files.append(slot[QStringLiteral("slot")].toString() + QLatin1Char('=') + slot[QStringLiteral("file")].toString());
    return files;
}

QString messagesOf(const QJsonObject &folder)
{
    QStringList messages;
    for (const QJsonValue &problem : folder.value(QStringLiteral("problems")).toArray()) {
        messages.append(problem[QStringLiteral("message")].toString());
        if (problem[QStringLiteral("hint")].isString())
            messages.append(QStringLiteral("hint: ") + problem[QStringLiteral("hint")].toString());
    }
    return messages.join(QLatin1Char('\n'));
}

// Runs the program with arguments in a forked child in which folder may not
// be written to, its standard error dropped, and returns its exit status,
// or 77 where no such folder can be had. As root, permission bits stop
// nothing, so the folder is made read-only by a bind mount in a private
// mount namespace.
// What a folder holds, hidden files included, sorted.
QStringList entriesIn(const QString &folder)
{
    QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    entries.sort();
    return entries;
}

int runWithReadOnlyFolder(const QByteArray &program, const QByteArray &folder, const QList<QByteArray> &arguments)
{
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        if (::geteuid() == 0) {
            if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
                || ::mount(folder.constData(), folder.constData(), nullptr, MS_BIND, nullptr) != 0
                || ::mount(nullptr, folder.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
                ::_exit(77);
        } else if (::chmod(folder.constData(), 0555) != 0) {
            ::_exit(77);
        }
        const int devnull = ::open("/dev/null", O_WRONLY);
        ::dup2(devnull, STDERR_FILENO);
        std::vector<char *> argv{const_cast<char *>(program.constData())};
        for (const QByteArray &argument : arguments)
            argv.push_back(const_cast<char *>(argument.constData()));
        argv.push_back(nullptr);
        ::execv(program.constData(), argv.data());
        ::_exit(99);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    ::chmod(folder.constData(), 0755);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

class SkintoolTest : public SkintoolFixture
{
    Q_OBJECT

private:
    // skintool run with its arguments and working directory given as bytes,
    // which a QProcess would pass as UTF-8 only.
    Run skintoolRaw(const QList<QByteArray> &arguments, const QByteArray &directory) const
    {
        return runForked(arguments, directory, [] { return true; }, QFile::encodeName(path(QStringLiteral("stdout"))));
    }

    // skintool run in a forked child that first calls prepare() (to mount a
    // file system of its own, say), with standard output going to outFile.
    // Status 77 when prepare() fails: the case cannot be made here.
    Run skintoolIn(const std::function<bool()> &prepare, const QStringList &arguments,
                   const QByteArray &outFile = "/dev/null") const
    {
        QList<QByteArray> bytes;
        for (const QString &argument : arguments)
            bytes.append(QFile::encodeName(argument));
        return runForked(bytes, QFile::encodeName(workDir()), prepare, outFile);
    }

    // The two above: standard output and error go to files, read back
    // afterwards (standard output only if it is an ordinary file below the
    // test's folder).
    Run runForked(const QList<QByteArray> &arguments, const QByteArray &directory,
                  const std::function<bool()> &prepare, const QByteArray &outFile) const
    {
        const QByteArray program = QFile::encodeName(binary());
        const QByteArray err = QFile::encodeName(path(QStringLiteral("stderr")));
        std::vector<const char *> argv{program.constData()};
        for (const QByteArray &argument : arguments)
            argv.push_back(argument.constData());
        argv.push_back(nullptr);
        const pid_t child = ::fork();
        if (child == 0) {
            if (!prepare())
                ::_exit(77);
            const int outFd = ::open(outFile.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
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
        if (outFile == QFile::encodeName(path(QStringLiteral("stdout"))))
            run.out = QString::fromUtf8(readRaw(outFile));
        run.err = QString::fromUtf8(readRaw(err));
        return run;
    }

    // For a child of skintoolIn(): a mount namespace of its own, where the
    // rest of the system sees none of these mounts. Root only.
    static bool ownMounts()
    {
        return ::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0
               && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }

    static bool mountTmpfs(const QByteArray &folder, const char *options)
    {
        return ownMounts() && ::mount("tmpfs", folder.constData(), "tmpfs", 0, options) == 0;
    }

    static bool mountReadOnly(const QByteArray &folder)
    {
        return ownMounts() && ::mount(folder.constData(), folder.constData(), nullptr, MS_BIND, nullptr) == 0
               && ::mount(nullptr, folder.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

    // Fills the file system of a folder to the last byte.
    static bool fillFolder(const QByteArray &folder)
    {
        const int fd = ::open((folder + "/filler").constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const QByteArray block(4096, 'f');
        while (fd >= 0 && ::write(fd, block.constData(), size_t(block.size())) > 0) {
        }
        char byte = 'f';
        while (fd >= 0 && ::write(fd, &byte, 1) > 0) {
        }
        return fd >= 0 && ::close(fd) == 0;
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
    // "missing" of the slots it leaves empty on purpose). A broken file is
    // the one report of its slot: no "missing" repeats it.
    void checkCodes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("codes");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shows"); // "slot=file" that the report must give, if any
        const auto row = [](const char *name, const char *folder, const QStringList &codes, const char *message,
                            const char *shows = "") {
            QTest::newRow(name) << QString::fromLatin1(folder) << codes << QString::fromUtf8(message)
                                << QString::fromLatin1(shows);
        };
        row("clean", "clean", {}, "");
        row("missing", "missing", {"missing sticker_background.bmp"}, "no file loads for the sticker");
        row("broken", "broken", {"broken sticker_background.bmp"},
            "sticker_background.bmp does not load: not a picture; the sticker keeps its earlier picture");
        row("broken plain beside good _us", "broken-plain", {"broken backsettings.bmp"},
            "backsettings.bmp does not load: not a picture", "desktop-settings=backsettings_us.bmp");
        // A file cut short does not load, so its _us twin shows.
        row("cut short beside its _us twin", "cut-us", {"broken backsettings.bmp"},
            "backsettings.bmp does not load: truncated: it ends after 100 of its 1107006 bytes",
            "desktop-settings=backsettings_us.bmp");
        row("cut in half", "half", {"broken background.bmp"},
            "background.bmp does not load: truncated: it ends after 700000 of its 1440054 bytes");
        row("lines missing at the end", "short", {"broken backscreensaver.bmp"},
            "backscreensaver.bmp does not load: truncated: it ends after 9394 of its 1107006 bytes");
        row("linked to itself", "self-link", {"broken background.bmp"},
            "background.bmp does not load: not readable: Too many levels of symbolic links");
        // The decoder would read 256 colours, and then run out of lines.
        row("claims more colours than it holds", "overclaimed", {"broken background.bmp"},
            "background.bmp does not load: truncated: it ends after 60062 of its 61078 bytes");
        // Sizes whose product overflows the header reader's arithmetic.
        row("2147483647 x 2147483647", "absurd", {"broken background.bmp"},
            "background.bmp does not load: too large: 2147483647x2147483647 pixels");
        row("a folder bears the name", "folder-only", {"broken sticker_background.bmp"},
            "sticker_background.bmp does not load: a folder, not a picture");
        // No skin at all: an empty folder, or the collection above the skins.
        row("empty folder", "empty", {"no-skin "}, "holds no skin file");
        row("collection folder", "collection", {"no-skin "}, "; did you mean Ember/ or Frost/?");
        // One size warning a picture, saying for each dimension what happens.
        row("smaller", "smaller", {"size backsettings.bmp"},
            "backsettings.bmp is 600x590; 590 rows of 599: rows 590–598 stay uncovered; "
            "600 columns of 615: columns 600–614 stay uncovered");
        row("one column short", "narrow", {"size sticker_background.bmp"},
            "sticker_background.bmp is 177x357; 177 columns of 178: column 177 stays uncovered");
        row("larger", "larger", {"size sticker_background.bmp"},
            "sticker_background.bmp is 178x400; 400 rows of 357: rows 357–399 are cut off");
        row("one row more than designed", "taller", {"size background.bmp"},
            "background.bmp is 800x601; 601 rows of 600: row 600 is cut off");
        row("narrower and taller", "crossed", {"size sticker_background.bmp"},
            "sticker_background.bmp is 200x300; 300 rows of 357: rows 300–356 stay uncovered; "
            "200 columns of 178: columns 178–199 are cut off");
        row("a single row", "one-row", {"size backadvanced.bmp"},
            "backadvanced.bmp is 615x1; 1 row of 599: rows 1–598 stay uncovered");
        row("designed sizes", "designed", {}, "");
        row("PNG content", "png", {"format background.bmp"},
            "background.bmp holds PNG content, not a 24-bit uncompressed BMP");
        // A picture in GIMP's indexed or greyscale mode is exported with 8 bits
        // or fewer, whatever depth is chosen: the fix names the mode.
        row("8-bit", "8bit", {"format backadvanced.bmp"},
            "backadvanced.bmp is an 8-bit BMP\n"
            "hint: skins are 24-bit uncompressed BMPs with the classic 40-byte header: convert IN -alpha off "
            "-type TrueColor BMP3:OUT, or in GIMP Image ▸ Mode ▸ RGB first");
        row("alpha channel", "alpha", {"format background.bmp"},
            "background.bmp is a 32-bit BMP with bit fields and a version 5 header (124 bytes), not a 24-bit "
            "uncompressed BMP; it has an alpha channel, which is ignored");
        row("version 4 header", "v4", {"format backsettings.bmp"},
            "backsettings.bmp is a BMP with a version 4 header (108 bytes), not the classic 40-byte one");
        row("letter case", "case", {"letter-case Background.BMP"},
            "Background.BMP is found for background.bmp only by ignoring letter case");
        row("ambiguous", "ambiguous", {"ambiguous background.bmp"},
            "BACKGROUND.bmp, background.bmp are equal ignoring letter case; background.bmp is used");
        row("a folder beside the file", "folder-beside", {"unknown-name Sticker_Background.BMP"},
            "Sticker_Background.BMP is a folder where a picture is expected; sticker_background.bmp is used",
            "sticker=sticker_background.bmp");
        row("shadowed", "shadowed", {"shadowed backsettings_us.bmp"},
            "backsettings_us.bmp never shows: backsettings.bmp loads after it");
        row("unknown names", "unknown",
            {"unknown-name backround.bmp", "unknown-name bckgrund.bmp", "unknown-name notes.BMP"},
            "backround.bmp is not a skin file; did you mean background.bmp?\n"
            "bckgrund.bmp is not a skin file; did you mean background.bmp?\n"
            "notes.BMP is not a skin file");
        row("near misses", "near",
            {"missing backadvanced.bmp", "missing background.bmp", "missing backsettings.bmp",
             "unknown-name backadvanced.bmp.txt", "unknown-name background.bmp ", "unknown-name background.png",
             "unknown-name backsettings.bmp.bmp"},
            "background.png is not a skin file; did you mean background.bmp?\n"
            "\"background.bmp \" is not a skin file; did you mean background.bmp?\n"
            "backadvanced.bmp.txt is not a skin file; did you mean backadvanced.bmp?\n"
            "backsettings.bmp.bmp is not a skin file; did you mean backsettings.bmp?");
    }

    void checkCodes()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, codes);
        QFETCH(QString, message);
        QFETCH(QString, shows);
        const QString skin = cleanSkin(name);
        const auto remove = [&](const QStringList &files) {
            for (const QString &file : files)
                QVERIFY(QFile::remove(skin + '/' + file));
        };
        const QStringList all = {"background.bmp", "sticker_background.bmp", "backsettings.bmp", "backscreensaver.bmp",
                                 "backadvanced.bmp"};
        const std::map<QString, std::function<void()>> changes = {
            {"clean", [] {}},
            {"missing", [&] { remove({"sticker_background.bmp"}); }},
            {"broken", [&] { writeFile(name + "/sticker_background.bmp", "not a picture at all"); }},
            {"broken-plain", [&] {
                 writeBmp(name + "/backsettings_us.bmp", Qt::red, PanelSize);
                 writeFile(name + "/backsettings.bmp", QByteArray(3000, 'x'));
             }},
            {"cut-us", [&] {
                 QFile::copy(skin + "/backsettings.bmp", skin + "/backsettings_us.bmp");
                 writeFile(name + "/backsettings.bmp", readFile(name + "/backsettings.bmp").left(100));
             }},
            {"half", [&] { writeFile(name + "/background.bmp", readFile(name + "/background.bmp").left(700000)); }},
            {"short", [&] {
                 const QByteArray full = readFile(name + "/backscreensaver.bmp");
                 writeFile(name + "/backscreensaver.bmp", full.left(54 + 5 * 1848 + 100));
             }},
            {"self-link", [&] {
                 remove({"background.bmp"});
                 QVERIFY(QFile::link(QStringLiteral("background.bmp"), skin + "/background.bmp"));
             }},
            {"overclaimed", [&] { writeFile(name + "/background.bmp", redClaiming256Colours(BackgroundSize)); }},
            {"absurd", [&] { writeFile(name + "/background.bmp", bmpHeader(0x7fffffff, 0x7fffffff)); }},
            {"folder-only", [&] {
                 remove({"sticker_background.bmp"});
                 makeFolder(name + "/sticker_background.bmp");
             }},
            {"empty", [&] { remove(all); }},
            {"collection", [&] {
                 remove(all);
                 cleanSkin(name + "/Ember");
                 writeBmp(name + "/Frost/Background.bmp", Qt::white, BackgroundSize);
                 makeFolder(name + "/notes");
             }},
            {"smaller", [&] { writeBmp(name + "/backsettings.bmp", Qt::red, {600, 590}); }},
            {"narrow", [&] { writeBmp(name + "/sticker_background.bmp", Qt::red, {177, 357}); }},
            {"larger", [&] { writeBmp(name + "/sticker_background.bmp", Qt::red, {178, 400}); }},
            {"taller", [&] { writeBmp(name + "/background.bmp", Qt::red, {800, 601}); }},
            {"crossed", [&] { writeBmp(name + "/sticker_background.bmp", Qt::red, {200, 300}); }},
            {"one-row", [&] { writeBmp(name + "/backadvanced.bmp", Qt::red, {615, 1}); }},
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
            {"alpha", [&] { writeFile(name + "/background.bmp", bmpWith(BackgroundSize, Qt::blue, 32, 124, 0)); }},
            {"v4", [&] { writeFile(name + "/backsettings.bmp", bmpWith(PanelSize, Qt::blue, 24, 108)); }},
            {"case", [&] { QFile::rename(skin + "/background.bmp", skin + "/Background.BMP"); }},
            {"ambiguous", [&] { writeBmp(name + "/BACKGROUND.bmp", Qt::red, BackgroundSize); }},
            {"folder-beside", [&] { makeFolder(name + "/Sticker_Background.BMP"); }},
            {"shadowed", [&] { writeBmp(name + "/backsettings_us.bmp", Qt::red, PanelSize); }},
            {"unknown", [&] {
                 writeBmp(name + "/backround.bmp", Qt::red);
                 writeBmp(name + "/bckgrund.bmp", Qt::red); // two letters short: still within two edits
                 writeBmp(name + "/notes.BMP", Qt::red);
                 writeFile(name + "/readme.txt", "not a picture, not a .bmp");
             }},
            {"near", [&] {
                 QFile::rename(skin + "/background.bmp", skin + "/background.png");
                 writeBmp(name + "/background.bmp ", Qt::red, BackgroundSize);
                 QFile::rename(skin + "/backadvanced.bmp", skin + "/backadvanced.bmp.txt");
                 QFile::rename(skin + "/backsettings.bmp", skin + "/backsettings.bmp.bmp");
                 writeFile(name + "/readme.txt", "not near any skin file");
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
        if (!shows.isEmpty()) {
            QVERIFY2(slotFiles(folder).contains(shows), qPrintable(slotFiles(folder).join(' ')));
            // A slot that a file fills keeps nothing from earlier.
            QVERIFY2(!messagesOf(folder).contains(QLatin1String("keeps its earlier picture")),
                     qPrintable(messagesOf(folder)));
        }
        const QString joined = codes.join(QLatin1Char(' '));
        const bool error = joined.contains(QLatin1String("broken")) || joined.contains(QLatin1String("no-skin"));
        QCOMPARE(status, error ? 1 : 0);
        QCOMPARE(skintool({QStringLiteral("check"), QStringLiteral("--strict"), skin}).status, codes.isEmpty() ? 0 : 1);
    }

    // What each slot ends up with: the _us fallback, the plain file winning,
    // and the letter-case lookup; and the part of each picture that shows.
    void checkReportsWhatEachSlotShows()
    {
        writeBmp(QStringLiteral("skin/background_us.bmp"), Qt::red, BackgroundSize);
        writeBmp(QStringLiteral("skin/backsettings_us.bmp"), Qt::red, {615, 600});
        writeBmp(QStringLiteral("skin/backsettings.bmp"), Qt::red, PanelSize);
        writeBmp(QStringLiteral("skin/BackAdvanced.bmp"), Qt::red, {616, 600});
        const QJsonObject folder = checkJson(path(QStringLiteral("skin")));
        const auto shown = [](int width, int height) { return QJsonObject{{"width", width}, {"height", height}}; };
        const QJsonArray expected = {
            QJsonObject{{"slot", "background"}, {"file", "background_us.bmp"}, {"width", 800}, {"height", 600},
                        {"shown", shown(800, 600)}},
            QJsonObject{{"slot", "sticker"}, {"file", QJsonValue()}},
            QJsonObject{{"slot", "desktop-settings"}, {"file", "backsettings.bmp"}, {"width", 615}, {"height", 599},
                        {"shown", shown(615, 599)}},
            QJsonObject{{"slot", "screensaver-settings"}, {"file", QJsonValue()}},
            QJsonObject{{"slot", "advanced-settings"}, {"file", "BackAdvanced.bmp"}, {"width", 616}, {"height", 600},
                        {"shown", shown(615, 599)}},
        };
        QCOMPARE(folder[QStringLiteral("slots")].toArray(), expected);
    }

    // The whole JSON document, parsed back: totals, folders in order, each
    // problem with all its fields, errors before warnings.
    void checkJsonDocument()
    {
        const QString clean = cleanSkin(QStringLiteral("clean"));
        const QString broken = cleanSkin(QStringLiteral("broken"));
        writeFile(QStringLiteral("broken/background.bmp"), pngBytes(BackgroundSize, Qt::blue));
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
                        {"message", "sticker_background.bmp does not load: not a picture; "
                                    "the sticker keeps its earlier picture"},
                        {"hint", QJsonValue()}},
            QJsonObject{{"code", "format"}, {"severity", "warning"}, {"slot", "background"},
                        {"file", "background.bmp"},
                        {"message", "background.bmp holds PNG content, not a 24-bit uncompressed BMP"},
                        {"hint", FormatHint}},
        };
        QCOMPARE(problems, expected);
    }

    // Text for people: the slots with what shows of each picture, problems
    // with errors first, a format problem's fix, and no wrapping into a
    // pipe, where a line cut in two would be lost to grep.
    void checkText()
    {
        const QString skin = cleanSkin(QStringLiteral("skin"));
        writeBmp(QStringLiteral("skin/backround.bmp"), Qt::red);
        writeBmp(QStringLiteral("skin/backadvanced.bmp"), Qt::red, {616, 600});
        writeFile(QStringLiteral("skin/backsettings.bmp"), pngBytes(PanelSize, Qt::blue));
        writeFile(QStringLiteral("skin/sticker_background.bmp"), "x");
        // Relative to the working directory, and printed as given.
        const Run given = skintool({QStringLiteral("check"), QStringLiteral("../skin")});
        QCOMPARE(given.status, 1);
        const QStringList lines = given.out.split(QLatin1Char('\n'));
        const QStringList expected = {
            "../skin: 1 error, 2 warnings",
            "  background            background.bmp  800x600",
            "  sticker               (none: keeps its earlier picture)",
            "  desktop-settings      backsettings.bmp  615x599",
            "  screensaver-settings  backscreensaver.bmp  615x599",
            "  advanced-settings     backadvanced.bmp  616x600 (615x599 shown)",
            "  error broken: sticker_background.bmp does not load: not a picture; the sticker keeps its earlier picture",
            "  warning format: backsettings.bmp holds PNG content, not a 24-bit uncompressed BMP",
            "      hint: " + FormatHint,
            "  warning unknown-name: backround.bmp is not a skin file; did you mean background.bmp?",
            "",
        };
        QCOMPARE(lines, expected);
        QCOMPARE(given.err, QString());
    }

    // One line a problem in the compiler convention, for editors and CI:
    // nothing for a clean folder, a note for a fix.
    void checkOneLine()
    {
        const QString clean = cleanSkin(QStringLiteral("clean"));
        cleanSkin(QStringLiteral("skin"));
        writeFile(QStringLiteral("skin/backsettings.bmp"), pngBytes(PanelSize, Qt::blue));
        writeFile(QStringLiteral("skin/sticker_background.bmp"), "x");
        const QString empty = makeFolder(QStringLiteral("work/empty"));
        const Run run = skintool({QStringLiteral("check"), QStringLiteral("--oneline"), clean, QStringLiteral("../skin"),
                                  QStringLiteral("empty")});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.out.split(QLatin1Char('\n')),
                 QStringList({
                     "../skin/sticker_background.bmp: error: broken: sticker_background.bmp does not load: not a "
                     "picture; the sticker keeps its earlier picture",
                     "../skin/backsettings.bmp: warning: format: backsettings.bmp holds PNG content, not a 24-bit uncompressed BMP",
                     "../skin/backsettings.bmp: note: " + FormatHint,
                     "empty: error: no-skin: empty holds no skin file",
                     "",
                 }));
        QCOMPARE(skintool({QStringLiteral("check"), QStringLiteral("--oneline"), clean}).out, QString());
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

    // Every usage error in one style: "skintool: COMMAND: what", then the
    // command's usage; and nothing written.
    void exitStatuses_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("stdoutStart");
        QTest::addColumn<QString>("stderrStart");
        const auto row = [](const char *name, const QStringList &arguments, int status, const char *out,
                            const char *err) {
            QTest::newRow(name) << arguments << status << QString::fromUtf8(out) << QString::fromUtf8(err);
        };
        row("no arguments", {}, 2, "", "skintool: no command given\nUsage: skintool");
        row("--help", {"--help"}, 0, "Usage: skintool COMMAND", "");
        row("-h", {"-h"}, 0, "Usage: skintool COMMAND", "");
        row("check --help", {"check", "--help"}, 0, "Usage: skintool check", "");
        row("--version", {"--version"}, 0, "skintool " SKINPREVIEW_VERSION "\n", "");
        row("unknown command", {"chek", "x"}, 2, "", "skintool: unknown command 'chek'\nUsage: skintool COMMAND");
        row("unknown option", {"--frob"}, 2, "", "skintool: unknown option '--frob'\nUsage: skintool COMMAND");
        row("unknown check option", {"check", "--jsn", "."}, 2, "",
            "skintool: check: unknown option '--jsn'\nUsage: skintool check");
        row("unknown short option", {"check", "-j", "."}, 2, "", "skintool: check: unknown option '-j'\nUsage:");
        row("-j 0", {"render", "-j", "0", "skin"}, 2, "",
            "skintool: render: option '--jobs' needs a whole number from 1 to 64, not '0'\nUsage: skintool render");
        row("-j too many", {"sheet", "--out", "s.png", "-j65", "skin"}, 2, "",
            "skintool: sheet: option '--jobs' needs a whole number from 1 to 64, not '65'\n");
        row("--jobs not a number", {"render", "--jobs=two", "skin"}, 2, "",
            "skintool: render: option '--jobs' needs a whole number from 1 to 64, not 'two'\n");
        row("-j without a number", {"render", "skin", "-j"}, 2, "", "skintool: render: option '-j' needs a value\n");
        row("a value for a switch", {"check", "--json=yes", "."}, 2, "",
            "skintool: check: option '--json' takes no value\nUsage: skintool check");
        row("no value", {"render", "--out"}, 2, "", "skintool: render: option '--out' needs a value\nUsage:");
        row("empty --out, render", {"render", "--out", "", "skin"}, 2, "", "skintool: render: option '--out' is empty\n");
        row("empty --out, sheet", {"sheet", "--out=", "skin"}, 2, "", "skintool: sheet: option '--out' is empty\n");
        row("two forms", {"check", "--json", "--oneline", "skin"}, 2, "",
            "skintool: check: --json and --oneline cannot be used together\n");
        row("sheet without --out", {"sheet", "skin"}, 2, "", "skintool: sheet: option '--out' is required\n");
        row("columns 0", {"sheet", "--out", "s.png", "--columns", "0", "skin"}, 2, "",
            "skintool: sheet: option '--columns' needs a whole number from 1 to 1000, not '0'\n");
        row("size cut short", {"sheet", "--out", "s.png", "--size", "200x", "skin"}, 2, "",
            "skintool: sheet: option '--size' needs WIDTHxHEIGHT from 16x12 to 800x600, not '200x'\n");
        row("no folder", {"check"}, 2, "", "skintool: check: no FOLDER given\nUsage: skintool check");
        row("-- ends the options", {"check", "--", "--json"}, 2, "", "skintool: --json: no such folder\n");
        row("missing folder", {"check", "nowhere"}, 2, "", "skintool: nowhere: no such folder\n");
        row("a file", {"check", "file.bmp"}, 2, "", "skintool: file.bmp: not a folder\n");
        row("below a file", {"check", "file.bmp/x"}, 2, "", "skintool: file.bmp/x: cannot read the folder: Not a directory\n");
        row("warnings only", {"check", "skin"}, 0, "skin: 0 errors", "");
        row("warnings, strict", {"check", "--strict", "skin"}, 1, "skin: 0 errors", "");
    }

    void exitStatuses()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, stdoutStart);
        QFETCH(QString, stderrStart);
        writeBmp(QStringLiteral("work/file.bmp"), Qt::red);
        writeBmp(QStringLiteral("work/skin/background.bmp"), Qt::red);
        const auto before = tree();
        const Run run = skintool(arguments);
        QCOMPARE(run.status, status);
        // (An empty start expects nothing at all on that stream.)
        QVERIFY2(stdoutStart.isEmpty() ? run.out.isEmpty() : run.out.startsWith(stdoutStart), qPrintable(run.out));
        QVERIFY2(stderrStart.isEmpty() ? run.err.isEmpty() : run.err.startsWith(stderrStart), qPrintable(run.err));
        QVERIFY(tree() == before);
    }

    // A FOLDER argument that cannot be used is named with the system's own
    // reason, and nothing is drawn of it.
    void folderArguments_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("message");
        QTest::newRow("link loop") << "loop" << "cannot read the folder: Too many levels of symbolic links";
        QTest::newRow("path too long") << "long" << "cannot read the folder: File name too long";
        QTest::newRow("unreadable") << "locked" << "cannot read the folder: Permission denied";
        // Its names can be listed, but not one of its files opened: not an
        // empty folder that holds no skin.
        QTest::newRow("readable, not searchable") << "unsearchable" << "cannot read the folder: Permission denied";
        QTest::newRow("unreadable archive") << "locked.zip" << "cannot read the archive: Permission denied";
        // Not a skin that holds nothing: the collection's other archive is
        // still checked and drawn.
        QTest::newRow("unreadable archive in a collection") << "collection" << "cannot read the archive: Permission denied";
    }

    void folderArguments()
    {
        QFETCH(QString, setup);
        QFETCH(QString, message);
        QString folder = QStringLiteral("skin");
        if (setup == QLatin1String("loop")) {
            QVERIFY(QFile::link(QStringLiteral("skin"), workDir() + QStringLiteral("/skin")));
        } else if (setup == QLatin1String("locked.zip")) {
            QVERIFY(packFolder(cleanSkin(QStringLiteral("skin")), path(QStringLiteral("work/skin.zip"))));
            QVERIFY(::chmod(QFile::encodeName(path(QStringLiteral("work/skin.zip"))).constData(), 0) == 0);
            folder = QStringLiteral("skin.zip");
        } else if (setup == QLatin1String("collection")) {
            makeFolder(QStringLiteral("work/skins"));
            QVERIFY(packFolder(cleanSkin(QStringLiteral("skin")), path(QStringLiteral("work/skins/good.zip"))));
            QVERIFY(QFile::copy(path(QStringLiteral("work/skins/good.zip")), path(QStringLiteral("work/skins/locked.zip"))));
            QVERIFY(::chmod(QFile::encodeName(path(QStringLiteral("work/skins/locked.zip"))).constData(), 0) == 0);
            folder = QStringLiteral("skins");
        } else {
            cleanSkin(QStringLiteral("work/skin"));
            const std::map<QString, mode_t> modes = {{"locked", 0}, {"unsearchable", 0644}};
            if (modes.count(setup))
                QVERIFY(::chmod(QFile::encodeName(path(QStringLiteral("work/skin"))).constData(), modes.at(setup)) == 0);
            while (setup == QLatin1String("long") && folder.size() < 6300) // 6,300 bytes: past PATH_MAX
                folder += QStringLiteral("/.");
        }
        // As root, a folder's permission bits stop nothing; without the
        // permission override they do, in the child and in what it runs.
        const auto withoutOverride = [] {
            for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
                ::prctl(PR_CAPBSET_DROP, capability, 0, 0, 0);
            return true;
        };
        const bool collection = setup == QLatin1String("collection");
        for (const QStringList &arguments : {QStringList{"check", folder}, QStringList{"render", "--out", "out", folder},
                                             QStringList{"sheet", "--out", "sheet.png", folder}}) {
            const Run run = skintoolIn(withoutOverride, arguments, QFile::encodeName(path(QStringLiteral("stdout"))));
            QVERIFY2(run.status == 2, qPrintable(run.err));
            const QString named = collection ? QStringLiteral("skintool: skins/locked.zip: ") : QStringLiteral("skintool: skin");
            QVERIFY2(run.err.startsWith(named) && run.err.endsWith(QStringLiteral(": %1\n").arg(message)), qPrintable(run.err));
            // Nothing is drawn of it: render's output holds the collection's
            // good archive alone, once render has run.
            const bool rendered = collection && arguments.front() != QLatin1String("check");
            QCOMPARE(QDir(path(QStringLiteral("work/out"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                     rendered ? QStringList{QStringLiteral("good.zip")} : QStringList{});
            QVERIFY(!QFileInfo::exists(path(QStringLiteral("work/sheet.png"))));
            if (collection && arguments.front() == QLatin1String("check"))
                QVERIFY2(run.out.startsWith(QStringLiteral("skins/good.zip: 0 errors")), qPrintable(run.out));
        }
        if (collection)
            QVERIFY(QFileInfo::exists(path(QStringLiteral("work/out/good.zip/preview.png"))));
        ::chmod(QFile::encodeName(path(QStringLiteral("work/skin"))).constData(), 0755);
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
        QCOMPARE(skintool({QStringLiteral("check"), remembered, empty}).status, 1); // the empty one is no skin
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

    // A skin whose background the decoder would run out of lines for shows
    // the built-in background, as a skin without one does, and nothing of
    // the skin rendered before it.
    void renderShowsNothingOfAnEarlierSkin()
    {
        const QString earlier = cleanSkin(QStringLiteral("earlier"));
        const QString overclaimed = cleanSkin(QStringLiteral("overclaimed"));
        writeFile(QStringLiteral("overclaimed/background.bmp"), redClaiming256Colours(BackgroundSize));
        const QString without = cleanSkin(QStringLiteral("without"));
        QVERIFY(QFile::remove(without + QStringLiteral("/background.bmp")));
        const Run run = skintool({QStringLiteral("render"), QStringLiteral("--out"), QStringLiteral("out"), earlier,
                                  overclaimed, without});
        QCOMPARE(run.status, 0);
        const QImage shown(path(QStringLiteral("work/out/overclaimed/preview.png")));
        const QImage builtIn(path(QStringLiteral("work/out/without/preview.png")));
        QVERIFY(!builtIn.isNull());
        QVERIFY(shown == builtIn);
    }

    // Names are bytes: a working directory, a FOLDER and an output path that
    // are not UTF-8 reach the file system as the same bytes, and are shown
    // with U+FFFD for each byte that is no character.
    void namesAreBytes_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("said"); // on standard error, where a control character is escaped
        QTest::newRow("Latin-1") << QByteArray("Sk\xe9n") << QStringLiteral("Sk\uFFFDn") << QStringLiteral("Sk\uFFFDn-gone");
        QTest::newRow("lone continuation byte") << QByteArray("Skin\x80") << QStringLiteral("Skin\uFFFD")
                                                << QStringLiteral("Skin\uFFFD-gone");
        QTest::newRow("UTF-8") << QByteArray("Sk\xc3\xafn") << QStringLiteral("Sk\u00EFn") << QStringLiteral("Sk\u00EFn-gone");
        QTest::newRow("control character") << QByteArray("Sk\x01n") << QStringLiteral("Sk\u0001n")
                                           << QStringLiteral("\"Sk\\x01n-gone\"");
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
        // A name that is not UTF-8 brings its bytes as well; another none.
        const bool utf8 = QString::fromUtf8(name).toUtf8() == name;
        const QJsonObject problem = folder["problems"][0].toObject();
        for (const auto &[object, key, bytes] : {std::tuple{folder, "folder_base64", name},
                                                 std::tuple{problem, "file_base64", "notes-" + name + ".bmp"}}) {
            QVERIFY2(object.contains(QLatin1String(key)) == !utf8, key);
            if (!utf8)
                QCOMPARE(QByteArray::fromBase64(object[QLatin1String(key)].toString().toLatin1()), bytes);
        }
        QVERIFY(!folder["slots"][0].toObject().contains(QStringLiteral("file_base64")));

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
        QFETCH(QString, said);
        QCOMPARE(missing.err, "skintool: " + said + ": no such folder\n");
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
            QList<QByteArray> arguments{command, "--out", target};
            if (qstrcmp(command, "template") != 0) // template takes no FOLDER
                arguments.append(skinBytes);
            const int status = runWithReadOnlyFolder(program, outBytes, arguments);
            if (status == 77)
                QSKIP("no read-only place to write to here");
            QCOMPARE(status, 2);
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

    // One folder is one skin however it is written, a link to it included:
    // drawn once, where it is first named.
    void sheetDrawsAFolderOnce()
    {
        cleanSkin(QStringLiteral("work/v1/Skin1"));
        writeBmp(QStringLiteral("work/v1/Skin2/background.bmp"), Qt::darkYellow, BackgroundSize);
        QVERIFY(QFile::link(QStringLiteral("v1/Skin1"), workDir() + QStringLiteral("/linked")));
        const Run run = skintool({"sheet", "--out", "sheet.png", "v1/Skin1", "v1/Skin1/", "./v1/Skin1", "v1/Skin2",
                                  path(QStringLiteral("work/v1/Skin1")), "linked", "v1/../v1/Skin1"});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.err, QString());
        const QImage sheet(path(QStringLiteral("work/sheet.png")));
        QCOMPARE(sheet.size(), QSize(2 * 212 + 12, 12 + 150 + 22 + 12));
        QCOMPARE(sheet.pixelColor(12 + 100, 12 + 75), QColor(0x20, 0x40, 0x90));
        QCOMPARE(sheet.pixelColor(12 + 212 + 100, 12 + 75), QColor(Qt::darkYellow));
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
        // What was written, and how to look at it, in a form that the shell takes.
        QCOMPARE(made.out, QStringLiteral("Wrote 5 pictures of the built-in look, and their guides in guides/, "
                                          "to 'New skin'.\nNext: skinpreview 'New skin'\n"));
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
        QTest::newRow("a file named guides") << "guides=file" << "skintool: t/guides: cannot make the folder: File exists\n";
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
        const int status = runWithReadOnlyFolder(program, guidesBytes, {"template", "--out", outBytes});
        if (status == 77)
            QSKIP("no read-only place to write to here");
        QCOMPARE(status, 2);
        // The guides folder was there before and stays.
        QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"guides"});
        QCOMPARE(QDir(guides).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }

    // Every write to standard output is checked; a failure is named with
    // the system's reason and ends with status 2, in every output form.
    void standardOutputFailures_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("/dev/full, JSON") << "/dev/full" << QStringList{"check", "--json"};
        QTest::newRow("/dev/full, text") << "/dev/full" << QStringList{"check"};
        QTest::newRow("/dev/full, one line") << "/dev/full" << QStringList{"check", "--oneline"};
        QTest::newRow("/dev/full, help") << "/dev/full" << QStringList{"--help"};
        QTest::newRow("/dev/full, template") << "/dev/full" << QStringList{"template", "--out", "t"};
        QTest::newRow("full file system, JSON") << "full" << QStringList{"check", "--json"};
    }

    void standardOutputFailures()
    {
        QFETCH(QString, target);
        QFETCH(QStringList, arguments);
        const QString skin = cleanSkin(QStringLiteral("work/skin"));
        writeFile(QStringLiteral("work/skin/backround.bmp"), "x"); // a problem to report
        if (arguments.first() == QLatin1String("check")) {
            for (int i = 0; i < 60; ++i) // far more JSON than the small file system holds
                arguments.append(QStringLiteral("skin"));
        }
        const QString fs = makeFolder(QStringLiteral("fs"));
        const bool full = target == QLatin1String("full");
        const Run run = skintoolIn(
            [&] { return !full || mountTmpfs(QFile::encodeName(fs), "size=16k") ; },
            arguments, full ? QFile::encodeName(fs + QStringLiteral("/out.json")) : QByteArray("/dev/full"));
        if (run.status == 77)
            QSKIP("no small file system to fill here (needs root)");
        QCOMPARE(run.status, 2);
        QCOMPARE(run.err, QStringLiteral("skintool: standard output: No space left on device\n"));
    }

    // Output that cannot be written is named with the system's reason;
    // render goes on with the other folders; nothing is left half made.
    void outputFailures_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("errors"); // each: what starts and what ends the line
        QTest::newRow("a file in the way of a skin's folder")
            << "file at out/skin" << QStringList{"render", "--out", "out", "skin"}
            << QStringList{"skintool: out/skin: cannot make the folder: File exists"};
        QTest::newRow("a file in the way of --out")
            << "file at out" << QStringList{"render", "--out", "out", "skin"}
            << QStringList{"skintool: out: cannot make the folder: File exists"};
        QTest::newRow("below a file")
            << "file at out" << QStringList{"render", "--out", "out/pictures", "skin"}
            << QStringList{"skintool: out/pictures: cannot make the folder: Not a directory"};
        QTest::newRow("read-only file system, render")
            << "read-only" << QStringList{"render", "--out", "fs/out", "skin"}
            << QStringList{"skintool: fs/out: cannot make the folder: Read-only file system"};
        QTest::newRow("sheet into a missing folder")
            << "" << QStringList{"sheet", "--out", "nowhere/s.png", "skin"}
            << QStringList{"skintool: nowhere/s.png: | No such file or directory"};
        QTest::newRow("full file system, render")
            << "full" << QStringList{"render", "--out", "fs", "skin", "skin"}
            << QStringList{"skintool: fs/skin/| No space left on device", "skintool: fs/skin-2/| No space left on device"};
        QTest::newRow("full file system, sheet")
            << "full" << QStringList{"sheet", "--out", "fs/s.png", "skin"}
            << QStringList{"skintool: fs/s.png: | No space left on device"};
    }

    void outputFailures()
    {
        QFETCH(QString, setup);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, errors);
        cleanSkin(QStringLiteral("work/skin"));
        const QString fs = makeFolder(QStringLiteral("work/fs"));
        if (setup == QLatin1String("file at out/skin"))
            writeFile(QStringLiteral("work/out/skin"), "in the way");
        if (setup == QLatin1String("file at out"))
            writeFile(QStringLiteral("work/out"), "in the way");
        const Run run = skintoolIn(
            [&] {
                if (setup == QLatin1String("read-only"))
                    return mountReadOnly(QFile::encodeName(fs));
                if (setup == QLatin1String("full"))
                    return mountTmpfs(QFile::encodeName(fs), "size=64k") && fillFolder(QFile::encodeName(fs));
                return true;
            },
            arguments);
        if (run.status == 77)
            QSKIP("no file system to mount here (needs root)");
        QCOMPARE(run.status, 2);
        const QStringList lines = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), errors.size());
        for (qsizetype i = 0; i < errors.size(); ++i) {
            const QStringList parts = errors[i].split(QLatin1Char('|'));
            QVERIFY2(lines[i].startsWith(parts.first()) && lines[i].endsWith(parts.last()), qPrintable(lines[i]));
        }
        // Not a byte of a temporary file left behind.
        for (const auto &[file, content] : tree())
            QVERIFY2(!QFileInfo(file).fileName().contains(QLatin1String(".png.")), qPrintable(file));
    }

    // One folder's output failing stops neither the others nor the report.
    void renderCarriesOn()
    {
        for (const char *name : {"A", "B", "C"})
            cleanSkin(QStringLiteral("work/") + QLatin1String(name));
        writeFile(QStringLiteral("work/out/B"), "in the way");
        const Run run = skintool({QStringLiteral("render"), QStringLiteral("--out"), QStringLiteral("out"),
                                  QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
        QCOMPARE(run.status, 2);
        QCOMPARE(run.err, QStringLiteral("skintool: out/B: cannot make the folder: File exists\n"));
        for (const char *name : {"A", "C"})
            QCOMPARE(QDir(path(QStringLiteral("work/out/") + QLatin1String(name))).entryList(QDir::Files).size(), 5);
    }

    // However many threads encode, render and sheet write the same bytes and
    // say the same, in the same order: a broken skin, a folder that is
    // missing and an output that cannot be written among them.
    void threadsChangeNothing_data()
    {
        QTest::addColumn<QStringList>("arguments"); // OUT stands for the output folder
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("files"); // in OUT, the file in the way included
        QTest::newRow("render") << QStringList{"render", "--out", "OUT", "A", "Broken", "nowhere", "B", "C", "D", "E"}
                                << 2 << 5 * 5 + 1;
        QTest::newRow("render --guides") << QStringList{"render", "--guides", "--out", "OUT", "A", "Broken", "B", "C"}
                                         << 2 << 3 * 10 + 1;
        QTest::newRow("sheet") << QStringList{"sheet", "--columns", "2", "--out", "OUT/sheet.png", "A", "Broken",
                                              "B", "C", "D", "E"}
                               << 0 << 2;
        QTest::newRow("sheet --panels") << QStringList{"sheet", "--panels", "--out", "OUT/sheet.png", "A", "Broken", "B"}
                                        << 0 << 2;
        QTest::newRow("sheet, a folder missing") << QStringList{"sheet", "--out", "OUT/sheet.png", "A", "nowhere", "B"}
                                                 << 2 << 1;
    }

    void threadsChangeNothing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(int, files);
        const QColor colours[] = {Qt::darkRed, Qt::darkGreen, Qt::darkBlue, Qt::darkCyan, Qt::darkMagenta};
        for (int i = 0; i < 5; ++i) {
            const QString skin = QStringLiteral("work/") + QChar(u'A' + i);
            cleanSkin(skin);
            writeBmp(skin + QStringLiteral("/background.bmp"), colours[i], BackgroundSize);
        }
        cleanSkin(QStringLiteral("work/Broken"));
        writeFile(QStringLiteral("work/Broken/background.bmp"), redClaiming256Colours(BackgroundSize));
        writeFile(QStringLiteral("work/Broken/backsettings.bmp"), bmpHeader(615, 599).left(30));
        // Each run writes into a folder of its own, where a file named C is
        // in the way of render's output for skin C.
        const auto runWith = [&](const QStringList &threads, const QString &out) {
            writeFile(QStringLiteral("work/") + out + QStringLiteral("/C"), "in the way");
            QStringList given = arguments;
            for (QString &argument : given)
                argument.replace(QStringLiteral("OUT"), out);
            return skintool(given.mid(0, 1) + threads + given.mid(1));
        };
        const auto filesIn = [&](const QString &out) {
            std::map<QString, QByteArray> found;
            const QString folder = path(QStringLiteral("work/") + out);
            QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString file = it.next();
                found[file.mid(folder.size())] = readFile(QStringLiteral("work/") + out + file.mid(folder.size()));
            }
            return found;
        };
        const Run one = runWith({QStringLiteral("-j"), QStringLiteral("1")}, QStringLiteral("serial"));
        QCOMPARE(one.status, status);
        QCOMPARE(one.err.isEmpty(), status == 0);
        const std::map<QString, QByteArray> written = filesIn(QStringLiteral("serial"));
        QCOMPARE(int(written.size()), files);
        int n = 0;
        for (const QStringList &threads : {QStringList{"-j4"}, QStringList{"--jobs=2"}, QStringList{}}) {
            const QString out = QStringLiteral("threaded%1").arg(++n);
            const Run many = runWith(threads, out);
            QCOMPARE(many.status, one.status);
            QCOMPARE(many.out, one.out);
            QCOMPARE(many.err, QString(one.err).replace(QStringLiteral("serial"), out));
            QVERIFY2(filesIn(out) == written, qPrintable(threads.join(QLatin1Char(' '))));
        }
    }

    // Names with control characters are escaped, and names with spaces
    // quoted, wherever skintool prints text; JSON escapes them its own way.
    void namesAreEscaped()
    {
        cleanSkin(QStringLiteral("work/a b"));
        writeBmp(QStringLiteral("work/a b/x\x1b[2J.bmp"), Qt::red);
        writeBmp(QStringLiteral("work/a b/new\nline.bmp"), Qt::red);
        writeBmp(QStringLiteral("work/a b/csi\u009b.bmp"), Qt::red);
        const Run text = skintool({QStringLiteral("check"), QStringLiteral("a b")});
        QCOMPARE(text.status, 0);
        QVERIFY2(text.out.startsWith(QLatin1String("\"a b\": 0 errors, 3 warnings\n")), qPrintable(text.out));
        for (const char *line : {"  warning unknown-name: \"x\\x1b[2J.bmp\" is not a skin file\n",
                                 "  warning unknown-name: \"new\\nline.bmp\" is not a skin file\n",
                                 "  warning unknown-name: \"csi\\u009b.bmp\" is not a skin file\n"})
            QVERIFY2(text.out.contains(QLatin1String(line)), qPrintable(text.out));
        const Run oneLine = skintool({QStringLiteral("check"), QStringLiteral("--oneline"), QStringLiteral("a b")});
        QVERIFY2(oneLine.out.contains(QLatin1String("a b/x\\x1b[2J.bmp: warning: unknown-name: ")), qPrintable(oneLine.out));
        const Run missing = skintool({QStringLiteral("check"), QStringLiteral("gone\x1b[2J")});
        QCOMPARE(missing.err, QStringLiteral("skintool: \"gone\\x1b[2J\": no such folder\n"));
        for (const Run &run : {text, oneLine, missing}) {
            QVERIFY(!(run.out + run.err).contains(QChar(0x1b)));
            QVERIFY(!(run.out + run.err).contains(QChar(0x9b)));
        }
        QCOMPARE(oneLine.out.count(QLatin1Char('\n')), 3);
        const QJsonObject json = checkJson(QStringLiteral("a b"));
        QVERIFY(codesOf(json).contains(QStringLiteral("unknown-name x\x1b[2J.bmp")));
    }

    // SIGINT or SIGTERM while a picture is being written: the temporary
    // file goes, and the program ends by the signal.
    void interruptLeavesNoTemporaryFile_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("signal");
        QTest::newRow("render, SIGINT") << "render" << SIGINT;
        QTest::newRow("sheet, SIGTERM") << "sheet" << SIGTERM;
    }

    void interruptLeavesNoTemporaryFile()
    {
        QFETCH(QString, command);
        QFETCH(int, signal);
        const QString skin = cleanSkin(QStringLiteral("skin"));
        const QString out = makeFolder(QStringLiteral("out/skin")); // render writes here
        const bool sheet = command == QLatin1String("sheet");
        const QString folder = sheet ? path(QStringLiteral("out")) : out;
        const QString finished = folder + (sheet ? QStringLiteral("/s.png") : QStringLiteral("/preview.png"));
        const QByteArray program = QFile::encodeName(binary());
        const QByteArray target = QFile::encodeName(sheet ? path(QStringLiteral("out/s.png")) : path(QStringLiteral("out")));
        const QByteArray skinBytes = QFile::encodeName(skin);
        int hits = 0;
        for (int attempt = 0; attempt < 20 && hits < 2; ++attempt) {
            QFile::remove(finished);
            const int watch = ::inotify_init1(IN_CLOEXEC);
            QVERIFY(watch >= 0);
            QVERIFY(::inotify_add_watch(watch, QFile::encodeName(folder).constData(), IN_CREATE) >= 0);
            const pid_t child = ::fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                ::signal(SIGINT, SIG_DFL);
                ::signal(SIGTERM, SIG_DFL);
                const int devnull = ::open("/dev/null", O_WRONLY);
                ::dup2(devnull, STDOUT_FILENO);
                ::dup2(devnull, STDERR_FILENO);
                // On threads, as on a machine of several cores.
                ::execl(program.constData(), program.constData(), sheet ? "sheet" : "render", "-j4", "--out",
                        target.constData(), skinBytes.constData(), static_cast<char *>(nullptr));
                ::_exit(99);
            }
            // The moment a temporary file appears, the signal goes.
            bool sent = false;
            QDeadlineTimer deadline(Patience);
            while (!sent && !deadline.hasExpired()) {
                pollfd wait{watch, POLLIN, 0};
                if (::poll(&wait, 1, 100) <= 0)
                    continue;
                alignas(inotify_event) char buffer[4096];
                const ssize_t got = ::read(watch, buffer, sizeof buffer);
                for (ssize_t at = 0; at < got;) {
                    const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                    if (!sent && event->len > 0 && QByteArray(event->name).contains(".png.")) {
                        ::kill(child, signal);
                        sent = true;
                    }
                    at += ssize_t(sizeof(inotify_event) + event->len);
                }
            }
            ::close(watch);
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QVERIFY(sent);
            const QStringList left = QDir(folder).entryList(QDir::Files);
            QVERIFY2(std::none_of(left.begin(), left.end(), [](const QString &name) { return name.contains(QLatin1String(".png.")); }),
                     qPrintable(left.join(' ')));
            if (QFileInfo::exists(finished))
                continue; // the signal came after the file was in place: try again
            ++hits;
            QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == signal, qPrintable(QString::number(status)));
        }
        QVERIFY2(hits > 0, "the signal never came while a file was being written");
    }

    // ".." in a FOLDER argument means what the file system says, for every
    // command: the parent of a link's target, not the link's own folder.
    void foldersFollowTheFileSystem()
    {
        writeBmp(QStringLiteral("work/a/background.bmp"), Qt::red, BackgroundSize);
        writeBmp(QStringLiteral("work/elsewhere/background.bmp"), Qt::blue, {790, 600});
        makeFolder(QStringLiteral("work/elsewhere/inner"));
        QVERIFY(QFile::link(QStringLiteral("../elsewhere/inner"), path(QStringLiteral("work/a/link"))));
        const QString given = QStringLiteral("a/link/..");
        const QJsonObject folder = checkJson(given);
        QCOMPARE(folder[QStringLiteral("slots")][0][QStringLiteral("width")].toInt(), 790);
        QCOMPARE(skintool({QStringLiteral("render"), QStringLiteral("--out"), QStringLiteral("out"), given}).status, 0);
        QCOMPARE(QImage(path(QStringLiteral("work/out/elsewhere/preview.png"))).pixelColor(400, 300), QColor(Qt::blue));
        QCOMPARE(QImage(path(QStringLiteral("work/out/elsewhere/selector.png"))).pixelColor(700, 300), QColor(Qt::blue));
        QCOMPARE(skintool({QStringLiteral("sheet"), QStringLiteral("--out"), QStringLiteral("s.png"), given}).status, 0);
        QCOMPARE(QImage(path(QStringLiteral("work/s.png"))).pixelColor(12 + 100, 12 + 75), QColor(Qt::blue));
    }

    // Qt sees none of skintool's arguments: after "--" a FOLDER named like
    // one of Qt's options is a folder like any other, and draws as it would
    // under another name.
    void foldersNamedLikeQtOptions()
    {
        cleanSkin(QStringLiteral("work/normal"));
        cleanSkin(QStringLiteral("work/-platform"));
        cleanSkin(QStringLiteral("work/-reverse"));
        Run run = skintool({"render", "--out", "alone", "normal"});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        run = skintool({"render", "--out", "o", "--", "-platform", "normal", "-reverse"});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        // (The selector shows the folder's path, so it differs.)
        for (const QString &picture : {QStringLiteral("preview.png"), QStringLiteral("desktop-settings.png")}) {
            const QByteArray alone = readFile(QStringLiteral("work/alone/normal/") + picture);
            QVERIFY(!alone.isEmpty());
            for (const QString &folder : {QStringLiteral("-platform"), QStringLiteral("normal"), QStringLiteral("-reverse")})
                QVERIFY2(readFile(QStringLiteral("work/o/%1/%2").arg(folder, picture)) == alone,
                         qPrintable(folder + QLatin1Char('/') + picture));
        }
    }

    // A picture's texts never reach its PNG.
    void pngCarriesNoTexts()
    {
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::red);
        image.setText(QStringLiteral("Comment"), QStringLiteral("from the skin file"));
        const QByteArray png = skintool::encodePng(image);
        QVERIFY(png.startsWith("\x89PNG"));
        for (const char *chunk : {"tEXt", "zTXt", "iTXt"})
            QVERIFY2(!png.contains(chunk), chunk);
    }

    // Every PNG decodes to exactly the pixels drawn, with an alpha channel
    // only where the picture has one; a picture streamed a band at a time
    // gives the same bytes as written whole.
    void pngHoldsThePixels_data()
    {
        QTest::addColumn<QImage>("image");
        const auto grainy = [](QSize size, QImage::Format format) {
            QImage image(size, format);
            quint32 seed = 12345;
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x) {
                    seed = seed * 1103515245u + 12345u;
                    image.setPixel(x, y, seed | (format == QImage::Format_ARGB32 ? 0 : 0xff000000u));
                }
            return image;
        };
        QTest::newRow("one pixel") << grainy({1, 1}, QImage::Format_RGB32);
        QTest::newRow("grain, odd size") << grainy({37, 23}, QImage::Format_RGB32);
        QTest::newRow("grain, every alpha") << grainy({64, 40}, QImage::Format_ARGB32);
        QTest::newRow("24-bit lines") << grainy({31, 17}, QImage::Format_RGB32).convertToFormat(QImage::Format_RGB888);
        QTest::newRow("premultiplied alpha")
            << grainy({16, 9}, QImage::Format_ARGB32).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QImage window(800, 600, QImage::Format_RGB32);
        window.fill(QColor(0x20, 0x40, 0x90));
        QPainter(&window).drawText(40, 40, QStringLiteral("Desktop settings"));
        QTest::newRow("a window") << window;
    }

    void pngHoldsThePixels()
    {
        QFETCH(QImage, image);
        const QByteArray png = skintool::encodePng(image);
        const QImage decoded = QImage::fromData(png, "PNG");
        QVERIFY(!decoded.isNull());
        QCOMPARE(decoded.hasAlphaChannel(), image.hasAlphaChannel());
        const QImage::Format format = image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
        QVERIFY(decoded.convertToFormat(format) == image.convertToFormat(format));

        QByteArray streamed;
        skintool::PngStream stream(image.width(), image.height(), image.hasAlphaChannel(),
                                   [&](QByteArrayView piece) { streamed.append(piece); });
        for (int y = 0, band = 1; y < image.height(); y += band, band = band % 5 + 1)
            stream.addLines(image.copy(0, y, image.width(), std::min(band, image.height() - y)));
        QVERIFY(stream.finish());
        QCOMPARE(streamed, png);
    }

    // A stream that did not get all its lines is no PNG.
    void pngStreamWantsEveryLine()
    {
        QByteArray bytes;
        skintool::PngStream stream(10, 10, false, [&](QByteArrayView piece) { bytes.append(piece); });
        QImage band(10, 9, QImage::Format_RGB32);
        band.fill(Qt::red);
        stream.addLines(band);
        QVERIFY(!stream.finish());
    }

    // The sheet's labels: as much of each folder's path as tells it apart.
    void sheetLabels_data()
    {
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QStringList>("labels");
        QTest::newRow("different names") << QStringList{"/s/Ember", "/s/Frost"} << QStringList{"Ember", "Frost"};
        QTest::newRow("same name") << QStringList{"/v1/Ember", "/v2/Ember", "/v2/Frost"}
                                   << QStringList{"v1/Ember", "v2/Ember", "Frost"};
        QTest::newRow("same two names") << QStringList{"/a/x/Ember", "/b/x/Ember"}
                                        << QStringList{"a/x/Ember", "b/x/Ember"};
        QTest::newRow("one below the other") << QStringList{"/x/Ember", "/y/x/Ember"}
                                             << QStringList{"/x/Ember", "y/x/Ember"};
        QTest::newRow("the same folder twice") << QStringList{"/s/Ember", "/s/Ember"} << QStringList{"Ember", "Ember"};
        QTest::newRow("root") << QStringList{"/"} << QStringList{"/"};
    }

    void sheetLabels()
    {
        QFETCH(QStringList, folders);
        QFETCH(QStringList, labels);
        QCOMPARE(skintool::sheetLabels(folders), labels);
    }

    // Never more columns than skins; a sheet that a PNG reader could not be
    // expected to open is refused before anything is drawn or written.
    void sheetSize_data()
    {
        QTest::addColumn<int>("skins");
        QTest::addColumn<QString>("columns");
        QTest::addColumn<int>("width"); // 0: refused
        QTest::addColumn<QString>("refusal");
        QTest::newRow("more columns than skins") << 2 << "1000" << 2 * 3224 + 12 << QString();
        QTest::newRow("too wide") << 6 << "6" << 0
                                  << "skintool: sheet: the sheet would be 19356 pixels wide, more than the 16384 that a "
                                     "PNG reader can be expected to open; give fewer --columns or a smaller --size\n";
        QTest::newRow("too large") << 35 << "5" << 0
                                   << "skintool: sheet: the sheet would be 16132 pixels wide and 4450 high, more than "
                                      "the 67108864 pixels in all that a PNG reader can be expected to open; give fewer "
                                      "FOLDERs or a smaller --size\n";
    }

    void sheetSize()
    {
        QFETCH(int, skins);
        QFETCH(QString, columns);
        QFETCH(int, width);
        QFETCH(QString, refusal);
        QStringList arguments{"sheet", "--out", "s.png", "--columns", columns, "--size", "800x600", "--panels"};
        for (int i = 0; i < skins; ++i)
            arguments << makeFolder(QStringLiteral("skins/%1").arg(i));
        const Run run = skintool(arguments);
        QCOMPARE(run.err, refusal);
        QCOMPARE(run.status, width ? 0 : 2);
        QCOMPARE(QImage(path(QStringLiteral("work/s.png"))).width(), width);
        QCOMPARE(entriesIn(workDir()), width ? QStringList{"s.png"} : QStringList{});
    }

    // A sheet that cannot have its memory says so, and writes nothing. The
    // address sanitizer's allocator fails allocations larger than a limit
    // (here a row of the sheet, 8 MB, and not a window's picture, 2 MB).
    void sheetOutOfMemory()
    {
#if !defined(__SANITIZE_ADDRESS__)
        QSKIP("needs the address sanitizer's allocation limit");
#endif
        QProcessEnvironment limit;
        limit.insert(QStringLiteral("ASAN_OPTIONS"), qEnvironmentVariable("ASAN_OPTIONS")
                                                         + QStringLiteral(":allocator_may_return_null=1:max_allocation_size_mb=4"));
        const Run run = skintool({"sheet", "--out", "s.png", "--size", "800x600", "--panels", makeFolder("skin")}, limit);
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.endsWith(QStringLiteral("skintool: s.png: out of memory\n")), qPrintable(run.err));
        QCOMPARE(entriesIn(workDir()), QStringList{});
    }

    // Badges in red and amber with the counts that check gives, and the
    // layout options.
    void sheetBadgesAndOptions()
    {
        const QString clean = cleanSkin(QStringLiteral("Clean"));
        const QString broken = cleanSkin(QStringLiteral("Broken"));
        writeFile(QStringLiteral("Broken/sticker_background.bmp"), "x"); // an error
        writeBmp(QStringLiteral("Broken/backround.bmp"), Qt::red); // and a warning
        const QString warned = cleanSkin(QStringLiteral("Warned"));
        writeBmp(QStringLiteral("Warned/backround.bmp"), Qt::red); // a warning
        const Run run = skintool({"sheet", "--out", "s.png", "--columns", "2", "--size", "160x120", "--panels",
                                  clean, broken, warned});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.err, QString());
        const QImage sheet(path(QStringLiteral("work/s.png")));
        // Two columns of cells four thumbnails wide, two rows.
        const int cellWidth = 4 * 160 + 3 * 4 + 12;
        const int cellHeight = 120 + 22 + 12;
        QCOMPARE(sheet.size(), QSize(2 * cellWidth + 12, 2 * cellHeight + 12));
        const auto corner = [&](int index) { return QPoint(12 + (index % 2) * cellWidth, 12 + (index / 2) * cellHeight); };
        // The main view, then the three panels.
        QCOMPARE(sheet.pixelColor(corner(0) + QPoint(80, 60)), QColor(0x20, 0x40, 0x90));
        QCOMPARE(sheet.pixelColor(corner(0) + QPoint(164 + 100, 60)), QColor(0xa0, 0x30, 0x30));
        QCOMPARE(sheet.pixelColor(corner(0) + QPoint(2 * 164 + 100, 60)), QColor(0xa0, 0xa0, 0x30));
        QCOMPARE(sheet.pixelColor(corner(0) + QPoint(3 * 164 + 100, 60)), QColor(0x30, 0xa0, 0xa0));
        // Badges sit in the main view's top right corner.
        const auto badgeColours = [&](int index) {
            QSet<QRgb> colours;
            const QPoint at = corner(index);
            for (int y = 0; y < 24; ++y)
                for (int x = 160 - 70; x < 160; ++x)
                    colours.insert(sheet.pixel(at + QPoint(x, y)) & 0xffffff);
            return colours;
        };
        const QRgb red = skintool::BadgeRed & 0xffffff, amber = skintool::BadgeAmber & 0xffffff;
        QVERIFY(!badgeColours(0).contains(red) && !badgeColours(0).contains(amber));
        QVERIFY(badgeColours(1).contains(red) && badgeColours(1).contains(amber));
        QVERIFY(!badgeColours(2).contains(red) && badgeColours(2).contains(amber));
    }
};

QTEST_MAIN(SkintoolTest)
#include "skintool_test.moc"
