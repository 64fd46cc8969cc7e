// Folder texts as the path box and "lastpath.skin" hand them to the folder
// list, and names as the letter-case lookup takes them, run against a small
// tree made in a temporary folder at start-up. Checks that:
// - any bytes come back exactly from the text they decode to;
// - a folder text is taken only as an absolute, clean path, free of NUL,
//   that names a folder, and taking it again gives the same;
// - the letter-case lookup stays inside its folder and answers with the
//   name itself or an entry equal to it but for letter case.

#include "files/diskfolder.h"
#include "files/filename.h"
#include "files/places.h"

#include <QByteArray>
#include <QDir>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

#define CHECK(condition, what)                                                                              \
    do {                                                                                                    \
        if (!(condition)) {                                                                                 \
            std::fprintf(stderr, "%s: %s\n", what, qPrintable(QString::fromLatin1(input.toHex())));         \
            std::abort();                                                                                   \
        }                                                                                                   \
    } while (false)

// The tree every input runs against:
//   root/h\xf4me                 the home folder ("~")
//   root/Skins/Blue/Background.BMP, background.bmp, BACKGROUND.bmp
//   root/Skins/caf\xe9/a\x80z.bmp
//   root/Skins/Gr\xc3\xbcn, root/Skins/up -> .., root/Skins/file.txt
struct Tree
{
    QByteArray root;
    QString skins;
    QString blue;

    Tree()
    {
        char pattern[] = "/tmp/fuzz-foldertext-XXXXXX";
        if (!::mkdtemp(pattern))
            std::abort();
        root = pattern;
        for (const char *folder : {"/h\xf4me", "/Skins", "/Skins/Blue", "/Skins/caf\xe9", "/Skins/Gr\xc3\xbcn"})
            make(folder, true);
        for (const char *file : {"/Skins/Blue/Background.BMP", "/Skins/Blue/background.bmp",
                                 "/Skins/Blue/BACKGROUND.bmp", "/Skins/caf\xe9/a\x80z.bmp", "/Skins/file.txt"})
            make(file, false);
        if (::symlink("..", (root + "/Skins/up").constData()) != 0)
            std::abort();
        ::setenv("HOME", (root + "/h\xf4me").constData(), 1);
        skins = textFromFileName(root + "/Skins");
        blue = skins + QStringLiteral("/Blue");
    }

    ~Tree()
    {
        std::error_code ignored;
        std::filesystem::remove_all(root.constData(), ignored);
    }

    void make(const char *relative, bool folder) const
    {
        const QByteArray path = root + relative;
        const int made = folder ? ::mkdir(path.constData(), 0755) : ::close(::creat(path.constData(), 0644));
        if (made != 0)
            std::abort();
    }
};

bool isFolder(const QString &path)
{
    struct stat status;
    return ::stat(fileNameFromText(path).constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool exists(const QString &path)
{
    struct stat status;
    return ::lstat(fileNameFromText(path).constData(), &status) == 0;
}

bool holdsLoneSurrogate(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            return true;
    }
    return false;
}

void checkFolderText(const QByteArray &input, const QString &text)
{
    const std::optional<QString> folder = existingFolder(text);
    if (!folder) {
        return;
    }
    CHECK(!text.contains(QChar(0)), "a text holding a NUL was taken");
    CHECK(text.startsWith(QLatin1Char('/')) || text.startsWith(QLatin1Char('~')), "a relative text was taken");
    CHECK(folder->startsWith(QLatin1Char('/')), "the folder is not absolute");
    CHECK(QDir::cleanPath(*folder) == *folder, "the folder is not clean");
    CHECK(isFolder(*folder), "the folder is none");
    CHECK(existingFolder(*folder) == folder, "the folder is not taken as itself");
}

void checkLookup(const QByteArray &input, const Tree &tree, const QString &name)
{
    for (const QString &folder : {tree.blue, tree.skins}) {
        DiskFolder lookup(folder);
        const QString found = lookup.pathOf(lookup.resolve(name));
        CHECK(found.startsWith(folder + QLatin1Char('/')), "the lookup left its folder");
        const QString entry = found.mid(folder.size() + 1);
        if (entry == name)
            continue;
        CHECK(entry.compare(name, Qt::CaseInsensitive) == 0, "the lookup found another name");
        CHECK(!exists(folder + QLatin1Char('/') + name), "the lookup passed over the exact name");
        CHECK(exists(found), "the lookup found nothing there");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const Tree tree;
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));

    // The codec: exact both ways, readable when shown.
    const QString decoded = textFromFileName(input);
    CHECK(fileNameFromText(decoded) == input, "the bytes do not come back");
    const QString shown = displayFileName(decoded);
    CHECK(shown.size() == decoded.size() && !holdsLoneSurrogate(shown), "the shown name holds a lone surrogate");

    // Folder texts: the bytes as a stored line, as typed text, below the tree.
    checkFolderText(input, decoded);
    checkFolderText(input, QString::fromUtf8(input));
    checkFolderText(input, tree.skins + QLatin1Char('/') + decoded);

    // Names: a name holds neither "/" nor NUL.
    if (!input.contains('/') && !input.contains('\0') && !input.isEmpty())
        checkLookup(input, tree, decoded);
    return 0;
}
