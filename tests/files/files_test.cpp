// The files room: names as bytes, a folder's listing, the folder watcher,
// and the trap under which a failing step is dropped.

#include "support/child.h"
#include "support/fixture.h"
#include "support/saving.h"

#include "files/error.h"
#include "files/filename.h"
#include "files/folderlisting.h"
#include "files/folderwatcher.h"
#include "pictures/picture.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <dirent.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace {

// A case that needs a mount it could not make is skipped, not failed.
const QString NoMount = QStringLiteral("cannot mount: ");

constexpr int Patience = 10000;
const QColor Red(200, 30, 30);
const QColor Blue(30, 40, 210);

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

// The watcher's changes, taken and added to those taken before.
const FolderChanges &takeInto(FolderChanges &taken, FolderWatcher &watcher)
{
    const FolderChanges now = watcher.takeChanges();
    taken.names.unite(now.names);
    taken.everything = taken.everything || now.everything;
    return taken;
}

} // namespace

class FilesTest : public Fixture
{
    Q_OBJECT

private slots:
    // ---- Names as bytes ----

    void fileNameCodec_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");

        const auto escaped = [](std::initializer_list<int> bytes) {
            QString text;
            for (int byte : bytes)
                text += QChar(char16_t(0xDC00 + byte));
            return text;
        };
        const QString lost = QStringLiteral("\uFFFD");
        QTest::newRow("ASCII") << QByteArray("/a b/c") << QStringLiteral("/a b/c") << QStringLiteral("/a b/c");
        QTest::newRow("control characters") << QByteArray("\x01\x1b[0m\x7f") << QStringLiteral("\x01\x1b[0m\x7f")
                                            << QStringLiteral("\x01\x1b[0m\x7f");
        const QString utf8 = QStringLiteral("Gr\u00fcn \u2603 ") + QString::fromUcs4(U"\U0001F3A8");
        QTest::newRow("valid UTF-8") << QByteArray("Gr\xc3\xbcn \xe2\x98\x83 \xf0\x9f\x8e\xa8") << utf8 << utf8;
        QTest::newRow("Latin-1") << QByteArray("caf\xe9") << QStringLiteral("caf") + escaped({0xe9})
                                 << QStringLiteral("caf") + lost;
        QTest::newRow("lone continuation byte") << QByteArray("a\x80z") << QStringLiteral("a") + escaped({0x80})
                                                    + QStringLiteral("z") << QStringLiteral("a") + lost + QStringLiteral("z");
        QTest::newRow("sequence cut short") << QByteArray("\xe2\x98") << escaped({0xe2, 0x98}) << lost + lost;
        QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << escaped({0xc0, 0xaf}) << lost + lost;
        QTest::newRow("encoded surrogate") << QByteArray("\xed\xb3\xa9") << escaped({0xed, 0xb3, 0xa9})
                                           << lost + lost + lost;
        QTest::newRow("past U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << escaped({0xf4, 0x90, 0x80, 0x80})
                                       << lost + lost + lost + lost;
        // A byte order mark is a character of the name like any other.
        QTest::newRow("byte order mark first") << QByteArray("\xef\xbb\xbfskin") << QStringLiteral("\uFEFFskin")
                                               << QStringLiteral("\uFEFFskin");
        QTest::newRow("byte order mark after an invalid byte")
            << QByteArray("\x8c\xef\xbb\xbf") << escaped({0x8c}) + QStringLiteral("\uFEFF")
            << lost + QStringLiteral("\uFEFF");
        QTest::newRow("valid between invalid") << QByteArray("\xff\xc3\xa9\xfe")
                                               << escaped({0xff}) + QStringLiteral("\u00e9") + escaped({0xfe})
                                               << lost + QStringLiteral("\u00e9") + lost;
    }

