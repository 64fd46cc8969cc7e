// The files room's archives: an archive read as a folder, its names, what
// it skips and why, and paths that pass through one.

#include "support/archives.h"
#include "support/child.h"
#include "support/fixture.h"

#include "files/archive.h"
#include "files/archivefolder.h"
#include "files/filename.h"
#include "files/folderlisting.h"
#include "files/places.h"
#include "pictures/picture.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <cstdio>

#include <sys/stat.h>

namespace {

const QColor Red(200, 30, 30);
const QColor Blue(30, 40, 210);
const QColor Green(20, 180, 60);

QColor colourOf(Folder &folder, const QString &name)
{
    return QColor(LoadPicture(folder, name).pixel(0, 0));
}

// The notices of a kind, by entry.
QStringList noticed(const ArchiveFolder &folder, ArchiveNotice::Kind kind)
{
    QStringList entries;
    for (const ArchiveNotice &notice : folder.notices()) {
        if (notice.kind == kind)
            entries.append(notice.entry);
    }
    return entries;
}

std::optional<InputFile::Failure> failureOpening(Folder &folder, const QString &name, qint64 maxBytes = -1)
{
    try {
        folder.open(name, maxBytes);
        return std::nullopt;
    } catch (const InputFile::Error &error) {
        return error.failure();
    }
}

} // namespace

class ArchiveTest : public Fixture
{
    Q_OBJECT

    QByteArray bmp(QColor colour) const
    {
        const QString name = QStringLiteral("bmp-%1.bmp").arg(colour.name().mid(1));
        writeBmp(name, colour);
        return readFile(name);
    }

private slots:
    // ---- An archive is a folder ----

