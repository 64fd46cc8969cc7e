// Skin folders, skin files and "lastpath.skin" that are broken on purpose:
// none of them may crash the program, hang it, make it read what it has no
// business reading, or make it write anything but "lastpath.skin".
//
// Every case ends with the same three checks: the program still works (the
// menu switches panels, the selector browses and takes a double click), the
// slots that did not meet the broken file got their pictures, and the tree
// below the test's temporary folder is exactly as it was, "lastpath.skin"
// aside.
//
// Tests run as root, where permission bits stop nothing. Cases that need a
// file or folder to be really unreadable run in a forked copy of the test
// that has dropped its permission override; cases that need an unwritable
// working directory run in a forked copy inside a private mount namespace
// (a read-only bind mount, or a small full tmpfs). A forked copy that does
// not finish in time is killed and the case fails.

#include "support/child.h"
#include "support/fixture.h"

#include "app/forms.h"
#include "files/error.h"
#include "files/filename.h"
#include "forms/picturebox.h"
#include "pictures/picture.h"
#include "preview/form1.h"
#include "selector/form2.h"
#include "skin/lastpath.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <map>
#include <vector>

namespace {

// ---- Colours: each slot's file has its own, so a slot shows where its picture came from ----

const QColor Hostile(0x40, 0x80, 0xc0); // the file under test, when it loads
const QColor UsBackground(0xa0, 0x20, 0x20);
const QColor StickerColour(0x20, 0xa0, 0x20);
const QColor DesktopColour(0x20, 0x20, 0xa0);
const QColor ScreenSaverColour(0xa0, 0xa0, 0x20);
const QColor AdvancedColour(0xa0, 0x20, 0xa0);
const QColor BrowseColour(0x30, 0x90, 0x60);

constexpr qint64 MiB = 1024 * 1024;

bool near(QColor actual, QColor expected, int tolerance = 0)
{
    return actual.isValid() && qAbs(actual.red() - expected.red()) <= tolerance
           && qAbs(actual.green() - expected.green()) <= tolerance
           && qAbs(actual.blue() - expected.blue()) <= tolerance;
}

QString describe(QColor colour)
{
    return colour.isValid() ? colour.name() : QStringLiteral("nothing");
}

QColor colourAt(const QImage &picture, QPoint point)
{
    return picture.valid(point) ? picture.pixelColor(point) : QColor();
}

// Failures gathered by a case, reported at once; a case may run in a forked
// copy of the test, where QtTest's own macros would go unseen.
class Problems
{
public:
    bool expect(bool ok, const QString &what)
    {
        if (!ok)
            m_list.append(what);
        return ok;
    }
    void add(const QString &more)
    {
        if (!more.isEmpty())
            m_list.append(more);
    }
    bool any() const { return !m_list.isEmpty(); }
    QString text() const { return m_list.join(QStringLiteral("\n   ")); }

private:
    QStringList m_list;
};

#define EXPECT_NONE(problems)                                                                                \
    do {                                                                                                     \
        const QString text_ = (problems);                                                                    \
        QVERIFY2(text_.isEmpty(), qPrintable(text_));                                                        \
    } while (false)

// ---- BMP files, byte by byte ----

class Bytes
{
public:
    Bytes &u8(int v)
    {
        m_data.append(char(v & 0xff));
        return *this;
    }
    Bytes &u16(int v) { return u8(v).u8(v >> 8); }
    Bytes &u32(qint64 v) { return u16(int(v & 0xffff)).u16(int((v >> 16) & 0xffff)); }
    Bytes &raw(const QByteArray &bytes)
    {
        m_data.append(bytes);
        return *this;
    }
    Bytes &repeat(const QByteArray &bytes, int times)
    {
        m_data.append(bytes.repeated(times));
        return *this;
    }
    QByteArray data() const { return m_data; }

private:
    QByteArray m_data;
};

constexpr int Side = 16; // every picture here is 16 x 16

// A BMP file with a 40-byte information header, then the colour masks, the
// palette (4 bytes an entry) and the pixel data.
QByteArray bmp(qint32 width, qint32 height, int bits, quint32 compression, const QByteArray &masks,
               const QByteArray &palette, const QByteArray &pixels)
{
    const int offset = 14 + 40 + int(masks.size() + palette.size());
    return Bytes()
        .raw("BM")
        .u32(offset + pixels.size())
        .u16(0)
        .u16(0)
        .u32(offset)
        .u32(40)
        .u32(quint32(width))
        .u32(quint32(height))
        .u16(1)
        .u16(bits)
        .u32(compression)
        .u32(pixels.size())
        .u32(2835)
        .u32(2835)
        .u32(palette.size() / 4)
        .u32(0)
        .raw(masks)
        .raw(palette)
        .raw(pixels)
        .data();
}

// A 32-bit BMP with a version 5 header (124 bytes) whose bit fields give
// an alpha mask; the pixels' alpha bytes are alpha.
QByteArray bmpV5(QColor colour, int alpha)
{
    constexpr int HeaderEnd = 14 + 124;
    const QByteArray pixel = Bytes().u8(colour.blue()).u8(colour.green()).u8(colour.red()).u8(alpha).data();
    const QByteArray pixels = pixel.repeated(Side * Side);
    return Bytes()
        .raw("BM")
        .u32(HeaderEnd + pixels.size())
        .u32(0)
        .u32(HeaderEnd)
        .u32(124)
        .u32(Side)
        .u32(Side)
        .u16(1)
        .u16(32)
        .u32(3) // bit fields
        .u32(pixels.size())
        .u32(2835)
        .u32(2835)
        .u32(0)
        .u32(0)
        .u32(0x00ff0000)
        .u32(0x0000ff00)
        .u32(0x000000ff)
        .u32(0xff000000)
        .u32(0x73524742) // sRGB
        .raw(QByteArray(124 - 60, '\0'))
        .raw(pixels)
        .data();
}

// A GIF of one colour. Its LZW codes stay three bits wide: a clear code
// before every two pixels keeps the code table from growing.
QByteArray gif(QColor colour)
{
    std::vector<int> codes;
    for (int i = 0; i < Side * Side / 2; ++i)
        codes.insert(codes.end(), {4, 0, 0}); // clear, then entry 0 twice
    codes.push_back(5); // end of information
    QByteArray data;
    quint32 bits = 0;
    int count = 0;
    for (const int code : codes) {
        bits |= quint32(code) << count;
        count += 3;
        for (; count >= 8; count -= 8, bits >>= 8)
            data.append(char(bits & 0xff));
    }
    if (count > 0)
        data.append(char(bits & 0xff));
    return Bytes()
        .raw("GIF89a")
        .u16(Side)
        .u16(Side)
        .u8(0x80) // a global colour table of two entries
        .u8(0)
        .u8(0)
        .u8(colour.red()).u8(colour.green()).u8(colour.blue())
        .u8(0).u8(0).u8(0)
        .u8(0x2c)
        .u16(0).u16(0).u16(Side).u16(Side)
        .u8(0)
        .u8(2) // LZW minimum code size
        .u8(int(data.size()))
        .raw(data)
        .u8(0)
        .u8(0x3b)
        .data();
}

QByteArray bgr(QColor colour, bool padByte)
{
    QByteArray bytes;
    bytes.append(char(colour.blue())).append(char(colour.green())).append(char(colour.red()));
    if (padByte)
        bytes.append('\0');
    return bytes;
}

// A palette of the given size, grey but for one entry in the colour.
QByteArray palette(int entries, int index, QColor colour)
{
    QByteArray bytes;
    for (int i = 0; i < entries; ++i)
        bytes.append(i == index ? bgr(colour, true) : bgr(QColor(0x77, 0x77, 0x77), true));
    return bytes;
}

QByteArray masks(quint32 red, quint32 green, quint32 blue)
{
    return Bytes().u32(red).u32(green).u32(blue).data();
}

// A plain 24-bit picture; rows are 48 bytes, so no padding. The pixel data
// starts at byte 54.
QByteArray bmp24(QColor colour, qint32 width = Side, qint32 height = Side)
{
    return bmp(width, height, 24, 0, {}, {}, bgr(colour, false).repeated(Side * Side));
}

QByteArray encoded(QColor colour, const char *format)
{
    QImage image(Side, Side, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format, 100))
        qFatal("cannot encode a %s picture", format);
    return bytes;
}