    void fileNameCodec()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(textFromFileName(bytes), text);
        QCOMPARE(fileNameFromText(text), bytes);
        QCOMPARE(displayFileName(text), shown);
    }

    // Any bytes come back exactly; what is shown holds no lone surrogate.
    void fileNameRoundTrip()
    {
        QList<QByteArray> samples;
        for (int first = 0; first < 256; ++first) {
            for (int second = 0; second < 256; ++second)
                samples.append(QByteArray{char(first), char(second)});
        }
        QRandomGenerator random(11);
        for (int i = 0; i < 20000; ++i) {
            QByteArray bytes(random.bounded(1, 24), Qt::Uninitialized);
            for (char &byte : bytes)
                byte = char(random.bounded(2) ? random.bounded(0x80, 0x100) : random.bounded(0, 0x100));
            samples.append(bytes);
        }
        for (const QByteArray &bytes : samples) {
            const QString text = textFromFileName(bytes);
            if (fileNameFromText(text) != bytes)
                QFAIL(qPrintable(QStringLiteral("%1 does not come back").arg(QString::fromLatin1(bytes.toHex()))));
            const QString shown = displayFileName(text);
            for (qsizetype i = 0; i < shown.size(); ++i) {
                const bool paired = shown[i].isHighSurrogate() && i + 1 < shown.size() && shown[i + 1].isLowSurrogate();
                if (paired)
                    ++i;
                else if (shown[i].isSurrogate())
                    QFAIL(qPrintable(QStringLiteral("%1 shows a lone surrogate").arg(QString::fromLatin1(bytes.toHex()))));
            }
        }
    }

    // Text that never came from the file system is UTF-8; a surrogate that
    // stands for no byte cannot reach it.
    void typedTextIsUtf8()
    {
        QCOMPARE(fileNameFromText(QStringLiteral("/caf\u00e9")), QByteArray("/caf\xc3\xa9"));
        QCOMPARE(fileNameFromText(QString(QChar(char16_t(0xD800)))), QByteArray("\xef\xbf\xbd"));
        QCOMPARE(fileNameFromText(QString(QChar(char16_t(0xDC41)))), QByteArray("\xef\xbf\xbd"));
    }

    // Where a listing gives no entry types (file systems made without
    // them, as old ones were), every entry is looked up, links by what they
    // lead to: the lists are the same as where it gives them.
    void listingWithoutEntryTypes_data()
    {
        QTest::addColumn<bool>("typesGiven");
        QTest::newRow("types given") << true;
        QTest::newRow("no types given") << false;
    }

    void listingWithoutEntryTypes()
    {
        QFETCH(bool, typesGiven);
        const QByteArray folder = QFile::encodeName(makeFolder(QStringLiteral("work/listed")));
        const QByteArray image = QFile::encodeName(path(QStringLiteral("typeless.img")));
        const auto run = [&]() -> QString {
            if (!typesGiven) {
                if (const QString failed = enterPrivateMountNamespace(); !failed.isEmpty())
                    return NoMount + failed;
                const QByteArray make = "mkfs.ext4 -q -F -O ^filetype,^has_journal " + image + " 4M >/dev/null 2>&1";
                if (std::system(make.constData()) != 0
                    || std::system(("mount -o loop " + image + " " + folder + " >/dev/null 2>&1").constData()) != 0)
                    return NoMount + QStringLiteral("no loop-mounted file system without entry types");
                ::rmdir((folder + "/lost+found").constData());
            }
            const auto make = [&](const char *name, const char *what) {
                const QByteArray entry = folder + '/' + name;
                if (qstrcmp(what, "folder") == 0)
                    return ::mkdir(entry.constData(), 0755) == 0;
                if (qstrcmp(what, "fifo") == 0)
                    return ::mkfifo(entry.constData(), 0600) == 0;
                if (qstrcmp(what, "file") == 0)
                    return writeRaw(entry, "x");
                return ::symlink(what, entry.constData()) == 0; // a link to what
            };
            const char *tree[][2] = {
                {"Beta", "folder"},        {"alpha", "folder"},      {"c.bmp", "folder"},
                {"b.BMP", "file"},         {"a.bmp", "file"},        {"notes.txt", "file"},
                {"fifo.bmp", "fifo"},      {"to-alpha", "alpha"},    {"to-a.bmp", "a.bmp"},
                {"nowhere.bmp", "missing"}, {"to-fifo.bmp", "fifo.bmp"},
            };
            for (const auto &[name, what] : tree) {
                if (!make(name, what))
                    return QStringLiteral("cannot make %1").arg(QLatin1String(name));
            }
            DIR *dir = ::opendir(folder.constData());
            bool typed = false;
            while (const dirent *entry = dir ? ::readdir(dir) : nullptr)
                typed = typed || (entry->d_name[0] != '.' && entry->d_type != DT_UNKNOWN);
            if (dir)
                ::closedir(dir);
            if (typed != typesGiven)
                return QStringLiteral("the file system gives entry types: %1").arg(typed);

            const FolderListing listing(QFile::decodeName(folder));
            const QStringList subfolders{QStringLiteral("alpha"), QStringLiteral("Beta"), QStringLiteral("c.bmp"),
                                         QStringLiteral("to-alpha")};
            const QStringList files{QStringLiteral("a.bmp"), QStringLiteral("b.BMP"), QStringLiteral("to-a.bmp")};
            QString problems;
            if (listing.subfolders() != subfolders)
                problems += QStringLiteral("subfolders: %1\n").arg(listing.subfolders().join(u','));
            if (listing.files(QStringLiteral("*.bmp")) != files)
                problems += QStringLiteral("files: %1\n").arg(listing.files(QStringLiteral("*.bmp")).join(u','));
            return problems;
        };
        const QString problems = typesGiven ? run() : inChild(run);
        if (problems.startsWith(NoMount))
            QSKIP(qPrintable(problems));
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }

    void holdsAnyIgnoringCase_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("holds");
        QTest::newRow("one of them, other case") << QStringList{"missing.bmp", "background.bmp"} << true;
        QTest::newRow("none") << QStringList{"missing.bmp", "backgroun.bmp", "background.bmpx"} << false;
        QTest::newRow("non-ASCII, other case") << QStringList{"missing.bmp", "\u00e9t\u00c9.BMP"} << true;
        QTest::newRow("ASCII text, non-ASCII entry") << QStringList{"ete.bmp"} << false;
        QTest::newRow("no names") << QStringList{} << false;
    }

    void holdsAnyIgnoringCase()
    {
        QFETCH(QStringList, names);
        QFETCH(bool, holds);
        const QByteArray background("BACKGROUND.BMP"), notes("notes.txt"), summer = QString("\u00c9t\u00e9.bmp").toUtf8();
        const std::vector<FolderListing::ListedEntry> entries = {
            {background, FolderListing::EntryKind::RegularFile},
            {notes, FolderListing::EntryKind::RegularFile},
            {summer, FolderListing::EntryKind::RegularFile},
        };
        const FolderListing listing(QStringLiteral("/skin"), entries);
        QCOMPARE(listing.holdsAnyIgnoringCase(names), holds);
    }

    // One listing reading folder after folder holds each as a fresh
    // listing of it would: nothing of a bigger folder read before it, and
    // nothing at all once released.
    void listingReadAgainHoldsOnlyThatFolder()
    {
        const QString big = makeFolder(QStringLiteral("work/big"));
        for (int i = 0; i < 300; ++i) {
            makeFolder(QStringLiteral("work/big/Folder %1").arg(i));
            writeFile(QStringLiteral("work/big/picture %1.%2").arg(i).arg(i % 2 ? QStringLiteral("BMP") : QStringLiteral("txt")), "x");
        }
        writeFile(QStringLiteral("work/big/\u00c9t\u00e9.bmp"), "x");
        makeFolder(QStringLiteral("work/big/\u00e9cole"));
        const QString small = makeFolder(QStringLiteral("work/small"));
        makeFolder(QStringLiteral("work/small/inner"));
        writeFile(QStringLiteral("work/small/Only.bmp"), "x");
        writeFile(QStringLiteral("work/small/picture 1.BMP.txt"), "x");
        const QString empty = makeFolder(QStringLiteral("work/empty"));
        const QString missing = path(QStringLiteral("work/missing"));

        const auto contents = [](const FolderListing &listing) {
            return QStringList{listing.folder(), listing.subfolders().join(u'|'),
                               listing.files(QStringLiteral("*.bmp")).join(u'|'),
                               listing.namesIgnoringCase(QStringLiteral("PICTURE 1.bmp")).join(u'|')};
        };
        FolderListing reused;
        for (const QString &folder : {big, small, big, empty, missing, small}) {
            reused.read(folder);
            const FolderListing fresh(folder);
            QCOMPARE(contents(reused), contents(fresh));
            QVERIFY(reused.signature() == fresh.signature());
        }
        reused.release();
        QCOMPARE(contents(reused), (QStringList{QString(), QString(), QString(), QString()}));

        // A list filled from the big folder, then from the small one.
        NameList names;
        reused.read(big);
        reused.files(QStringLiteral("*"), names);
        QCOMPARE(names.size(), 151 + 150);
        reused.read(small);
        reused.files(QStringLiteral("*.bmp"), names);
        QCOMPARE(names.toList(), QStringList{QStringLiteral("Only.bmp")});
    }

    void skipOnFailureDropsTheFailingStepOnly()
    {
        QStringList done;
        const SkipOnFailure step;
        step([&] { done << QStringLiteral("one"); });
        step([&] {
            done << QStringLiteral("two");
            throw RuntimeError("fails");
            done << QStringLiteral("rest of two");
        });
        step([&] { LoadPicture(path(QStringLiteral("missing.bmp"))); done << QStringLiteral("not reached"); });
        step([&] { done << QStringLiteral("three"); });
        QCOMPARE(done, (QStringList{QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")}));
    }

    // ---- The folder watcher ----

    // Pieces of saves, renames and removals that come together are one
    // change, which names every entry they touched.
    void watcherTakesABurstAsOneChange()
    {
        const QString folder = makeFolder(QStringLiteral("skin"));
        writeBmp(QStringLiteral("skin/gone.bmp"), Red);
        FolderWatcher watcher;
        watcher.follow(folder);
        QVERIFY(watcher.isWatchingFolder());
        QSignalSpy changes(&watcher, &FolderWatcher::change);
        save(folder + QStringLiteral("/a.bmp"), bmpBytes(Red, {8, 8}), Save::InPlace);
        save(folder + QStringLiteral("/b.bmp"), bmpBytes(Red, {8, 8}), Save::Rename);
        QCOMPARE(::unlink(native(folder + QStringLiteral("/gone.bmp")).constData()), 0);
        QVERIFY(changes.wait(Patience));
        QCOMPARE(changes.size(), 1);
        const FolderChanges taken = watcher.takeChanges();
        QVERIFY(!taken.everything);
        QCOMPARE(taken.names, (QSet<QString>{QStringLiteral("a.bmp"), QStringLiteral("b.bmp.tmp~"),
                                             QStringLiteral("b.bmp"), QStringLiteral("gone.bmp")}));
        QVERIFY(taken.touches(QStringLiteral("B.BMP")));
        QVERIFY(watcher.takeChanges().isEmpty());
    }

    // A folder in an archive is followed through the archive file: each way
    // of writing the archive anew is a change of everything, and the other
    // files beside it count for nothing.
    void watcherFollowsAnArchiveByItsName_data()
    {
        QTest::addColumn<Save>("how");
        QTest::newRow("in place") << Save::InPlace;
        QTest::newRow("renamed over") << Save::Rename;
        QTest::newRow("removed, then made") << Save::DeleteThenCreate;
    }

    void watcherFollowsAnArchiveByItsName()
    {
        QFETCH(Save, how);
        const QString archive = writeFile(QStringLiteral("skins/Ember.zip"), "PK\5\6" + QByteArray(18, '\0'));
        FolderWatcher watcher;
        watcher.follow(archive + QStringLiteral("/Ember"));
        QCOMPARE(watcher.folder(), archive + QStringLiteral("/Ember"));
        QSignalSpy changes(&watcher, &FolderWatcher::change);
        for (int round = 0; round < 2; ++round) {
            writeFile(QStringLiteral("skins/notes.txt"), QByteArray::number(round));
            save(archive, "PK\5\6" + QByteArray(18 + round + 1, '\0'), how);
            QVERIFY(changes.wait(Patience));
            const FolderChanges taken = watcher.takeChanges();
            QVERIFY(taken.everything);
            QVERIFY(taken.names.isEmpty());
            changes.clear();
        }
    }

    // The folder goes away and comes back: while it is away an ancestor is
    // watched, and once it is back the folder is watched again and the
    // change covers everything in it.
    void watcherFollowsTheFolderAwayAndBack_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("removed and made again") << QStringLiteral("remove");
        QTest::newRow("renamed away and back") << QStringLiteral("rename");
        QTest::newRow("its parent removed and made again") << QStringLiteral("parent");
        QTest::newRow("made after following began") << QStringLiteral("late");
    }

    void watcherFollowsTheFolderAwayAndBack()
    {
        QFETCH(QString, way);
        const QString parent = path(QStringLiteral("skins"));
        const QString folder = parent + QStringLiteral("/Ember");
        if (way != QLatin1String("late"))
            writeBmp(QStringLiteral("skins/Ember/background.bmp"), Red);
        FolderWatcher watcher;
        watcher.follow(folder);
        QSignalSpy changes(&watcher, &FolderWatcher::change);

        if (way == QLatin1String("remove"))
            QVERIFY(QDir(folder).removeRecursively());
        else if (way == QLatin1String("rename"))
            QCOMPARE(::rename(native(folder).constData(), native(folder + QStringLiteral(".old")).constData()), 0);
        else if (way == QLatin1String("parent"))
            QVERIFY(QDir(parent).removeRecursively());
        QTRY_VERIFY_WITH_TIMEOUT(!watcher.isWatchingFolder(), Patience);
        // Going away is a change of everything too.
        FolderChanges taken;
        if (way != QLatin1String("late"))
            QTRY_VERIFY_WITH_TIMEOUT(takeInto(taken, watcher).everything, Patience);
        changes.clear();

        if (way == QLatin1String("rename")) {
            QCOMPARE(::rename(native(folder + QStringLiteral(".old")).constData(), native(folder).constData()), 0);
        } else {
            makeFolder(QStringLiteral("skins/Ember"));
            writeBmp(QStringLiteral("skins/Ember/background.bmp"), Blue);
        }
        QTRY_VERIFY_WITH_TIMEOUT(watcher.isWatchingFolder(), Patience);
        QTRY_VERIFY_WITH_TIMEOUT(!changes.isEmpty(), Patience);
        QVERIFY(watcher.takeChanges().everything);

        // And it is the folder now there that is watched.
        changes.clear();
        writeBmp(QStringLiteral("skins/Ember/sticker_background.bmp"), Blue);
        QVERIFY(changes.wait(Patience));
        QVERIFY(watcher.takeChanges().names.contains(QStringLiteral("sticker_background.bmp")));
    }

    // The path is followed, not the folder that it led to at first: once
    // it leads to another folder, that one is watched, the change covers
    // everything, and the folder it led to before is no longer watched.
    void watcherFollowsThePath_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("an ancestor renamed, the path made again") << QStringLiteral("ancestor");
        QTest::newRow("a link renamed over by one to elsewhere") << QStringLiteral("relink");
        QTest::newRow("a link removed and made to elsewhere") << QStringLiteral("unlink");
        QTest::newRow("a link above the folder renamed over") << QStringLiteral("above");
    }

    void watcherFollowsThePath()
    {
        QFETCH(QString, way);
        writeBmp(QStringLiteral("skins/ember/background.bmp"), Red);
        writeBmp(QStringLiteral("skins/frost/background.bmp"), Blue);
        makeFolder(QStringLiteral("skins/ember/inner"));
        makeFolder(QStringLiteral("skins/frost/inner"));
        const QByteArray link = native(path(QStringLiteral("skins/current")));
        QVERIFY(::symlink("ember", link.constData()) == 0);
        const QString followedName = way == QLatin1String("ancestor") ? QStringLiteral("skins/ember")
                                     : way == QLatin1String("above")  ? QStringLiteral("skins/current/inner")
                                                                      : QStringLiteral("skins/current");
        const QString followed = path(followedName);
        FolderWatcher watcher;
        watcher.follow(followed);
        QVERIFY(watcher.isWatchingFolder());
        QSignalSpy changes(&watcher, &FolderWatcher::change);

        QString former; // where the folder watched at first is now, below the test's folder
        if (way == QLatin1String("ancestor")) {
            QCOMPARE(::rename(native(path(QStringLiteral("skins"))).constData(), native(path(QStringLiteral("old"))).constData()), 0);
            writeBmp(QStringLiteral("skins/ember/background.bmp"), Blue);
            former = QStringLiteral("old/ember");
        } else {
            if (way == QLatin1String("relink") || way == QLatin1String("above")) {
                QCOMPARE(::symlink("frost", (link + ".new").constData()), 0);
                QCOMPARE(::rename((link + ".new").constData(), link.constData()), 0);
            } else {
                QCOMPARE(::unlink(link.constData()), 0);
                QCOMPARE(::symlink("frost", link.constData()), 0);
            }
            former = way == QLatin1String("above") ? QStringLiteral("skins/ember/inner") : QStringLiteral("skins/ember");
        }
        QTRY_VERIFY_WITH_TIMEOUT(!changes.isEmpty(), Patience);
        QVERIFY(watcher.isWatchingFolder());
        QVERIFY(watcher.takeChanges().everything);

        changes.clear();
        writeBmp(former + QStringLiteral("/not-followed.bmp"), Red);
        writeBmp(followedName + QStringLiteral("/sticker_background.bmp"), Red);
        QVERIFY(changes.wait(Patience));
        const FolderChanges taken = watcher.takeChanges();
        QVERIFY(!taken.everything);
        QCOMPARE(taken.names, QSet<QString>{QStringLiteral("sticker_background.bmp")});
    }

    // A file system unmounted and mounted again (a USB stick taken out and
    // put back): the folder on it is followed again.
    void watcherFollowsARemount()
    {
        const QByteArray stick = native(makeFolder(QStringLiteral("stick")));
        const QByteArray image = native(path(QStringLiteral("stick.img")));
        const QString problems = inChild([&]() -> QString {
            if (const QString failed = enterPrivateMountNamespace(); !failed.isEmpty())
                return NoMount + failed;
            const QByteArray mount = "mount -o loop " + image + " " + stick + " >/dev/null 2>&1";
            if (std::system(("mkfs.ext4 -q -F " + image + " 4M >/dev/null 2>&1").constData()) != 0
                || std::system(mount.constData()) != 0)
                return NoMount + QStringLiteral("no loop-mounted file system");
            const QByteArray skin = stick + "/skin";
            if (::mkdir(skin.constData(), 0755) != 0)
                return QStringLiteral("cannot make the skin folder");
            FolderWatcher watcher;
            watcher.follow(QFile::decodeName(skin));
            if (!watcher.isWatchingFolder())
                return QStringLiteral("the folder is not watched");
            if (::umount2(stick.constData(), 0) != 0)
                return QStringLiteral("cannot unmount: %1").arg(qt_error_string(errno));
            if (!QTest::qWaitFor([&] { return !watcher.isWatchingFolder(); }, Patience))
                return QStringLiteral("the unmount went unseen");
            FolderChanges gone;
            if (!QTest::qWaitFor([&] { return takeInto(gone, watcher).everything; }, Patience))
                return QStringLiteral("the unmount raised no change");
            if (std::system(mount.constData()) != 0)
                return QStringLiteral("cannot mount again");
            FolderChanges taken;
            if (!QTest::qWaitFor([&] { return takeInto(taken, watcher).everything; }, Patience))
                return QStringLiteral("the mount went unseen");
            if (!watcher.isWatchingFolder())
                return QStringLiteral("the folder is not watched after the mount");
            if (!writeRaw(skin + "/background.bmp", bmpBytes(Red, {8, 8})))
                return QStringLiteral("cannot save");
            const bool seen = QTest::qWaitFor([&] { return watcher.takeChanges().touches(QStringLiteral("background.bmp")); },
                                              Patience);
            ::umount2(stick.constData(), MNT_DETACH);
            return seen ? QString() : QStringLiteral("a save after the mount went unseen");
        });
        if (problems.startsWith(NoMount))
            QSKIP(qPrintable(problems));
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }

    // More events than the kernel queues (the folder filled, then removed
    // and made again, before the events are read): everything counts as
    // changed, and the folder now at the path is watched.
    void watcherSurvivesAnOverflow()
    {
        const QString folder = makeFolder(QStringLiteral("skin"));
        FolderWatcher watcher;
        watcher.follow(folder);
        QVERIFY(watcher.isWatchingFolder());
        QFile limit(QStringLiteral("/proc/sys/fs/inotify/max_queued_events"));
        QVERIFY(limit.open(QIODevice::ReadOnly));
        const int files = limit.readAll().trimmed().toInt() + 1000;
        for (int i = 0; i < files; ++i)
            QVERIFY(writeRaw(native(folder + QStringLiteral("/f%1").arg(i)), {}));
        QVERIFY(QDir(folder).removeRecursively());
        makeFolder(QStringLiteral("skin"));

        FolderChanges taken;
        QTRY_VERIFY_WITH_TIMEOUT(takeInto(taken, watcher).everything, Patience);
        taken = {};
        writeBmp(QStringLiteral("skin/background.bmp"), Red);
        QTRY_VERIFY_WITH_TIMEOUT(takeInto(taken, watcher).names.contains(QStringLiteral("background.bmp")), Patience);
        QVERIFY(watcher.isWatchingFolder());
    }

    // A file written over and over (a log) does not hold back another
    // change for as long as it is written.
    void watcherShowsAChangeWhileAnotherFileKeepsChanging()
    {
        const QString folder = makeFolder(QStringLiteral("skin"));
        FolderWatcher watcher;
        watcher.follow(folder);
        QTimer log;
        log.setInterval(FolderWatcher::QuietMilliseconds / 3);
        const QByteArray logName = native(folder + QStringLiteral("/render.log"));
        QObject::connect(&log, &QTimer::timeout, [&] { writeRaw(logName, "line\n"); });
        log.start();
        QTest::qWait(FolderWatcher::QuietMilliseconds * 2);
        watcher.takeChanges();
        writeBmp(QStringLiteral("skin/background.bmp"), Red);
        FolderChanges taken;
        QTRY_VERIFY_WITH_TIMEOUT(takeInto(taken, watcher).names.contains(QStringLiteral("background.bmp")), Patience);
        QVERIFY(log.isActive());
    }
};

QTEST_MAIN(FilesTest)
#include "files_test.moc"