    void everyKindReadsAsAFolder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("zip") << "skin.zip";
        QTest::newRow("7z") << "skin.7z";
        QTest::newRow("tar") << "skin.tar";
        QTest::newRow("tar.gz") << "skin.tar.gz";
        QTest::newRow("tar.xz") << "skin.tar.xz";
        QTest::newRow("tar.zst") << "skin.tar.zst";
        QTest::newRow("rar") << "skin.rar";
    }

    void everyKindReadsAsAFolder()
    {
        QFETCH(QString, name);
        writeBmp(QStringLiteral("skin/background.bmp"), Red);
        writeBmp(QStringLiteral("skin/Ember/sticker_background.bmp"), Blue);
        writeFile(QStringLiteral("skin/readme.txt"), "hello");
        QVERIFY(packFolder(path(QStringLiteral("skin")), path(name)));

        QVERIFY(isArchiveFile(path(name)));
        const std::unique_ptr<Folder> root = openFolder(path(name));
        QCOMPARE(root->path(), path(name));
        QCOMPARE(root->listing().files(QStringLiteral("*.bmp")), QStringList{QStringLiteral("background.bmp")});
        QCOMPARE(root->listing().subfolders(), QStringList{QStringLiteral("Ember")});
        QCOMPARE(colourOf(*root, QStringLiteral("background.bmp")), Red);
        QCOMPARE(root->open(QStringLiteral("readme.txt"), -1).read(100), QByteArray("hello"));
        QCOMPARE(failureOpening(*root, QStringLiteral("missing.bmp")), InputFile::Failure::NotFound);
        QCOMPARE(failureOpening(*root, QStringLiteral("Ember")), InputFile::Failure::Folder);

        // Below the root, by subfolder() and by a path through the archive.
        const std::unique_ptr<Folder> ember = root->subfolder(QStringLiteral("Ember"));
        QCOMPARE(colourOf(*ember, QStringLiteral("sticker_background.bmp")), Blue);
        const std::unique_ptr<Folder> byPath = openFolder(path(name) + QStringLiteral("/Ember"));
        QCOMPARE(byPath->path(), path(name) + QStringLiteral("/Ember"));
        QCOMPARE(colourOf(*byPath, QStringLiteral("sticker_background.bmp")), Blue);
        QVERIFY(!byPath->contains(QStringLiteral("background.bmp")));
        QVERIFY(static_cast<ArchiveFolder &>(*root).notices().empty());
    }

    // The reader goes forward through the archive and opens it anew to go
    // back: every order of reads gives each entry its own bytes.
    void entriesReadInAnyOrder()
    {
        const QList<QColor> colours = {Red, Blue, Green, QColor(1, 2, 3), QColor(250, 250, 5)};
        for (int i = 0; i < colours.size(); ++i)
            writeBmp(QStringLiteral("skin/%1.bmp").arg(i), colours[i]);
        QVERIFY(packFolder(path(QStringLiteral("skin")), path(QStringLiteral("skin.7z"))));
        ArchiveFolder folder(path(QStringLiteral("skin.7z")));
        for (int i : {3, 1, 4, 0, 2, 2, 4}) {
            QCOMPARE(colourOf(folder, QStringLiteral("%1.bmp").arg(i)), colours[i]);
        }
    }

    // ---- Names ----

    void namesAsOnDisk()
    {
        const QByteArray red = bmp(Red), blue = bmp(Blue), green = bmp(Green);
        QVERIFY(writeArchive(path(QStringLiteral("names.zip")),
                             {
                                 {"Ember\\background.bmp", red},        // an old zipper's separator
                                 {"Case/BACKGROUND.BMP", red},
                                 {"Case/Background.bmp", blue},
                                 {"Exact/Background.bmp", red},
                                 {"Exact/background.bmp", blue},
                                 {"Twice/background.bmp", red},         // the later one counts
                                 {"Twice/background.bmp", blue},
                                 {"./Dotted/./background.bmp", green},
                                 {"Dotted/.", red},                     // names the folder itself
                                 {"Late", red},                         // a file, then a folder of its name
                                 {"Late/background.bmp", blue},
                             }));
        ArchiveFolder root(path(QStringLiteral("names.zip")));
        QCOMPARE(root.listing().subfolders(),
                 QStringList({"Case", "Dotted", "Ember", "Exact", "Late", "Twice"}));
        QCOMPARE(root.listing().files(QStringLiteral("*")), QStringList{});
        QCOMPARE(colourOf(*root.subfolder(QStringLiteral("Ember")), QStringLiteral("background.bmp")), Red);

        // An exact name wins; else the first in byte order of those equal
        // but for case.
        const std::unique_ptr<Folder> caseFolder = root.subfolder(QStringLiteral("Case"));
        QCOMPARE(caseFolder->resolve(QStringLiteral("background.bmp")), QStringLiteral("BACKGROUND.BMP"));
        QCOMPARE(caseFolder->matches(QStringLiteral("background.bmp")),
                 QStringList({"BACKGROUND.BMP", "Background.bmp"}));
        const std::unique_ptr<Folder> exact = root.subfolder(QStringLiteral("Exact"));
        QCOMPARE(exact->resolve(QStringLiteral("background.bmp")), QStringLiteral("background.bmp"));

        const std::unique_ptr<Folder> twice = root.subfolder(QStringLiteral("Twice"));
        QCOMPARE(twice->listing().files(QStringLiteral("*")), QStringList{QStringLiteral("background.bmp")});
        QCOMPARE(colourOf(*twice, QStringLiteral("background.bmp")), Blue);
        QCOMPARE(noticed(root, ArchiveNotice::Kind::Duplicate), QStringList({"Twice/background.bmp", "Dotted", "Late"}));
        QCOMPARE(colourOf(*root.subfolder(QStringLiteral("Late")), QStringLiteral("background.bmp")), Blue);

        QCOMPARE(colourOf(*root.subfolder(QStringLiteral("Dotted")), QStringLiteral("background.bmp")), Green);
        QCOMPARE(root.subfolder(QStringLiteral("Dotted"))->listing().files(QStringLiteral("*")),
                 QStringList{QStringLiteral("background.bmp")});
    }

    // A zip name without the UTF-8 flag is its bytes, matched as the same
    // name unpacked to disk would be, and shown in code page 437.
    void namesInAnOldCodePage()
    {
        const QByteArray cp437Name = "\x82t\x82/background.bmp"; // "été" in code page 437
        QVERIFY(writeArchive(path(QStringLiteral("old.zip")), {{cp437Name, bmp(Red)}}, ZipNames::RawBytes));
        QVERIFY(writeArchive(path(QStringLiteral("new.zip")), {{"\xc3\xa9t\xc3\xa9/background.bmp", bmp(Blue)}}));

        ArchiveFolder old(path(QStringLiteral("old.zip")));
        const QString stored = textFromFileName("\x82t\x82");
        QCOMPARE(old.listing().subfolders(), QStringList{stored});
        QCOMPARE(colourOf(*old.subfolder(stored), QStringLiteral("background.bmp")), Red);
        QCOMPARE(readableArchiveName(stored), QStringLiteral("été"));

        ArchiveFolder flagged(path(QStringLiteral("new.zip")));
        QCOMPARE(flagged.listing().subfolders(), QStringList{QStringLiteral("été")});
        QCOMPARE(readableArchiveName(QStringLiteral("été")), QStringLiteral("été"));
    }

    // What names no place inside the archive, links and special entries
    // are never used; junk is left out; each is noticed.
    void entriesNeverUsed_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::newRow("zip") << "hostile.zip";
        QTest::newRow("tar") << "hostile.tar";
    }

    void entriesNeverUsed()
    {
        QFETCH(QString, archive);
        const QByteArray red = bmp(Red);
        QList<ArchiveMember> members = {
            {"../background.bmp", red},
            {"/etc/background.bmp", red},
            {"C:\\background.bmp", red},
            {QByteArray("deep/").repeated(100) + "background.bmp", red},
            {"sticker_background.bmp", "/etc/passwd", ArchiveMember::Type::Symlink},
            {"__MACOSX/", {}, ArchiveMember::Type::Folder},
            {"__MACOSX/._backsettings.bmp", red},
            {"._backsettings.bmp", red},
            {"Thumbs.db", "x"},
            {"inner.zip", "PK\x05\x06" + QByteArray(18, '\0')},
            {"backsettings.bmp", red},
        };
        if (archive.endsWith(QLatin1String(".tar")))
            members.append({"backadvanced.bmp", "backsettings.bmp", ArchiveMember::Type::Hardlink});
        QVERIFY(writeArchive(path(archive), members));

        ArchiveFolder root(path(archive));
        QCOMPARE(root.listing().files(QStringLiteral("*")), QStringList({"backsettings.bmp", "inner.zip"}));
        QCOMPARE(root.listing().subfolders(), QStringList{});
        QVERIFY(!root.contains(QStringLiteral("sticker_background.bmp")));
        QCOMPARE(noticed(root, ArchiveNotice::Kind::OutsideFolder),
                 QStringList({"../background.bmp", "/etc/background.bmp", "C:/background.bmp",
                              QString("deep/").repeated(100) + "background.bmp"}));
        QStringList links = {QStringLiteral("sticker_background.bmp")};
        if (archive.endsWith(QLatin1String(".tar")))
            links.append(QStringLiteral("backadvanced.bmp"));
        QCOMPARE(noticed(root, ArchiveNotice::Kind::Link), links);
        QCOMPARE(noticed(root, ArchiveNotice::Kind::Junk), QStringList({"__MACOSX", "._backsettings.bmp", "Thumbs.db"}));
        QCOMPARE(noticed(root, ArchiveNotice::Kind::NestedArchive), QStringList{QStringLiteral("inner.zip")});
        // An archive inside an archive stays a file.
        QVERIFY(!existingFolder(path(archive) + QStringLiteral("/inner.zip")));
    }

    // "tar -C skin ." names the folder it was given "./" and every entry
    // below it "./name": that folder is the archive's root, and nothing is
    // noticed.
    void dotSlashIsTheRoot()
    {
        const QByteArray red = bmp(Red);
        QVERIFY(writeArchive(path(QStringLiteral("skin.tar")), {
                                                                   {"./", {}, ArchiveMember::Type::Folder},
                                                                   {"./background.bmp", red},
                                                                   {"./Ember/", {}, ArchiveMember::Type::Folder},
                                                                   {"./Ember/sticker_background.bmp", red},
                                                               }));
        ArchiveFolder root(path(QStringLiteral("skin.tar")));
        QCOMPARE(root.listing().files(QStringLiteral("*")), QStringList{QStringLiteral("background.bmp")});
        QCOMPARE(root.listing().subfolders(), QStringList{QStringLiteral("Ember")});
        QCOMPARE(colourOf(root, QStringLiteral("background.bmp")), Red);
        QVERIFY(root.notices().empty());
    }

    // ---- Hostile archives ----

    // Reaching a header of a compressed tar inflates every entry before it:
    // a listing stops after 1 GiB inflated, so a small tar.zst of endless
    // zeros costs bounded time, and says why the rest is not listed.
    void listingAStreamThatInflatesWithoutEnd()
    {
        writeBmp(QStringLiteral("skin/background.bmp"), Red);
        const QString script = QStringLiteral(
            "import io, sys, tarfile\n"
            "class Zeros(io.RawIOBase):\n"
            "    def __init__(self, n): self.n = n\n"
            "    def readable(self): return True\n"
            "    def readinto(self, b):\n"
            "        k = min(len(b), self.n); b[:k] = bytes(k); self.n -= k; return k\n"
            "t = tarfile.open(fileobj=sys.stdout.buffer, mode='w|')\n"
            "zeros = tarfile.TarInfo('zeros.bin'); zeros.size = 1100 << 20\n"
            "t.addfile(zeros, io.BufferedReader(Zeros(zeros.size), 1 << 20))\n"
            "t.add(sys.argv[1], 'background.bmp'); t.close()\n");
        const QString command = QStringLiteral("python3 -c \"$0\" \"$1\" | bsdtar --zstd -cf \"$2\" @-");
        QCOMPARE(QProcess::execute(QStringLiteral("bash"), {"-c", command, script, path(QStringLiteral("skin/background.bmp")),
                                                             path(QStringLiteral("zeros.tar.zst"))}),
                 0);
        ArchiveFolder root(path(QStringLiteral("zeros.tar.zst")));
        QVERIFY(!root.contains(QStringLiteral("background.bmp")));
        QCOMPARE(noticed(root, ArchiveNotice::Kind::Unreadable), QStringList{QString()});
        // The zeros are one entry: the listing stops at the header behind it.
        QCOMPARE(root.notices().back().reason, QStringLiteral("too big to list: only the first entry is read"));
    }

    // Thousands of names fill several of the index's blocks of names, in
    // folders that the archive interleaves: every name is found in its
    // folder, and of two entries of one name, the first of them among the
    // first names kept, the later counts.
    void aBigIndexKeepsEveryName()
    {
        QList<ArchiveMember> members;
        QStringList names[3];
        for (int i = 0; i < 3000; ++i) {
            const QByteArray name = "picture-" + QByteArray::number(i).rightJustified(5, '0') + QByteArray(30, 'n') + ".txt";
            members.append({QByteArray(1, "abc"[i % 3]) + '/' + name, QByteArray::number(i)});
            names[i % 3].append(QString::fromLatin1(name));
        }
        members.append({"a/" + names[0].first().toLatin1(), "later"});
        QVERIFY(writeArchive(path(QStringLiteral("big.zip")), members));

        ArchiveFolder root(path(QStringLiteral("big.zip")));
        QCOMPARE(root.listing().subfolders(), QStringList({"a", "b", "c"}));
        for (int folder = 0; folder < 3; ++folder) {
            const std::unique_ptr<Folder> inside = root.subfolder(QString(QLatin1Char("abc"[folder])));
            QCOMPARE(inside->listing().files(QStringLiteral("*")), names[folder]);
            for (const QString &name : std::as_const(names[folder]))
                QVERIFY2(inside->contains(name), qPrintable(name));
        }
        const std::unique_ptr<Folder> a = root.subfolder(QStringLiteral("a"));
        QCOMPARE(a->open(names[0].first(), -1).read(100), QByteArray("later"));
        QCOMPARE(a->open(names[0].last(), -1).read(100), QByteArray::number(2997));
        QCOMPARE(noticed(root, ArchiveNotice::Kind::Duplicate), QStringList{"a/" + names[0].first()});
    }

    // Each name here implies sixty folders, each kept by its whole path: a
    // few megabytes of zip would take gigabytes to index, so the listing
    // stops once it keeps 64 MB of names, and says how much it read.
    void deepNamesAreListedUpToALimit()
    {
        QList<ArchiveMember> members;
        for (int i = 0; i < 800; ++i) {
            const QByteArray level = QByteArray::number(i).rightJustified(4, '0') + QByteArray(56, 'x') + '/';
            members.append({level.repeated(60) + "background.bmp", "x"});
        }
        QVERIFY(writeArchive(path(QStringLiteral("deep.zip")), members));
        ArchiveFolder root(path(QStringLiteral("deep.zip")));
        QCOMPARE(noticed(root, ArchiveNotice::Kind::Unreadable), QStringList{QString()});
        const qsizetype listed = root.listing().subfolders().size();
        QVERIFY2(listed > 100 && listed < 800, qPrintable(QString::number(listed)));
        QCOMPARE(root.notices().back().reason,
                 QStringLiteral("too big to list: only the first %1 entries are read").arg(listed));
    }

    // An archive that is found but cannot be opened (no permission, no
    // descriptor left) is a folder that lists nothing and reads nothing.
    // Root may read any file, so the case runs without that power.
    void anArchiveThatCannotBeOpened()
    {
        writeBmp(QStringLiteral("skin/background.bmp"), Red);
        QVERIFY(packFolder(path(QStringLiteral("skin")), path(QStringLiteral("locked.zip"))));
        QCOMPARE(::chmod(QFile::encodeName(path(QStringLiteral("locked.zip"))).constData(), 0), 0);
        const QString zip = path(QStringLiteral("locked.zip"));
        const QString problems = inChild([&]() -> QString {
            if (!dropPermissionOverride())
                return QStringLiteral("cannot drop the permission override");
            const std::unique_ptr<Folder> folder = openFolder(zip);
            if (!folder->listing().files(QStringLiteral("*")).isEmpty())
                return QStringLiteral("the locked archive lists files");
            if (FolderListing(zip).files(QStringLiteral("*")).size() != 0)
                return QStringLiteral("a listing of the locked archive holds files");
            if (existingFolder(zip))
                return QStringLiteral("the locked archive counts as a folder");
            try {
                folder->open(QStringLiteral("background.bmp"), -1);
                return QStringLiteral("an entry of the locked archive opens");
            } catch (const InputFile::Error &) {
                return {};
            }
        });
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }

    void encryptedEntriesAreRefused()
    {
        writeBmp(QStringLiteral("skin/background.bmp"), Red);
        QVERIFY(packFolder(path(QStringLiteral("skin")), path(QStringLiteral("locked.zip")),
                           {QStringLiteral("-P"), QStringLiteral("secret")}));
        ArchiveFolder root(path(QStringLiteral("locked.zip")));
        QVERIFY(root.contains(QStringLiteral("background.bmp")));
        QCOMPARE(failureOpening(root, QStringLiteral("background.bmp")), InputFile::Failure::Encrypted);
        try {
            LoadPicture(root, QStringLiteral("background.bmp"));
            QFAIL("an encrypted entry loaded");
        } catch (const PictureError &error) {
            QCOMPARE(error.reason(), QStringLiteral("encrypted"));
        }
        QCOMPARE(noticed(root, ArchiveNotice::Kind::Encrypted), QStringList{QStringLiteral("background.bmp")});

        // A 7z whose very names are encrypted does not read at all.
        QVERIFY(packFolder(path(QStringLiteral("skin")), path(QStringLiteral("locked.7z")),
                           {QStringLiteral("-psecret"), QStringLiteral("-mhe=on")}));
        const ArchiveFolder names(path(QStringLiteral("locked.7z")));
        QVERIFY2(names.failure().endsWith(QLatin1String(": encrypted")), qPrintable(names.failure()));
    }

    // An archive that does not read is an empty folder that says why, and
    // is no folder to the places rule.
    void brokenArchivesAreRefusedWithAReason()
    {
        writeBmp(QStringLiteral("skin/background.bmp"), Red);
        QByteArray noise(200000, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
        writeFile(QStringLiteral("skin/noise.bin"), noise);
        QVERIFY(packFolder(path(QStringLiteral("skin")), path(QStringLiteral("good.zip"))));
        QVERIFY(packFolder(path(QStringLiteral("skin")), path(QStringLiteral("good.tar"))));
        const QByteArray zip = readFile(QStringLiteral("good.zip"));
        const QByteArray tar = readFile(QStringLiteral("good.tar"));
        writeFile(QStringLiteral("picture.zip"), bmp(Red));
        writeFile(QStringLiteral("empty.zip"), {});
        writeFile(QStringLiteral("cut.zip"), zip.left(zip.size() / 2));
        writeFile(QStringLiteral("cut.tar"), tar.left(tar.size() - 100000)); // the second entry cut short
        QVERIFY(packFolder(path(QStringLiteral("skin")), path(QStringLiteral("split.zip")), {QStringLiteral("-s"), QStringLiteral("64k")}));

        for (const char *name : {"picture.zip", "empty.zip", "cut.zip", "split.zip"}) {
            ArchiveFolder folder(path(QString::fromLatin1(name)));
            QVERIFY2(!folder.failure().isEmpty(), name);
            QVERIFY2(folder.listing().files(QStringLiteral("*")).isEmpty(), name);
            QVERIFY2(!existingFolder(path(QString::fromLatin1(name))), name);
        }
        QCOMPARE(noticed(ArchiveFolder(path(QStringLiteral("split.zip"))), ArchiveNotice::Kind::MultiVolume),
                 QStringList{QString()});

        // What was read before the fault counts, and the fault is noticed.
        ArchiveFolder cut(path(QStringLiteral("cut.tar")));
        QVERIFY(cut.failure().isEmpty());
        QCOMPARE(colourOf(cut, QStringLiteral("background.bmp")), Red);
        QCOMPARE(failureOpening(cut, QStringLiteral("noise.bin")), InputFile::Failure::Damaged);
        QCOMPARE(noticed(cut, ArchiveNotice::Kind::Unreadable), QStringList{QString()});
        QVERIFY2(cut.notices().back().reason.startsWith(QLatin1String("cut short or corrupt (only the first 2 entries are read): ")),
                 qPrintable(cut.notices().back().reason));
    }

    // A bomb is refused after at most the limit and a byte are inflated,
    // whatever size its headers declare.
    void bombsAreRefusedAfterTheLimit_data()
    {
        QTest::addColumn<bool>("lying");
        QTest::newRow("declared") << false;
        QTest::newRow("declared small") << true;
    }

    void bombsAreRefusedAfterTheLimit()
    {
        QFETCH(bool, lying);
        constexpr qint64 Limit = 1024 * 1024;
        QVERIFY(writeArchive(path(QStringLiteral("bomb.tar.gz")), {{"background.bmp", QByteArray(16 * 1024 * 1024, '\0')}}));
        if (lying) {
            // Both zip headers say 100 bytes, the data inflates to 16 MB.
            QVERIFY(writeArchive(path(QStringLiteral("bomb.zip")), {{"background.bmp", QByteArray(16 * 1024 * 1024, '\0')}}));
            QByteArray zip = readFile(QStringLiteral("bomb.zip"));
            for (const QByteArray &signature : {QByteArray("PK\x03\x04"), QByteArray("PK\x01\x02")}) {
                const qsizetype at = zip.indexOf(signature);
                const qsizetype sizeField = at + (signature == "PK\x03\x04" ? 22 : 24);
                zip[sizeField] = 100, zip[sizeField + 1] = 0, zip[sizeField + 2] = 0, zip[sizeField + 3] = 0;
            }
            writeFile(QStringLiteral("bomb.zip"), zip);
        }
        const QString archive = path(lying ? QStringLiteral("bomb.zip") : QStringLiteral("bomb.tar.gz"));
        ArchiveReader reader(archive);
        try {
            const QByteArray bytes = reader.read("background.bmp", Limit);
            QVERIFY2(bytes.size() <= Limit, "more than the limit was given");
        } catch (const InputFile::Error &error) {
            QVERIFY(error.failure() == InputFile::Failure::TooLarge || error.failure() == InputFile::Failure::Damaged);
        }
        QVERIFY2(reader.inflatedBytes() <= Limit + 1, qPrintable(QString::number(reader.inflatedBytes())));
    }

    // ---- Paths through archives ----

    void pathsThroughArchives()
    {
        writeBmp(QStringLiteral("collection/Ember/background.bmp"), Red);
        writeBmp(QStringLiteral("collection/Ash/background.bmp"), Blue);
        makeFolder(QStringLiteral("downloads"));
        QVERIFY(packFolder(path(QStringLiteral("collection")), path(QStringLiteral("downloads/collection.7z"))));
        const QString archive = path(QStringLiteral("downloads/collection.7z"));

        QCOMPARE(existingFolder(archive), archive);
        QCOMPARE(existingFolder(archive + QStringLiteral("/Ember/")), archive + QStringLiteral("/Ember"));
        QCOMPARE(existingFolder(archive + QStringLiteral("//Ash/./")), archive + QStringLiteral("/Ash"));
        QVERIFY(!existingFolder(archive + QStringLiteral("/Missing")));
        QVERIFY(!existingFolder(archive + QStringLiteral("/Ember/background.bmp")));
        qputenv("HOME", path(QString()).toUtf8());
        QCOMPARE(existingFolder(QStringLiteral("~/downloads/collection.7z/Ash")), archive + QStringLiteral("/Ash"));
        QCOMPARE(resolvedFolder(QStringLiteral("../downloads/./collection.7z/Ash")), archive + QStringLiteral("/Ash"));

        const std::optional<ArchivePath> split = splitArchivePath(archive + QStringLiteral("/Ember"));
        QVERIFY(split);
        QCOMPARE(split->archive, archive);
        QCOMPARE(split->inner, QStringLiteral("Ember"));
        QVERIFY(!splitArchivePath(path(QStringLiteral("collection/Ember"))));
        // A folder named like an archive is a folder.
        makeFolder(QStringLiteral("folder.zip"));
        QVERIFY(!isArchiveFile(path(QStringLiteral("folder.zip"))));
        QCOMPARE(existingFolder(path(QStringLiteral("folder.zip"))), path(QStringLiteral("folder.zip")));
    }

    void archiveNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("archive");
        QTest::newRow("zip") << "Ember.zip" << true;
        QTest::newRow("upper case") << "EMBER.ZIP" << true;
        QTest::newRow("7z") << "c.7z" << true;
        QTest::newRow("rar") << "old.rar" << true;
        QTest::newRow("tgz") << "a.tgz" << true;
        QTest::newRow("tar.bz2") << "a.tar.bz2" << true;
        QTest::newRow("longest ending") << "a.tar.lzma" << true;
        QTest::newRow("upper-case tar.xz") << "A.TAR.XZ" << true;
        QTest::newRow("lzma alone") << "a.lzma" << false;
        QTest::newRow("gz alone") << "notes.gz" << false;
        QTest::newRow("split part") << "Ember.z01" << false;
        QTest::newRow("7z part") << "c.7z.001" << false;
        QTest::newRow("ending alone") << ".zip" << false;
        QTest::newRow("bmp") << "background.bmp" << false;
    }

    void archiveNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, archive);
        QCOMPARE(isArchiveName(name), archive);
    }

    // Replaced, every entry's signature moves; unchanged, none does.
    // The steps of one look at an archive share its index. A file written
    // a moment ago may change again without its signature moving: its
    // index is shared only when a zip's directory shows the same entries,
    // and never for an archive without one.
    void anIndexIsSharedWhileTheArchiveIsUnchanged()
    {
        writeBmp(QStringLiteral("skin/aaaa.bmp"), Red);
        QVERIFY(packFolder(path(QStringLiteral("skin")), path(QStringLiteral("a.zip"))));
        QVERIFY(packFolder(path(QStringLiteral("skin")), path(QStringLiteral("a.tar.gz"))));
        const ArchiveReader first(path(QStringLiteral("a.zip"))), second(path(QStringLiteral("a.zip")));
        QVERIFY(first.index().signature().racy);
        QCOMPARE(&first.index(), &second.index());
        const ArchiveReader tar(path(QStringLiteral("a.tar.gz"))), again(path(QStringLiteral("a.tar.gz")));
        QVERIFY(&tar.index() != &again.index());
    }

    // A listing read for the same event serves the folder while the
    // archive file is as it was listed, never once it was replaced.
    void aListingOfTheSameArchiveIsShared()
    {
        writeBmp(QStringLiteral("one/background.bmp"), Red);
        writeBmp(QStringLiteral("two/other.bmp"), Blue);
        QVERIFY(packFolder(path(QStringLiteral("one")), path(QStringLiteral("a.zip"))));
        QVERIFY(packFolder(path(QStringLiteral("two")), path(QStringLiteral("b.zip"))));

        const FolderListing listing(path(QStringLiteral("a.zip")));
        ArchiveFolder same(path(QStringLiteral("a.zip")), {}, &listing);
        QCOMPARE(&same.listing(), &listing);
        ArchiveFolder other(path(QStringLiteral("b.zip")), {}, &listing);
        QVERIFY(&other.listing() != &listing);

        QCOMPARE(::rename(QFile::encodeName(path(QStringLiteral("b.zip"))).constData(),
                          QFile::encodeName(path(QStringLiteral("a.zip"))).constData()),
                 0);
        ArchiveFolder replaced(path(QStringLiteral("a.zip")), {}, &listing);
        QVERIFY(&replaced.listing() != &listing);
        QCOMPARE(replaced.listing().files(QStringLiteral("*.bmp")), QStringList{QStringLiteral("other.bmp")});
    }

    // Listing converts each entry's time: an unset TZ is named so that the
    // zone is read once, and a TZ that the user set is kept.
    void theLocalTimeZoneIsNamed()
    {
        const QByteArray before = qgetenv("TZ");
        qputenv("TZ", "Asia/Tokyo");
        nameLocalTimeZone();
        QCOMPARE(qgetenv("TZ"), QByteArray("Asia/Tokyo"));
        qunsetenv("TZ");
        nameLocalTimeZone();
        QCOMPARE(qgetenv("TZ"), QByteArray(":/etc/localtime"));
        before.isNull() ? qunsetenv("TZ") : qputenv("TZ", before);
    }

    void signatureMovesWithTheArchive()
    {
        writeBmp(QStringLiteral("skin/background.bmp"), Red);
        QVERIFY(packFolder(path(QStringLiteral("skin")), path(QStringLiteral("a.zip"))));
        const FileSignature first = ArchiveFolder(path(QStringLiteral("a.zip"))).signature(QStringLiteral("background.bmp"));
        QVERIFY(first.exists && first.regularFile);
        QCOMPARE(ArchiveFolder(path(QStringLiteral("a.zip"))).signature(QStringLiteral("background.bmp")), first);
        QVERIFY(!ArchiveFolder(path(QStringLiteral("a.zip"))).signature(QStringLiteral("missing.bmp")).exists);

        QVERIFY(packFolder(path(QStringLiteral("skin")), path(QStringLiteral("b.zip"))));
        QCOMPARE(::rename(QFile::encodeName(path(QStringLiteral("b.zip"))).constData(),
                          QFile::encodeName(path(QStringLiteral("a.zip"))).constData()),
                 0);
        QVERIFY(ArchiveFolder(path(QStringLiteral("a.zip"))).signature(QStringLiteral("background.bmp")) != first);
    }
};

QTEST_MAIN(ArchiveTest)
#include "archive_test.moc"