// The bytes of a hostile skin file; an empty result with ok false means the
// kind is not made of bytes (a folder, a link and the like).
QByteArray pictureBytes(const QString &kind, bool &ok)
{
    ok = true;
    const QColor c = Hostile;
    const int r = c.red(), g = c.green(), b = c.blue();
    if (kind == QLatin1String("1 bit"))
        return bmp(Side, Side, 1, 0, {}, palette(2, 1, c), QByteArray("\xff\xff\0\0", 4).repeated(Side));
    if (kind == QLatin1String("4 bits"))
        return bmp(Side, Side, 4, 0, {}, palette(16, 5, c), QByteArray(Side * Side / 2, '\x55'));
    if (kind == QLatin1String("8 bits"))
        return bmp(Side, Side, 8, 0, {}, palette(256, 200, c), QByteArray(Side * Side, char(200)));
    if (kind == QLatin1String("RLE8")) {
        // Per line a run of 16 pixels of entry 200 and an end of line; then
        // the end of the picture.
        const QByteArray line("\x10\xc8\0\0", 4);
        return bmp(Side, Side, 8, 1, {}, palette(256, 200, c), line.repeated(Side) + QByteArray("\0\1", 2));
    }
    if (kind == QLatin1String("RLE8 cut short")) {
        // Twelve of the sixteen lines, and no end of the picture.
        const QByteArray line("\x10\xc8\0\0", 4);
        return bmp(Side, Side, 8, 1, {}, palette(256, 200, c), line.repeated(12));
    }
    if (kind == QLatin1String("RLE4")) {
        const QByteArray line("\x10\x55\0\0", 4);
        return bmp(Side, Side, 4, 2, {}, palette(16, 5, c), line.repeated(Side) + QByteArray("\0\1", 2));
    }
    if (kind == QLatin1String("16 bits 5-5-5")) {
        const int pixel = (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
        return bmp(Side, Side, 16, 0, {}, {}, Bytes().u16(pixel).data().repeated(Side * Side));
    }
    if (kind == QLatin1String("16 bits 5-6-5")) {
        const int pixel = (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3);
        return bmp(Side, Side, 16, 3, masks(0xf800, 0x07e0, 0x001f), {},
                   Bytes().u16(pixel).data().repeated(Side * Side));
    }
    if (kind == QLatin1String("24 bits"))
        return bmp24(c);
    if (kind == QLatin1String("24 bits top-down"))
        return bmp24(c, Side, -Side);
    if (kind == QLatin1String("32 bits"))
        return bmp(Side, Side, 32, 0, {}, {}, bgr(c, true).repeated(Side * Side));
    if (kind == QLatin1String("32 bits with masks"))
        return bmp(Side, Side, 32, 3, masks(0xff0000, 0xff00, 0xff), {}, bgr(c, true).repeated(Side * Side));
    if (kind == QLatin1String("32 bits, alpha 0, version 5 header"))
        return bmpV5(c, 0);
    if (kind == QLatin1String("GIF named .bmp"))
        return gif(c);
    if (kind == QLatin1String("GIF cut short"))
        return gif(c).chopped(40);
    if (kind == QLatin1String("JPEG cut short"))
        return encoded(c, "JPG").chopped(4);
    if (kind == QLatin1String("PNG cut short"))
        return encoded(c, "PNG").chopped(20);
    if (kind == QLatin1String("12-byte header")) {
        const QByteArray pixels = bgr(c, false).repeated(Side * Side);
        return Bytes().raw("BM").u32(26 + pixels.size()).u32(0).u32(26).u32(12).u16(Side).u16(Side).u16(1).u16(24)
            .raw(pixels).data();
    }
    if (kind == QLatin1String("PNG named .bmp"))
        return encoded(c, "PNG");
    if (kind == QLatin1String("JPEG named .bmp"))
        return encoded(c, "JPG");
    if (kind == QLatin1String("empty"))
        return {};
    if (kind.startsWith(QLatin1String("cut at "))) {
        const QByteArray whole = bmp24(c);
        const QString at = kind.mid(7);
        if (at == QLatin1String("end - 1"))
            return whole.chopped(1);
        if (at == QLatin1String("half"))
            return whole.left(whole.size() / 2);
        return whole.left(at.toInt());
    }
    if (kind == QLatin1String("100000 x 100000"))
        return bmp24(c).left(54).replace(18, 8, Bytes().u32(100000).u32(100000).data()) + QByteArray(64, '\x7f');
    if (kind == QLatin1String("100000 x -100000"))
        return bmp24(c).left(54).replace(18, 8, Bytes().u32(100000).u32(-100000).data()) + QByteArray(64, '\x7f');
    if (kind == QLatin1String("12-byte header, 1026 x -27134"))
        return Bytes().raw("BM").u32(42).u32(0).u32(26).u32(12).u16(1026).u16(-27134).u16(1).u16(24)
            .raw(QByteArray(16, '\x7f')).data();
    if (kind == QLatin1String("width 0"))
        return bmp24(c, 0, Side);
    if (kind == QLatin1String("height 0"))
        return bmp24(c, Side, 0);
    if (kind == QLatin1String("width -16"))
        return bmp24(c, -Side, Side);
    if (kind == QLatin1String("height -2147483648"))
        return bmp24(c, Side, INT_MIN);
    if (kind == QLatin1String("PNG signature, then junk"))
        return QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(200, '\x5a');
    ok = false;
    return {};
}

// ---- What the process reads, what the tree holds ----

// All bytes that this process has read through read() and its kin so far.
qint64 bytesRead()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

// Everything below a folder, by relative path (raw bytes): the kind and
// permissions of each entry, a regular file's size and content (or its
// modification time when it is too large to read), a link's target. Walks
// with *at() calls and never follows links, so loops, unreadable folders
// and paths longer than PATH_MAX are no trouble.
using Tree = std::map<QByteArray, QByteArray>;

// Kept out of walk(), whose frames stack up once per level.
QByteArray fileDigest(int parent, const QByteArray &name)
{
    const int fd = ::openat(parent, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return "unreadable";
    QCryptographicHash hash(QCryptographicHash::Sha1);
    QByteArray buffer(65536, Qt::Uninitialized);
    ssize_t got;
    while ((got = ::read(fd, buffer.data(), size_t(buffer.size()))) > 0)
        hash.addData(QByteArrayView(buffer.constData(), got));
    ::close(fd);
    return "sha1 " + hash.result().toHex();
}

QByteArray linkTarget(int parent, const QByteArray &name)
{
    QByteArray target(PATH_MAX, Qt::Uninitialized);
    const ssize_t length = ::readlinkat(parent, name.constData(), target.data(), size_t(target.size()));
    return target.left(length < 0 ? 0 : length);
}

void walk(int parent, const QByteArray &name, const QByteArray &relative, Tree &tree)
{
    struct stat info;
    if (::fstatat(parent, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        tree[relative] = "vanished";
        return;
    }
    QByteArray what = QByteArray::number(info.st_mode, 8);
    if (S_ISREG(info.st_mode)) {
        what += " size " + QByteArray::number(qint64(info.st_size));
        if (info.st_size > 4 * MiB) {
            what += " modified " + QByteArray::number(qint64(info.st_mtim.tv_sec)) + '.'
                    + QByteArray::number(qint64(info.st_mtim.tv_nsec));
        } else {
            what += ' ' + fileDigest(parent, name);
        }
    } else if (S_ISLNK(info.st_mode)) {
        what += " -> " + linkTarget(parent, name);
    } else if (S_ISDIR(info.st_mode)) {
        const int fd = ::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        DIR *dir = fd < 0 ? nullptr : ::fdopendir(fd);
        if (!dir) {
            if (fd >= 0)
                ::close(fd);
            what += " unlistable";
        } else {
            QList<QByteArray> names;
            while (const dirent *entry = ::readdir(dir)) {
                const QByteArray entryName(entry->d_name);
                if (entryName != "." && entryName != "..")
                    names.append(entryName);
            }
            std::sort(names.begin(), names.end());
            for (const QByteArray &entryName : names)
                walk(::dirfd(dir), entryName, relative + '/' + entryName, tree);
            ::closedir(dir);
        }
    }
    tree[relative] = what;
}

// What differs between two snapshots, but for the entries named in ignored.
QString differences(const Tree &before, const Tree &after, const QList<QByteArray> &ignored)
{
    QStringList found;
    for (const auto &[name, what] : before) {
        if (ignored.contains(name))
            continue;
        const auto now = after.find(name);
        if (now == after.end())
            found << QStringLiteral("removed %1").arg(QString::fromUtf8(name));
        else if (now->second != what)
            found << QStringLiteral("changed %1 (%2 -> %3)")
                         .arg(QString::fromUtf8(name), QString::fromUtf8(what), QString::fromUtf8(now->second));
    }
    for (const auto &[name, what] : after) {
        if (!ignored.contains(name) && before.find(name) == before.end())
            found << QStringLiteral("written %1 (%2)").arg(QString::fromUtf8(name), QString::fromUtf8(what));
    }
    return found.join(QStringLiteral("; "));
}

// Removes a tree with *at() calls, for trees deeper than PATH_MAX.
void removeTree(int parent, const QByteArray &name)
{
    const int fd = ::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        if (DIR *dir = ::fdopendir(fd)) {
            QList<QByteArray> names;
            while (const dirent *entry = ::readdir(dir)) {
                const QByteArray entryName(entry->d_name);
                if (entryName != "." && entryName != "..")
                    names.append(entryName);
            }
            for (const QByteArray &entryName : names)
                removeTree(::dirfd(dir), entryName);
            ::closedir(dir);
        } else {
            ::close(fd);
        }
        ::unlinkat(parent, name.constData(), AT_REMOVEDIR);
    } else {
        ::unlinkat(parent, name.constData(), 0);
    }
}

// Removes a tree when the case ends, however it ends: the temporary
// folder's own clean-up goes by texts and cannot remove what lies past
// PATH_MAX or is named with bytes that are not UTF-8.
struct RemoveOnExit
{
    QByteArray path;
    ~RemoveOnExit() { removeTree(AT_FDCWD, path); }
};

// ---- Driving the program ----

bool clickAt(QWidget &window, QWidget &control)
{
    const QPoint point = control.geometry().center();
    QWidget *hit = window.childAt(control.parentWidget()->mapTo(&window, point));
    if (hit != &control)
        return false;
    QTest::mouseClick(hit, Qt::LeftButton, {}, hit->rect().center());
    return true;
}

// A real double click on the folder list's entry for a folder.
bool doubleClickEntry(const QString &folder)
{
    return clickFolderEntry(form2().Dir1(), folder, 2);
}

bool start()
{
    startProgram();
    return form1().isLoaded() && QTest::qWaitForWindowExposed(&form1().window());
}

bool openSelector()
{
    return clickAt(form1().window(), form1().Label7()) && form2().isLoaded() && form2().window().isVisible()
           && QTest::qWaitForWindowExposed(&form2().window());
}

// Closes the selector with its close glyph, as a user does.
bool closeSelector()
{
    return form2().isLoaded() && clickAt(form2().window(), form2().Label2()) && !form2().isLoaded();
}

bool setPath(const QString &folder)
{
    try {
        form2().Dir1().setPath(folder);
        return true;
    } catch (const RuntimeError &) {
        return false;
    }
}

QColor selectorBackground()
{
    return form2().isLoaded() ? colourAt(form2().picture(), {8, 8}) : QColor();
}

// The selector shows the folder, which holds a hostile background under the
// name given and no other file, in its three controls and as its background.
QString selectorAt(const QString &folder, const QString &background)
{
    Problems problems;
    problems.expect(form2().Dir1().path() == folder,
                    QStringLiteral("the folder list is at %1").arg(form2().Dir1().path()));
    problems.expect(form2().Text1().text() == folder,
                    QStringLiteral("the path box holds %1").arg(form2().Text1().text()));
    const QString shown = static_cast<QLineEdit &>(form2().Text1()).text();
    problems.expect(shown == displayFileName(folder), QStringLiteral("the path box shows %1").arg(shown));
    problems.expect(form2().File1().fileNames() == QStringList{background},
                    QStringLiteral("the file list shows %1").arg(form2().File1().fileNames().join(u',')));
    problems.expect(near(selectorBackground(), Hostile),
                    QStringLiteral("the selector shows %1").arg(describe(selectorBackground())));
    return problems.text();
}

} // namespace

class HostileTest : public Fixture
{
    Q_OBJECT

private:
    enum Outcome { Refused, Loads, LoadsLossy, LoadsTopLineBlank };
    static constexpr QLatin1StringView NoNamespace{"needs root: "};

    QByteArray native(const QString &relative) const { return QFile::encodeName(path(relative)); }
    Tree snapshot() const
    {
        Tree tree;
        walk(AT_FDCWD, QFile::encodeName(QDir::cleanPath(path(QStringLiteral(".")))), {}, tree);
        return tree;
    }
    static QList<QByteArray> lastPathOnly() { return {QByteArrayLiteral("/work/lastpath.skin")}; }

    QByteArray lastPathBytes() const { return readFile(QStringLiteral("work/lastpath.skin")); }
    static QByteArray lineFor(const QString &folder) { return fileNameFromText(folder) + "\r\n"; }

    // A skin with a picture for every slot but the plain background: its
    // "_us" twin stands in, so a slot shows which file it got.
    QString makeSkin(const QString &relative) const
    {
        writeBmp(relative + QStringLiteral("/background_us.bmp"), UsBackground);
        writeBmp(relative + QStringLiteral("/sticker_background.bmp"), StickerColour);
        writeBmp(relative + QStringLiteral("/backsettings_us.bmp"), DesktopColour);
        writeBmp(relative + QStringLiteral("/backscreensaver.bmp"), ScreenSaverColour);
        writeBmp(relative + QStringLiteral("/backadvanced.bmp"), AdvancedColour);
        return path(relative);
    }

    // The folder that every case browses to at its end.
    QString browseParent() const { return path(QStringLiteral("browse")); }
    QString browseFolder() const { return path(QStringLiteral("browse/Green")); }
    void makeBrowseFolder() const { writeBmp(QStringLiteral("browse/Green/background.bmp"), BrowseColour); }

    // The preview window's slots against the skin of makeSkin(); the
    // background against the colour given.
    static QString skinApplied(QColor background)
    {
        Problems problems;
        Form1 &preview = form1();
        const std::pair<const char *, std::pair<QImage, QColor>> pictures[] = {
            {"background", {preview.picture(), background}},
            {"sticker", {preview.Picture1().picture(), StickerColour}},
            {"Picture2", {preview.Picture2().picture(), DesktopColour}},
            {"Picture3", {preview.Picture3().picture(), ScreenSaverColour}},
            {"Picture4", {preview.Picture4().picture(), AdvancedColour}},
        };
        for (const auto &[name, slot] : pictures) {
            const QColor shown = colourAt(slot.first, {8, 8});
            problems.expect(near(shown, slot.second, 8), QStringLiteral("the %1 slot shows %2, not %3")
                                                             .arg(QLatin1String(name), describe(shown),
                                                                  describe(slot.second)));
        }
        return problems.text();
    }

    // The program still answers: the preview window is there, its menu
    // switches panels, and the selector browses to the browse folder and
    // takes a real double click there.
    QString programWorks() const
    {
        Problems problems;
        if (!problems.expect(form1().isLoaded() && form1().window().isVisible(), QStringLiteral("no preview window")))
            return problems.text();
        Form1 &preview = form1();
        problems.expect(clickAt(preview.window(), preview.Label3()) && preview.Picture2().isVisible()
                            && !preview.Picture3().isVisible() && !preview.Picture4().isVisible()
                            && preview.Label3().foreColor() == RGB(255, 0, 0),
                        QStringLiteral("\"Desktop settings\" shows no panel"));
        problems.expect(clickAt(preview.window(), preview.Label5()) && preview.Picture4().isVisible()
                            && !preview.Picture2().isVisible(),
                        QStringLiteral("\"Advanced settings\" shows no panel"));
        problems.expect(clickAt(preview.window(), preview.Label1()) && !preview.Picture2().isVisible()
                            && !preview.Picture3().isVisible() && !preview.Picture4().isVisible(),
                        QStringLiteral("\"My Collection\" leaves a panel shown"));
        if (!form2().isLoaded() || !form2().window().isVisible()) {
            if (!problems.expect(openSelector(), QStringLiteral("the logo opens no selector")))
                return problems.text();
        }
        problems.expect(setPath(browseParent()) && form2().Dir1().path() == browseParent(),
                        QStringLiteral("the selector does not go to %1").arg(browseParent()));
        problems.expect(doubleClickEntry(browseFolder()) && form2().Dir1().path() == browseFolder(),
                        QStringLiteral("a double click does not enter %1 (at %2)")
                            .arg(browseFolder(), form2().Dir1().path()));
        problems.expect(form2().File1().fileNames() == QStringList{QStringLiteral("background.bmp")},
                        QStringLiteral("the file list shows %1").arg(form2().File1().fileNames().join(u',')));
        problems.expect(form2().Text1().text() == browseFolder(),
                        QStringLiteral("the path box shows %1").arg(form2().Text1().text()));
        problems.expect(near(selectorBackground(), BrowseColour),
                        QStringLiteral("the selector shows %1 as its background").arg(describe(selectorBackground())));
        return problems.text();
    }

    // Makes the hostile file of a kind at a path; false for a kind unknown.
    bool makeHostileFile(const QString &kind, const QString &file) const
    {
        const QByteArray name = QFile::encodeName(file);
        bool isBytes = false;
        const QByteArray bytes = pictureBytes(kind, isBytes);
        if (isBytes)
            return writeRaw(name, bytes);
        if (kind == QLatin1String("folder"))
            return ::mkdir(name.constData(), 0755) == 0 && writeRaw(name + "/inside.bmp", bmp24(Hostile));
        if (kind == QLatin1String("FIFO"))
            return ::mkfifo(name.constData(), 0644) == 0;
        if (kind == QLatin1String("link to /dev/zero"))
            return ::symlink("/dev/zero", name.constData()) == 0;
        if (kind == QLatin1String("dangling link"))
            return ::symlink("nowhere.bmp", name.constData()) == 0;
        if (kind.startsWith(QLatin1String("unreadable")))
            return writeRaw(name, bmp24(Hostile)) && ::chmod(name.constData(), 0) == 0;
        if (kind == QLatin1String("2 GB sparse")) {
            // A good picture at its start, so only the size can refuse it.
            const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            const QByteArray start = bmp24(Hostile);
            const bool ok = fd >= 0 && ::write(fd, start.constData(), size_t(start.size())) == start.size()
                            && ::ftruncate(fd, 2LL * 1024 * MiB) == 0;
            return ::close(fd) == 0 && ok;
        }
        return false;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(bytesRead() >= 0, "no /proc/self/io to count what is read");
        if (::geteuid() == 0)
            qInfo("running as root: chmod 000 stops nothing here, so the unreadable cases that must fail run"
                  " in a forked copy without the permission override");
    }

    // ---- Skin files ----

    void skinFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<bool>("withoutOverride");

        const auto row = [](const char *kind, Outcome outcome, bool withoutOverride = false) {
            QTest::newRow(kind) << QString::fromLatin1(kind) << int(outcome) << withoutOverride;
        };
        // Pictures that load, whatever their depth, compression or format.
        row("1 bit", Loads);
        row("4 bits", Loads);
        row("8 bits", Loads);
        row("RLE8", Loads);
        row("RLE4", Loads);
        row("16 bits 5-5-5", Loads);
        row("16 bits 5-6-5", Loads);
        row("24 bits", Loads);
        row("24 bits top-down", Loads);
        row("32 bits", Loads);
        row("32 bits with masks", Loads);
        // The platform that skins are made for shows a BMP's pixels opaque,
        // whatever its alpha says.
        row("32 bits, alpha 0, version 5 header", Loads);
        row("12-byte header", Loads);
        row("PNG named .bmp", Loads);
        row("JPEG named .bmp", LoadsLossy);
        row("GIF named .bmp", Loads);
        // Cut short: inside the file header, inside the information header,
        // right after it, in the pixels and in the last line of pixels. A
        // picture cut anywhere does not load (a file half written is a
        // broken file), whatever its format.
        row("empty", Refused);
        row("cut at 2", Refused);
        row("cut at 14", Refused);
        row("cut at 18", Refused);
        row("cut at 26", Refused);
        row("cut at 30", Refused);
        row("cut at 54", Refused);
        row("cut at half", Refused);
        row("cut at end - 1", Refused);
        row("RLE8 cut short", Refused);
        row("PNG cut short", Refused);
        row("JPEG cut short", Refused);
        row("GIF cut short", Refused);
        // Sizes that no slot could show.
        row("100000 x 100000", Refused);
        row("100000 x -100000", Refused);
        row("12-byte header, 1026 x -27134", Refused);
        row("width 0", Refused);
        row("height 0", Refused);
        row("width -16", Refused);
        row("height -2147483648", Refused);
        row("PNG signature, then junk", Refused);
        // Things that are no file to read.
        row("folder", Refused);
        row("FIFO", Refused);
        row("link to /dev/zero", Refused);
        row("dangling link", Refused);
        row("2 GB sparse", Refused);
        // As root the file still reads; without the override it does not.
        row("unreadable, as root", ::geteuid() == 0 ? Loads : Refused);
        row("unreadable, no permission override", Refused, true);
    }

    // The file under test is the skin's "background.bmp"; its "_us" twin
    // shows whenever it is refused.
    void skinFile()
    {
        QFETCH(QString, kind);
        QFETCH(int, outcome);
        QFETCH(bool, withoutOverride);

        makeBrowseFolder();
        const QString skin = makeSkin(QStringLiteral("skins/Hostile"));
        const QString file = skin + QStringLiteral("/background.bmp");
        QVERIFY2(makeHostileFile(kind, file), qPrintable(qt_error_string(errno)));
        const Tree before = snapshot();
        const QColor background = outcome == Refused ? UsBackground : Hostile;
        const int tolerance = outcome == LoadsLossy ? 8 : 0;

        const auto run = [&]() -> QString {
            Problems problems;
            if (withoutOverride && !dropPermissionOverride())
                return QStringLiteral("cannot drop the permission override");

            // Straight through the entry point: refused or loaded, without
            // reading more than a picture's worth.
            const qint64 readBefore = bytesRead();
            QImage picture;
            bool loaded = false;
            try {
                picture = LoadPicture(file);
                loaded = true;
            } catch (const RuntimeError &) {
            }
            const qint64 read = bytesRead() - readBefore;
            problems.expect(read < MiB, QStringLiteral("LoadPicture read %1 bytes").arg(read));
            problems.expect(loaded == (outcome != Refused),
                            QString::fromLatin1(loaded ? "LoadPicture loaded it" : "LoadPicture refused it"));
            if (loaded) {
                problems.expect(picture.size() == QSize(Side, Side),
                                QStringLiteral("the picture is %1 x %2").arg(picture.width()).arg(picture.height()));
                problems.expect(near(colourAt(picture, {8, 8}), Hostile, tolerance),
                                QStringLiteral("the picture shows %1").arg(describe(colourAt(picture, {8, 8}))));
            }

            // Through the program: the selector previews the folder, its
            // close applies the skin to the preview window.
            if (!problems.expect(start(), QStringLiteral("the program does not start")))
                return problems.text();
            problems.expect(setPath(skin), QStringLiteral("the selector does not go to the skin"));
            problems.expect(near(selectorBackground(), background, tolerance),
                            QStringLiteral("the selector shows %1").arg(describe(selectorBackground())));
            problems.expect(form2().File1().fileNames().contains(QStringLiteral("backadvanced.bmp")),
                            QStringLiteral("the file list lacks the skin's files"));
            problems.expect(openSelector(), QStringLiteral("the logo opens no selector"));
            problems.expect(closeSelector(), QStringLiteral("the close glyph does not close the selector"));
            problems.add(skinApplied(background));
            problems.expect(lastPathBytes() == lineFor(skin),
                            QStringLiteral("lastpath.skin holds %1").arg(QString::fromUtf8(lastPathBytes())));
            problems.add(programWorks());
            return problems.text();
        };
        EXPECT_NONE(withoutOverride ? inChild(run) : run());
        EXPECT_NONE(differences(before, snapshot(), lastPathOnly()));
    }

    // ---- Folders ----

    // Folder names that are awkward as text; each is run through as the
    // folder double-clicked, and as the working directory.
    void folderNames_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("remembered"); // the next start comes back to where the selector closed

        QTest::newRow("spaces") << QByteArray("Blue  Sky skin") << true;
        QTest::newRow("leading and trailing spaces") << QByteArray(" padded ") << true;
        QTest::newRow("newline") << QByteArray("new\nline") << true;
        QTest::newRow("backslash") << QByteArray("back\\slash") << true;
        QTest::newRow("tilde") << QByteArray("~") << true;
        QTest::newRow("255 bytes") << QByteArray(255, 'n') << true;
        QTest::newRow("control character") << QByteArray("esc\x1b[0m\x01") << true;
        QTest::newRow("valid non-ASCII UTF-8") << QByteArray("Gr\xc3\xbcn \xe2\x98\x83") << true;
        // Names are bytes: those that are not UTF-8 show as replacement
        // characters, yet lead to the folder and are saved as they are.
        QTest::newRow("Latin-1 bytes") << QByteArray("caf\xe9 na\xefve \xff\xfe") << true;
        QTest::newRow("lone continuation byte") << QByteArray("a\x80z") << true;
        // The line of "lastpath.skin" ends at a carriage return, so such a
        // folder cannot be remembered: the file is not written (it would
        // name another folder), and the next start stays where it is.
        QTest::newRow("carriage return") << QByteArray("cr\rname") << false;
    }

    void folderNames()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, remembered);

        makeBrowseFolder();
        const QString parent = makeFolder(QStringLiteral("names"));
        const QByteArray folder = QFile::encodeName(parent) + '/' + name;
        const RemoveOnExit remove{folder};
        QVERIFY(::mkdir(folder.constData(), 0755) == 0);
        // Found through the letter-case lookup, in the folder's own bytes.
        QVERIFY(writeRaw(folder + "/Background.BMP", bmp24(Hostile)));
        const QString shown = parent + QLatin1Char('/') + textFromFileName(name);
        const Tree before = snapshot();

        Problems problems;
        QVERIFY(start());
        QVERIFY(openSelector());
        problems.expect(setPath(parent), QStringLiteral("the selector does not go to the parent"));
        const int row = int(form2().Dir1().entryPaths().indexOf(shown));
        problems.expect(row >= 0, QStringLiteral("the folder is not listed"));
        // What the list shows is text a person can read.
        const QString label = form2().Dir1().model()->index(row, 0).data().toString();
        problems.expect(label == displayFileName(textFromFileName(name)),
                        QStringLiteral("the entry reads %1").arg(QString::fromLatin1(label.toUtf8().toHex())));
        problems.expect(doubleClickEntry(shown), QStringLiteral("cannot double-click the entry"));
        problems.add(selectorAt(shown, QStringLiteral("Background.BMP")));
        // The logo closes it and applies the folder.
        problems.expect(clickAt(form2().window(), form2().Label3()) && !form2().isLoaded(),
                        QStringLiteral("the logo does not close the selector"));
        problems.expect(lastPathBytes() == (remembered ? lineFor(shown) : QByteArray()),
                        QStringLiteral("lastpath.skin holds %1").arg(QString::fromUtf8(lastPathBytes().toHex())));
        const QColor preview = colourAt(form1().picture(), {8, 8});
        problems.expect(near(preview, Hostile), QStringLiteral("the preview window shows %1").arg(describe(preview)));
        // The next start comes back to it, if the line can hold it.
        releaseForms();
        QVERIFY(start());
        const QString back = remembered ? shown : workDir();
        problems.expect(form2().Dir1().path() == back,
                        QStringLiteral("the next start is at %1, not %2").arg(form2().Dir1().path(), back));
        problems.add(programWorks());
        EXPECT_NONE(problems.text());
        EXPECT_NONE(differences(before, snapshot(), lastPathOnly()));
    }

    void workingDirectoryNames_data() { folderNames_data(); }

    // Started in a folder of that name, the selector begins there, and the
    // close keeps "lastpath.skin" in it, naming it; the next start there
    // comes back to it from the default skins folder.
    void workingDirectoryNames()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, remembered);

        makeBrowseFolder();
        const QByteArray places = QFile::encodeName(makeFolder(QStringLiteral("places")));
        const QByteArray folder = places + '/' + name;
        const RemoveOnExit remove{folder};
        QVERIFY(::mkdir(folder.constData(), 0755) == 0);
        QVERIFY(writeRaw(folder + "/background.bmp", bmp24(Hostile)));
        QVERIFY(::chdir(folder.constData()) == 0);
        const QString here = textFromFileName(folder);
        const Tree before = snapshot();

        Problems problems;
        QVERIFY(start());
        QVERIFY(openSelector());
        // Nothing has moved the folder list yet: it shows where it began.
        problems.expect(form2().Dir1().path() == here,
                        QStringLiteral("the folder list is at %1").arg(form2().Dir1().path()));
        problems.expect(form2().File1().fileNames() == QStringList{QStringLiteral("background.bmp")},
                        QStringLiteral("the file list shows %1").arg(form2().File1().fileNames().join(u',')));
        problems.expect(closeSelector(), QStringLiteral("the selector does not close"));
        const QByteArray saved = readRaw(folder + "/lastpath.skin");
        problems.expect(saved == (remembered ? folder + "\r\n" : QByteArray()),
                        QStringLiteral("lastpath.skin holds %1").arg(QString::fromLatin1(saved.toHex())));
        // The default skins folder comes first at a start; the remembered
        // folder then takes over.
        releaseForms();
        QDir().mkpath(defaultSkinFolder());
        QVERIFY(start());
        const QString back = remembered ? here : defaultSkinFolder();
        problems.expect(form2().Dir1().path() == back,
                        QStringLiteral("the next start is at %1, not %2").arg(form2().Dir1().path(), back));
        problems.add(programWorks());
        releaseForms();
        QVERIFY(QDir::setCurrent(workDir()));
        EXPECT_NONE(problems.text());
        EXPECT_NONE(differences(before, snapshot(),
                                {"/places/" + name + "/lastpath.skin", "/data/tavix", "/data/tavix/Data",
                                 "/data/tavix/Data/Skins"}));
    }

    void unreadableFolder_data()
    {
        QTest::addColumn<bool>("withoutOverride");
        QTest::newRow("as root") << false;
        QTest::newRow("no permission override") << true;
    }

    // A folder that cannot be listed or searched shows no subfolders, no
    // files and no background, and the list still leads out of it. As root
    // it lists like any other.
    void unreadableFolder()
    {
        QFETCH(bool, withoutOverride);
        makeBrowseFolder();
        writeBmp(QStringLiteral("locked/Skin/background.bmp"), Hostile);
        makeFolder(QStringLiteral("locked/Skin/Inner"));
        const QString parent = path(QStringLiteral("locked"));
        const QString locked = path(QStringLiteral("locked/Skin"));
        QVERIFY(::chmod(QFile::encodeName(locked).constData(), 0) == 0);
        const Tree before = snapshot();
        const bool readable = !withoutOverride && ::geteuid() == 0;

        const auto run = [&]() -> QString {
            Problems problems;
            if (withoutOverride && !dropPermissionOverride())
                return QStringLiteral("cannot drop the permission override");
            if (!problems.expect(start() && openSelector(), QStringLiteral("the program does not start")))
                return problems.text();
            problems.expect(setPath(locked), QStringLiteral("the selector does not go to the folder"));
            problems.expect(form2().Dir1().path() == locked && form2().Text1().text() == locked,
                            QStringLiteral("the selector is at %1").arg(form2().Dir1().path()));
            problems.expect(form2().Dir1().entryPaths().contains(locked + QStringLiteral("/Inner")) == readable,
                            QStringLiteral("the folder list shows %1").arg(form2().Dir1().entryPaths().join(u',')));
            problems.expect(form2().File1().fileNames().isEmpty() != readable,
                            QStringLiteral("the file list shows %1").arg(form2().File1().fileNames().join(u',')));
            problems.expect(near(selectorBackground(), Hostile) == readable,
                            QStringLiteral("the selector shows %1").arg(describe(selectorBackground())));
            problems.expect(doubleClickEntry(parent) && form2().Dir1().path() == parent,
                            QStringLiteral("a double click does not lead out of the folder"));
            problems.expect(closeSelector(), QStringLiteral("the selector does not close"));
            problems.expect(lastPathBytes() == lineFor(parent),
                            QStringLiteral("lastpath.skin holds %1").arg(QString::fromUtf8(lastPathBytes())));
            problems.add(programWorks());
            return problems.text();
        };
        const QString problems = withoutOverride ? inChild(run) : run();
        const QString changes = differences(before, snapshot(), lastPathOnly());
        ::chmod(QFile::encodeName(locked).constData(), 0755);
        EXPECT_NONE(problems);
        EXPECT_NONE(changes);
    }

    // The folder shown vanishes; the user double-clicks what the list
    // still shows, types into the box and closes the selector.
    void folderDeletedWhileShown()
    {
        makeBrowseFolder();
        writeBmp(QStringLiteral("gone/Skin/background.bmp"), Hostile);
        makeFolder(QStringLiteral("gone/Skin/Inner"));
        const QString gone = path(QStringLiteral("gone/Skin"));
        QVERIFY(start());
        QVERIFY(openSelector());
        QVERIFY(setPath(gone));
        QVERIFY(near(selectorBackground(), Hostile));
        const QImage builtIn = form1().picture();

        QVERIFY(QDir(gone).removeRecursively());
        const Tree before = snapshot();
        Problems problems;
        problems.expect(doubleClickEntry(gone + QStringLiteral("/Inner")),
                        QStringLiteral("the vanished subfolder is no longer listed"));
        problems.expect(form2().Dir1().path() == gone,
                        QStringLiteral("the folder list moved to %1").arg(form2().Dir1().path()));
        problems.expect(!form2().Dir1().entryPaths().contains(gone + QStringLiteral("/Inner")),
                        QStringLiteral("the list still offers the vanished subfolder"));
        problems.expect(doubleClickEntry(gone) && form2().Dir1().path() == gone,
                        QStringLiteral("a double click on the vanished folder itself moved the list"));
        QTest::keyClicks(&form2().Text1(), QStringLiteral("/x"));
        problems.expect(form2().Text1().text() == gone + QStringLiteral("/x") && form2().Dir1().path() == gone,
                        QStringLiteral("typing moved the list to %1").arg(form2().Dir1().path()));
        problems.expect(closeSelector(), QStringLiteral("the selector does not close"));
        problems.expect(lastPathBytes() == lineFor(gone),
                        QStringLiteral("lastpath.skin holds %1").arg(QString::fromUtf8(lastPathBytes())));
        problems.expect(form1().picture() == builtIn, QStringLiteral("the preview window lost its background"));
        // The next start finds the folder missing and stays put.
        releaseForms();
        QVERIFY(start());
        problems.expect(form2().Dir1().path() == workDir(),
                        QStringLiteral("the next start is at %1").arg(form2().Dir1().path()));
        problems.add(programWorks());
        EXPECT_NONE(problems.text());
        EXPECT_NONE(differences(before, snapshot(), lastPathOnly()));
    }

    // a -> b -> a: neither leads anywhere, so neither is listed, typed or set.
    void symbolicLinkLoop()
    {
        makeBrowseFolder();
        const QString loop = makeFolder(QStringLiteral("loop"));
        QVERIFY(QFile::link(QStringLiteral("b"), loop + QStringLiteral("/a")));
        QVERIFY(QFile::link(QStringLiteral("a"), loop + QStringLiteral("/b")));
        const Tree before = snapshot();

        Problems problems;
        QVERIFY(start());
        QVERIFY(openSelector());
        problems.expect(setPath(loop), QStringLiteral("the selector does not go to the folder"));
        const QStringList entries = form2().Dir1().entryPaths();
        problems.expect(!entries.contains(loop + QStringLiteral("/a"))
                            && !entries.contains(loop + QStringLiteral("/b")),
                        QStringLiteral("the list offers the loop: %1").arg(entries.join(u',')));
        problems.expect(form2().File1().fileNames().isEmpty(), QStringLiteral("the file list offers the loop"));
        problems.expect(!setPath(loop + QStringLiteral("/a")) && form2().Dir1().path() == loop,
                        QStringLiteral("the folder list took the loop"));
        form2().Text1().setText(loop + QStringLiteral("/b/a/b"));
        problems.expect(form2().Dir1().path() == loop, QStringLiteral("the path box led into the loop"));
        problems.expect(closeSelector(), QStringLiteral("the selector does not close"));
        problems.expect(lastPathBytes() == lineFor(loop),
                        QStringLiteral("lastpath.skin holds %1").arg(QString::fromUtf8(lastPathBytes())));
        problems.add(programWorks());
        EXPECT_NONE(problems.text());
        EXPECT_NONE(differences(before, snapshot(), lastPathOnly()));
    }

    // "up" leads to its own parent: every double click on it goes one level
    // "deeper" in name only, and nothing follows it on its own.
    void linkToOwnParent()
    {
        makeBrowseFolder();
        writeBmp(QStringLiteral("cycle/background.bmp"), Hostile);
        const QString cycle = path(QStringLiteral("cycle"));
        QVERIFY(QFile::link(QStringLiteral(".."), cycle + QStringLiteral("/up")));
        QVERIFY(QFile::link(QStringLiteral("."), cycle + QStringLiteral("/here")));
        const Tree before = snapshot();

        Problems problems;
        QVERIFY(start());
        QVERIFY(openSelector());
        problems.expect(setPath(cycle), QStringLiteral("the selector does not go to the folder"));
        QString at = cycle;
        for (int i = 0; i < 10; ++i) {
            const QString next = at + QStringLiteral("/here");
            if (!problems.expect(doubleClickEntry(next) && form2().Dir1().path() == next,
                                 QStringLiteral("double click %1 did not enter %2").arg(i).arg(next)))
                break;
            at = next;
        }
        problems.expect(form2().File1().fileNames() == QStringList{QStringLiteral("background.bmp")},
                        QStringLiteral("the file list shows %1").arg(form2().File1().fileNames().join(u',')));
        problems.expect(near(selectorBackground(), Hostile),
                        QStringLiteral("the selector shows %1").arg(describe(selectorBackground())));
        const QString up = at + QStringLiteral("/up");
        problems.expect(doubleClickEntry(up) && form2().Dir1().path() == up,
                        QStringLiteral("the link to the parent cannot be entered"));
        problems.expect(form2().Dir1().entryPaths().contains(up + QStringLiteral("/cycle")),
                        QStringLiteral("the parent's listing lacks the folder"));
        // A path that goes round until it is longer than any path may be.
        const QString tooLong = cycle + QStringLiteral("/here").repeated(1000);
        problems.expect(!setPath(tooLong), QStringLiteral("the folder list took a path longer than PATH_MAX"));
        problems.expect(closeSelector(), QStringLiteral("the selector does not close"));
        problems.expect(lastPathBytes() == lineFor(up),
                        QStringLiteral("lastpath.skin holds %1").arg(QString::fromUtf8(lastPathBytes())));
        problems.add(programWorks());
        EXPECT_NONE(problems.text());
        EXPECT_NONE(differences(before, snapshot(), lastPathOnly()));
    }

    void deepFolders_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("200 levels") << QByteArray("level");
        QTest::newRow("200 levels past PATH_MAX") << QByteArray("a-folder-name-of-thirty-bytes");
    }

    // A chain of 200 folders. Whatever the path length allows is listed with
    // every ancestor; what lies past PATH_MAX is refused; nothing recurses.
    void deepFolders()
    {
        QFETCH(QByteArray, name);
        constexpr int Levels = 200;
        makeBrowseFolder();
        const QString top = makeFolder(QStringLiteral("deep"));
        const RemoveOnExit remove{QFile::encodeName(top)};

        // Made level by level with *at() calls; the deepest level holds a
        // background. Remembers the deepest folder that a path can name.
        QString reachable = top;
        QString deepest = top;
        int fd = ::open(QFile::encodeName(top).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        for (int level = 0; level < Levels; ++level) {
            QVERIFY(::mkdirat(fd, name.constData(), 0755) == 0);
            const int next = ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            QVERIFY(next >= 0);
            fd = next;
            deepest += QLatin1Char('/') + QString::fromLatin1(name);
            if (QFile::encodeName(deepest).size() < PATH_MAX)
                reachable = deepest;
        }
        const QByteArray picture = bmp24(Hostile);
        const int file = ::openat(fd, "background.bmp", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        QVERIFY(file >= 0);
        QVERIFY(::write(file, picture.constData(), size_t(picture.size())) == picture.size());
        ::close(file);
        ::close(fd);
        const bool pastPathMax = reachable != deepest;
        const Tree before = snapshot();

        Problems problems;
        QVERIFY(start());
        QVERIFY(openSelector());
        problems.expect(setPath(deepest) != pastPathMax,
                        QString::fromLatin1(pastPathMax ? "a path past PATH_MAX was taken"
                                                        : "the deepest folder was refused"));
        problems.expect(setPath(reachable) && form2().Dir1().path() == reachable,
                        QStringLiteral("the selector does not go to %1").arg(reachable));
        // The list: "/", every ancestor in order, the folder itself, its one
        // subfolder.
        QStringList expected{QStringLiteral("/")};
        QString ancestor;
        for (const QString &part : reachable.split(QLatin1Char('/'), Qt::SkipEmptyParts))
            expected << (ancestor += QLatin1Char('/') + part);
        if (reachable != deepest)
            expected << reachable + QLatin1Char('/') + QString::fromLatin1(name);
        problems.expect(form2().Dir1().entryPaths() == expected,
                        QStringLiteral("the folder list shows %1 entries, not %2")
                            .arg(form2().Dir1().entryPaths().size())
                            .arg(expected.size()));
        problems.expect(near(selectorBackground(), Hostile) != pastPathMax,
                        QStringLiteral("the selector shows %1").arg(describe(selectorBackground())));
        if (pastPathMax) {
            // The next level down would pass PATH_MAX: a double click on it
            // is refused.
            problems.expect(doubleClickEntry(expected.last()) && form2().Dir1().path() == reachable,
                            QStringLiteral("the list went past PATH_MAX"));
        }
        // Half-way up with a double click, back down by the path box.
        const QString middle = expected.at(expected.size() / 2);
        problems.expect(doubleClickEntry(middle) && form2().Dir1().path() == middle,
                        QStringLiteral("a double click does not go up to %1").arg(middle));
        form2().Text1().setText(reachable);
        problems.expect(form2().Dir1().path() == reachable, QStringLiteral("the path box does not lead back down"));
        problems.expect(closeSelector(), QStringLiteral("the selector does not close"));
        problems.expect(lastPathBytes() == lineFor(reachable),
                        QStringLiteral("lastpath.skin does not hold the folder"));
        releaseForms();
        QVERIFY(start());
        problems.expect(form2().Dir1().path() == reachable, QStringLiteral("the next start does not come back"));
        problems.add(programWorks());
        EXPECT_NONE(problems.text());
        EXPECT_NONE(differences(before, snapshot(), lastPathOnly()));
    }

    // ---- "lastpath.skin" ----

    void lastPathFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("replaced"); // by the close, with the folder chosen

        QTest::newRow("folder") << QStringLiteral("folder") << false;
        QTest::newRow("FIFO") << QStringLiteral("FIFO") << false;
        QTest::newRow("1 GB line of NUL bytes") << QStringLiteral("1 GB of NUL bytes") << true;
        QTest::newRow("1 GB line, text then NUL bytes") << QStringLiteral("1 GB of text") << true;
        QTest::newRow("binary garbage") << QStringLiteral("garbage") << true;
        QTest::newRow("garbage line, then a folder") << QStringLiteral("garbage line") << true;
        QTest::newRow("folder, NUL, more") << QStringLiteral("NUL inside") << true;
        QTest::newRow("a file, not a folder") << QStringLiteral("file") << true;
        QTest::newRow("relative folder") << QStringLiteral("relative") << true;
    }

    // Start-up reads no more than a line's worth, takes no folder from a
    // broken file and never blocks; the close replaces a regular file and
    // leaves anything else alone.
    void lastPathFile()
    {
        QFETCH(QString, kind);
        QFETCH(bool, replaced);

        // The fonts and the rest of a first start are read before counting.
        QVERIFY(start());
        releaseForms();

        makeBrowseFolder();
        const QString skin = makeSkin(QStringLiteral("skins/Good"));
        const QByteArray file = native(QStringLiteral("work/lastpath.skin"));
        QString lastPath; // what start-up should take from the file
        if (kind == QLatin1String("folder")) {
            QVERIFY(::mkdir(file.constData(), 0755) == 0);
            QVERIFY(writeRaw(file + "/keep", lineFor(skin)));
        } else if (kind == QLatin1String("FIFO")) {
            QVERIFY(::mkfifo(file.constData(), 0644) == 0);
        } else if (kind.startsWith(QLatin1String("1 GB"))) {
            QVERIFY(writeRaw(file, kind.endsWith(QLatin1String("text")) ? QByteArray(MiB, 'a') : QByteArray()));
            QVERIFY(::truncate(file.constData(), 1024 * MiB) == 0);
        } else if (kind.startsWith(QLatin1String("garbage"))) {
            QByteArray bytes(4096, Qt::Uninitialized);
            QRandomGenerator random(5);
            for (char &byte : bytes)
                byte = char(random.bounded(256));
            bytes.replace('\r', 'r');
            lastPath = textFromFileName(bytes);
            if (kind == QLatin1String("garbage line"))
                bytes += "\r\n" + lineFor(skin);
            QVERIFY(writeRaw(file, bytes));
        } else if (kind == QLatin1String("NUL inside")) {
            const QByteArray line = QFile::encodeName(skin) + QByteArray(1, '\0') + "/more";
            lastPath = textFromFileName(line);
            QVERIFY(writeRaw(file, line + "\r\n"));
        } else if (kind == QLatin1String("file")) {
            lastPath = skin + QStringLiteral("/background_us.bmp");
            QVERIFY(writeRaw(file, lineFor(lastPath)));
        } else if (kind == QLatin1String("relative")) {
            makeFolder(QStringLiteral("work/skins"));
            lastPath = QStringLiteral("skins");
            QVERIFY(writeRaw(file, lineFor(lastPath)));
        }
        const Tree before = snapshot();

        const auto run = [&]() -> QString {
            Problems problems;
            const qint64 readBefore = bytesRead();
            if (!problems.expect(start(), QStringLiteral("the program does not start")))
                return problems.text();
            const qint64 read = bytesRead() - readBefore;
            problems.expect(read < 4 * MiB, QStringLiteral("start-up read %1 bytes").arg(read));
            problems.expect(form1().LastPath == lastPath,
                            QStringLiteral("LastPath is %1").arg(form1().LastPath.left(80)));
            problems.expect(form2().Dir1().path() == workDir(),
                            QStringLiteral("start-up took the folder list to %1").arg(form2().Dir1().path()));
            problems.expect(openSelector() && setPath(skin), QStringLiteral("the selector does not go to the skin"));
            problems.expect(closeSelector(), QStringLiteral("the selector does not close"));
            problems.add(skinApplied(UsBackground));
            if (replaced)
                problems.expect(lastPathBytes() == lineFor(skin),
                                QStringLiteral("lastpath.skin does not hold the skin"));
            problems.add(programWorks());
            // Closing the preview window closes the selector once more.
            form1().unload();
            problems.expect(!form1().isLoaded() && !form2().isLoaded(), QStringLiteral("the program did not end"));
            return problems.text();
        };
        // A FIFO could block an open: that case runs where it can be killed.
        EXPECT_NONE(kind == QLatin1String("FIFO") ? inChild(run) : run());
        EXPECT_NONE(differences(before, snapshot(), replaced ? lastPathOnly() : QList<QByteArray>{}));
    }

    void lastPathUnwritable_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("read-only working directory") << QStringLiteral("read-only");
        QTest::newRow("file system full") << QStringLiteral("full");
        QTest::newRow("no inodes left") << QStringLiteral("no inodes");
    }

    // The close cannot write "lastpath.skin": the old content stays byte for
    // byte, no half-written file is left beside it, and the skin is applied
    // all the same. Each case runs in a private mount namespace.
    void lastPathUnwritable()
    {
        QFETCH(QString, kind);
        makeBrowseFolder();
        const QString skin = makeSkin(QStringLiteral("skins/Good"));
        const QString old = browseFolder();
        const QByteArray oldContent = lineFor(old) + "second line, kept too\r\n";
        writeFile(QStringLiteral("work/lastpath.skin"), oldContent);
        const QByteArray work = QFile::encodeName(workDir());
        const Tree before = snapshot();

        const auto run = [&]() -> QString {
            Problems problems;
            if (const QString failed = enterPrivateMountNamespace(); !failed.isEmpty())
                return NoNamespace + failed;
            QStringList expectedEntries{QStringLiteral("lastpath.skin")};
            if (kind == QLatin1String("read-only")) {
                if (::mount(work.constData(), work.constData(), nullptr, MS_BIND, nullptr) != 0
                    || ::mount(nullptr, work.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
                    return QStringLiteral("no read-only bind mount: %1").arg(qt_error_string(errno));
            } else {
                const char *options = kind == QLatin1String("full") ? "size=64k,mode=0755" : "nr_inodes=8,mode=0755";
                if (::mount("tmpfs", work.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options) != 0)
                    return QStringLiteral("no tmpfs: %1").arg(qt_error_string(errno));
            }
            // The working directory was the folder underneath the mount.
            if (::chdir(work.constData()) != 0)
                return QStringLiteral("cannot enter the mount");
            if (kind != QLatin1String("read-only")) {
                if (!writeRaw(LastPathFileName, oldContent))
                    return QStringLiteral("cannot write the old content");
                // Fill what is left: blocks with one file, or inodes with
                // empty files.
                if (kind == QLatin1String("full")) {
                    const int fd = ::open("filler", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
                    const QByteArray block(4096, 'f');
                    while (fd >= 0 && ::write(fd, block.constData(), size_t(block.size())) > 0) {
                    }
                    ::close(fd);
                    expectedEntries << QStringLiteral("filler");
                } else {
                    for (int i = 0; i < 64; ++i) {
                        const QByteArray name = "empty" + QByteArray::number(i);
                        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
                        if (fd < 0)
                            break;
                        ::close(fd);
                        expectedEntries << QString::fromLatin1(name);
                    }
                }
                const bool roomLeft = writeRaw("probe", "x");
                ::unlink("probe");
                if (roomLeft)
                    return QStringLiteral("the file system is not full");
            }
            if (!problems.expect(start(), QStringLiteral("the program does not start")))
                return problems.text();
            problems.expect(form1().LastPath == old && form2().Dir1().path() == old,
                            QStringLiteral("start-up did not take the old folder"));
            problems.expect(openSelector() && setPath(skin), QStringLiteral("the selector does not go to the skin"));
            problems.expect(closeSelector(), QStringLiteral("the selector does not close"));
            problems.expect(lastPathBytes() == oldContent,
                            QStringLiteral("lastpath.skin now holds %1").arg(QString::fromUtf8(lastPathBytes())));
            QStringList entries = QDir(QFile::decodeName(work))
                                      .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
            std::sort(entries.begin(), entries.end());
            std::sort(expectedEntries.begin(), expectedEntries.end());
            problems.expect(entries == expectedEntries,
                            QStringLiteral("the working directory holds %1").arg(entries.join(u',')));
            problems.add(skinApplied(UsBackground));
            problems.add(programWorks());
            return problems.text();
        };
        const QString problems = inChild(run);
        if (problems.startsWith(NoNamespace) && ::geteuid() != 0)
            QSKIP(qPrintable(problems));
        EXPECT_NONE(problems);
        EXPECT_NONE(differences(before, snapshot(), {}));
    }
};

QTEST_MAIN(HostileTest)
#include "hostile_test.moc"
