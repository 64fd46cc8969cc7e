// Following a skin's files as they change: the preview window loading again
// what changed, the selector following its folder, and the reload keys. (The
// folder watcher under them is tested with the files room.)

#include "support/archives.h"
#include "support/child.h"
#include "support/fixture.h"
#include "support/saving.h"

#include "app/forms.h"
#include "files/folderwatcher.h"
#include "forms/dirlistbox.h"
#include "forms/filelistbox.h"
#include "forms/label.h"
#include "forms/picturebox.h"
#include "preview/form1.h"
#include "selector/form2.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int Patience = 10000;
// A case that needs a mount or a namespace that it could not make is
// skipped, not failed.
const QString NoMount = QStringLiteral("cannot mount: ");
const QString NoNamespace = QStringLiteral("no namespace: ");
constexpr QSize BackgroundSize(800, 600);
constexpr QSize StickerSize(178, 357);
constexpr QSize PanelSize(615, 599);
const QColor Red(200, 30, 30);
const QColor Green(30, 170, 60);
const QColor Blue(30, 40, 210);
const QColor Yellow(230, 210, 40);

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

// The colour a slot's picture holds at its middle.
QColor middleOf(const QImage &picture)
{
    return picture.pixelColor(picture.width() / 2, picture.height() / 2);
}

QColor previewBackground()
{
    return middleOf(form1().picture());
}

QColor sticker()
{
    return middleOf(form1().Picture1().picture());
}

// Every pixel of the picture is the colour.
bool plain(const QImage &picture, QColor color)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x)
            if (rgb.pixel(x, y) != color.rgb())
                return false;
    return !rgb.isNull();
}

} // namespace

class FollowTest : public Fixture
{
    Q_OBJECT

private:
    // A skin with a red background, a green background_us and a yellow
    // sticker, applied as if the program had been started on it.
    QString startOnSkin()
    {
        const QString skin = makeFolder(QStringLiteral("skins/Ember"));
        writeBmp(QStringLiteral("skins/Ember/background.bmp"), Red, BackgroundSize);
        writeBmp(QStringLiteral("skins/Ember/background_us.bmp"), Green, BackgroundSize);
        writeBmp(QStringLiteral("skins/Ember/sticker_background.bmp"), Yellow, StickerSize);
        startProgram(skin);
        if (previewBackground() != Red || sticker() != Yellow)
            qWarning("the skin was not applied at start");
        return skin;
    }

    // Waits until the preview window has dealt with a settled change.
    static bool changeHandled(QSignalSpy &spy)
    {
        return spy.wait(Patience) || !spy.isEmpty();
    }

    static void pressOn(Form &form, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        QVERIFY(QTest::qWaitForWindowActive(&form.window()));
        QTest::keyClick(&form.window(), key, modifiers);
    }

private slots:
    // ---- The preview window ----

    // Started on a folder, the program has applied and remembered it, as
    // closing the selector on it would.
    void startingOnAFolderAppliesAndRemembersIt()
    {
        const QString skin = startOnSkin();
        QCOMPARE(previewBackground(), Red);
        QCOMPARE(sticker(), Yellow);
        QVERIFY(!form2().isLoaded());
        QCOMPARE(readFile(QStringLiteral("work/lastpath.skin")), native(skin) + "\r\n");
        QCOMPARE(form1().AppliedSkin.folder(), skin);
        QVERIFY(form1().AppliedSkin.isWatchingFolder());
        QVERIFY(form1().window().isVisible());
    }

    void eachWayOfSavingShows_data()
    {
        QTest::addColumn<Save>("how");
        QTest::newRow("in place") << Save::InPlace;
        QTest::newRow("renamed over") << Save::Rename;
        QTest::newRow("removed, then made") << Save::DeleteThenCreate;
    }

    void eachWayOfSavingShows()
    {
        QFETCH(Save, how);
        const QString skin = startOnSkin();
        save(skin + QStringLiteral("/background.bmp"), bmpBytes(Blue, BackgroundSize), how);
        QTRY_COMPARE_WITH_TIMEOUT(previewBackground(), Blue, Patience);
        QCOMPARE(pixelAt(form1().window(), {600, 20}), Blue);
        // And again: the file that replaced the old one is followed too.
        save(skin + QStringLiteral("/background.bmp"), bmpBytes(Red, BackgroundSize), how);
        QTRY_COMPARE_WITH_TIMEOUT(previewBackground(), Red, Patience);
        QCOMPARE(sticker(), Yellow);
    }

    // A skin applied through its one top folder (a folder unpacked with the
    // skin's own folder inside) is followed in that inner folder, where its
    // files are saved.
    void aSkinUnderOneTopFolderIsFollowed()
    {
        writeBmp(QStringLiteral("skins/Ember/Ember/background.bmp"), Red, BackgroundSize);
        writeBmp(QStringLiteral("skins/Ember/Ember/sticker_background.bmp"), Yellow, StickerSize);
        startProgram(path(QStringLiteral("skins/Ember")));
        QCOMPARE(previewBackground(), Red);
        save(path(QStringLiteral("skins/Ember/Ember/background.bmp")), bmpBytes(Blue, BackgroundSize), Save::InPlace);
        QTRY_COMPARE_WITH_TIMEOUT(previewBackground(), Blue, Patience);
        QCOMPARE(sticker(), Yellow);
    }

    // An applied archive that is written anew, whichever way (a build
    // script zipping the skin again in place, a download renamed over it,
    // or removed and made again), shows again; only the slots whose entries
    // changed load again.
    void anArchiveWrittenAnewShowsAgain_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("inside"); // the skin's folder in the archive, empty for its root
        QTest::addColumn<Save>("how");
        QTest::newRow("zip, in place") << "Ember.zip" << "" << Save::InPlace;
        QTest::newRow("zip, renamed over") << "Ember.zip" << "" << Save::Rename;
        QTest::newRow("zip under a top folder, removed then made") << "Ember.zip" << "Ember" << Save::DeleteThenCreate;
        QTest::newRow("7z, renamed over") << "Ember.7z" << "" << Save::Rename;
    }

    void anArchiveWrittenAnewShowsAgain()
    {
        QFETCH(QString, archive);
        QFETCH(QString, inside);
        QFETCH(Save, how);
        const QString source = QStringLiteral("src/") + inside;
        writeBmp(source + QStringLiteral("/background.bmp"), Red, BackgroundSize);
        writeBmp(source + QStringLiteral("/sticker_background.bmp"), Yellow, StickerSize);
        const QString applied = makeFolder(QStringLiteral("skins")) + QLatin1Char('/') + archive;
        QVERIFY(packFolder(path(QStringLiteral("src")), applied));
        startProgram(applied);
        QCOMPARE(previewBackground(), Red);
        QCOMPARE(sticker(), Yellow);
        QCOMPARE(form1().AppliedSkin.folder(), applied);
        const qint64 stickerKey = form1().Picture1().picture().cacheKey();
        makeFolder(QStringLiteral("next"));

        for (const QColor &colour : {Blue, Green}) {
            writeBmp(source + QStringLiteral("/background.bmp"), colour, BackgroundSize);
            const QString next = path(QStringLiteral("next/")) + archive;
            QFile::remove(next);
            QVERIFY(packFolder(path(QStringLiteral("src")), next));
            QFile packed(next);
            QVERIFY(packed.open(QIODevice::ReadOnly));
            save(applied, packed.readAll(), how);
            QTRY_COMPARE_WITH_TIMEOUT(previewBackground(), colour, Patience);
            QVERIFY(plain(form1().picture(), colour));
            QCOMPARE(form1().Picture1().picture().cacheKey(), stickerKey);
        }
    }

    // Saves in quick succession end on the last one, whichever way.
    void quickSavesInARowEndOnTheLast()
    {
        const QString skin = startOnSkin();
        const QColor colours[] = {Blue, Green, Yellow, Red, Blue};
        const Save ways[] = {Save::Rename, Save::InPlace, Save::DeleteThenCreate, Save::Rename, Save::InPlace};
        for (int i = 0; i < 5; ++i) {
            save(skin + QStringLiteral("/sticker_background.bmp"), bmpBytes(colours[i], StickerSize), ways[i]);
            QCoreApplication::processEvents();
        }
        QTRY_COMPARE_WITH_TIMEOUT(sticker(), Blue, Patience);
        QVERIFY(plain(form1().Picture1().picture(), Blue));
        // The guides name the file that filled the slot.
        QCOMPARE(form1().Picture1().pictureSource(), skin + QStringLiteral("/sticker_background.bmp"));
    }

    // Removing a file brings back what closing the selector on the folder
    // would show: the _us twin, or, for a slot with no file left, what the
    // slot showed.
    void removalsShowWhatApplyingWouldShow()
    {
        const QString skin = startOnSkin();
        QSignalSpy changes(&form1().AppliedSkin, &FollowedSkin::change);
        QVERIFY(QFile::remove(skin + QStringLiteral("/background.bmp")));
        QTRY_COMPARE_WITH_TIMEOUT(previewBackground(), Green, Patience);
        QVERIFY(QFile::remove(skin + QStringLiteral("/sticker_background.bmp")));
        changes.clear();
        QVERIFY(changeHandled(changes));
        QCOMPARE(sticker(), Yellow);
    }

    // A picture that does not load yet (an editor is still writing it)
    // leaves its slot as it was: not the _us twin, not a broken picture.
    // The end of the save brings the new picture.
    void aFileBeingWrittenLeavesItsSlotAsItWas()
    {
        const QString skin = startOnSkin();
        QSignalSpy changes(&form1().AppliedSkin, &FollowedSkin::change);
        const QByteArray blue = bmpBytes(Blue, BackgroundSize);
        const int fd = ::open(native(skin + QStringLiteral("/background.bmp")).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        QVERIFY(fd >= 0);
        writeAll(fd, blue.left(20)); // not even the whole header
        // In the same burst, a change that shows when the burst was handled.
        save(skin + QStringLiteral("/sticker_background.bmp"), bmpBytes(Blue, StickerSize), Save::Rename);
        QTRY_COMPARE_WITH_TIMEOUT(sticker(), Blue, Patience);
        QCOMPARE(previewBackground(), Red);

        // Then the rest, which an editor may write a while later.
        writeAll(fd, blue.mid(20, blue.size() / 2));
        changes.clear();
        QVERIFY(changeHandled(changes));
        writeAll(fd, blue.mid(20 + blue.size() / 2));
        ::close(fd);
        QTRY_VERIFY_WITH_TIMEOUT(plain(form1().picture(), Blue), Patience);
    }

    // Changes that leave every skin file as it was decode nothing: another
    // file, a file no slot uses, a skin file whose permissions changed.
    void changesToOtherFilesDecodeNothing()
    {
        const QString skin = startOnSkin();
        const qint64 background = form1().picture().cacheKey();
        const qint64 stickerKey = form1().Picture1().picture().cacheKey();
        QSignalSpy changes(&form1().AppliedSkin, &FollowedSkin::change);
        writeFile(QStringLiteral("skins/Ember/notes.txt"), "text");
        writeBmp(QStringLiteral("skins/Ember/photo.bmp"), Blue);
        QCOMPARE(::chmod(native(skin + QStringLiteral("/background.bmp")).constData(), 0600), 0);
        QVERIFY(changeHandled(changes));
        QCOMPARE(form1().picture().cacheKey(), background);
        QCOMPARE(form1().Picture1().picture().cacheKey(), stickerKey);
    }

    // Removed, the folder leaves the pictures as they are; made again,
    // it shows again.
    void folderRemovedAndMadeAgain()
    {
        const QString skin = startOnSkin();
        QSignalSpy changes(&form1().AppliedSkin, &FollowedSkin::change);
        QVERIFY(QDir(skin).removeRecursively());
        QVERIFY(changeHandled(changes));
        QCOMPARE(previewBackground(), Red);
        QCOMPARE(sticker(), Yellow);
        makeFolder(QStringLiteral("skins/Ember"));
        writeBmp(QStringLiteral("skins/Ember/background_us.bmp"), Blue, BackgroundSize);
        QTRY_COMPARE_WITH_TIMEOUT(previewBackground(), Blue, Patience);
        QCOMPARE(sticker(), Yellow);
        QVERIFY(form1().AppliedSkin.isWatchingFolder());
    }

    void shownPanelTakesItsNewPictureAtOnce()
    {
        const QString skin = startOnSkin();
        writeBmp(QStringLiteral("skins/Ember/backsettings.bmp"), Green, PanelSize);
        QTRY_COMPARE_WITH_TIMEOUT(middleOf(form1().Picture2().picture()), Green, Patience);
        QTest::mouseClick(&form1().Label3(), Qt::LeftButton); // "Desktop settings"
        QVERIFY(form1().Picture2().isVisible());
        save(skin + QStringLiteral("/backsettings.bmp"), bmpBytes(Blue, PanelSize), Save::Rename);
        QTRY_COMPARE_WITH_TIMEOUT(pixelAt(form1().Picture2(), {300, 300}), Blue, Patience);
    }

    // A folder that cannot be watched (here: one that may not be read; the
    // same as when the user's inotify limits are spent) is survived:
    // nothing is followed, and F5 loads what changed.
    void aFolderThatCannotBeWatchedLeavesF5()
    {
        const QString skin = makeFolder(QStringLiteral("skins/Locked"));
        writeBmp(QStringLiteral("skins/Locked/background.bmp"), Red, BackgroundSize);
        QCOMPARE(::chmod(native(skin).constData(), 0300), 0);
        const QString problems = inChild([&]() -> QString {
            if (!dropPermissionOverride())
                return QStringLiteral("cannot drop the permission override");
            startProgram(skin);
            if (previewBackground() != Red)
                return QStringLiteral("the skin was not applied");
            if (form1().AppliedSkin.isWatchingFolder())
                return QStringLiteral("the folder is watched");
            FolderWatcher watcher;
            watcher.follow(skin);
            if (watcher.error() != EACCES)
                return QStringLiteral("the watcher gives %1 as the reason, not EACCES").arg(watcher.error());
            const QByteArray file = native(skin + QStringLiteral("/background.bmp"));
            if (!writeRaw(file + ".part", bmpBytes(Blue, BackgroundSize)) || ::rename(file + ".part", file) != 0)
                return QStringLiteral("cannot save");
            if (!QTest::qWaitForWindowActive(&form1().window()))
                return QStringLiteral("the window is not active");
            QTest::keyClick(&form1().window(), Qt::Key_F5);
            return previewBackground() == Blue ? QString() : QStringLiteral("F5 did not load the new picture");
        });
        QCOMPARE(::chmod(native(skin).constData(), 0700), 0);
        QCOMPARE(problems, QString());
    }

    // A save that keeps the file's size and modification time (cp -p,
    // rsync -t --inplace) shows all the same.
    void aSaveThatKeepsSizeAndTimeShows()
    {
        const QString skin = makeFolder(QStringLiteral("skins/Ember"));
        writeBmp(QStringLiteral("skins/Ember/background.bmp"), Red, BackgroundSize);
        const QByteArray file = native(skin + QStringLiteral("/background.bmp"));
        const timespec longAgo[2] = {{1000000000, 0}, {1000000000, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, file.constData(), longAgo, 0), 0);
        startProgram(skin);
        QCOMPARE(previewBackground(), Red);

        save(QFile::decodeName(file), bmpBytes(Blue, BackgroundSize), Save::InPlace);
        QCOMPARE(::utimensat(AT_FDCWD, file.constData(), longAgo, 0), 0);
        QTRY_COMPARE_WITH_TIMEOUT(previewBackground(), Blue, Patience);
    }

    // On a file system that keeps whole seconds, two saves within one
    // second: the second shows too.
    void twoSavesInOneSecondShow()
    {
        const QByteArray disk = native(makeFolder(QStringLiteral("disk")));
        const QByteArray image = native(path(QStringLiteral("disk.img")));
        const QString problems = inChild([&]() -> QString {
            if (const QString failed = enterPrivateMountNamespace(); !failed.isEmpty())
                return NoMount + failed;
            // 128-byte inodes hold no sub-second times.
            if (std::system(("mkfs.ext4 -q -F -I 128 " + image + " 16M >/dev/null 2>&1").constData()) != 0
                || std::system(("mount -o loop " + image + " " + disk + " >/dev/null 2>&1").constData()) != 0)
                return NoMount + QStringLiteral("no loop-mounted file system");
            const QString skin = QFile::decodeName(disk) + QStringLiteral("/Ember");
            const QString background = skin + QStringLiteral("/background.bmp");
            if (::mkdir(native(skin).constData(), 0755) != 0 || !writeRaw(native(background), bmpBytes(Red, BackgroundSize)))
                return QStringLiteral("cannot write the skin");
            startProgram(skin);
            const auto modified = [&] {
                struct stat status {};
                ::stat(native(background).constData(), &status);
                return status.st_mtim;
            };
            // Tried until both saves fall within one second.
            const QColor colours[][2] = {{Blue, Green}, {Red, Blue}, {Green, Red}, {Blue, Green}, {Red, Blue}};
            for (const auto &[first, second] : colours) {
                const timespec before = modified();
                save(background, bmpBytes(first, BackgroundSize), Save::InPlace);
                const timespec one = modified();
                if (one.tv_nsec != 0 || before.tv_nsec != 0)
                    return QStringLiteral("the file system keeps sub-second times");
                if (!QTest::qWaitFor([&] { return previewBackground() == first; }, Patience))
                    return QStringLiteral("the first save went unseen");
                save(background, bmpBytes(second, BackgroundSize), Save::InPlace);
                if (modified().tv_sec != one.tv_sec)
                    continue; // a new second began between the saves
                return QTest::qWaitFor([&] { return previewBackground() == second; }, Patience)
                           ? QString()
                           : QStringLiteral("the second save within a second went unseen");
            }
            return QStringLiteral("no two saves fell within one second");
        });
        if (problems.startsWith(NoMount))
            QSKIP(qPrintable(problems));
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }

    // A watch that could not be placed (the user's inotify limits were
    // spent) is tried again by F5 and by each apply, and by showing the
    // selector again.
    void aFailedWatchIsTriedAgain_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("F5") << QStringLiteral("F5");
        QTest::newRow("apply") << QStringLiteral("apply");
        QTest::newRow("selector shown again") << QStringLiteral("selector");
    }

    void aFailedWatchIsTriedAgain()
    {
        QFETCH(QString, how);
        const QString skin = makeFolder(QStringLiteral("skins/Ember"));
        writeBmp(QStringLiteral("skins/Ember/background.bmp"), Red, BackgroundSize);
        const QString problems = inChild([&]() -> QString {
            if (const QString failed = enterPrivateUserNamespace(); !failed.isEmpty())
                return NoNamespace + failed;
            const int plenty = 1 << 20;
            if (const QString failed = setInotifyLimits(0, 0); !failed.isEmpty())
                return NoNamespace + failed;
            startProgram(skin);
            const bool selector = how == QLatin1String("selector");
            if (selector)
                QTest::mouseClick(&form1().Label7(), Qt::LeftButton);
            FollowedSkin &followed = selector ? form2().Following : form1().AppliedSkin;
            if (followed.isWatchingFolder())
                return QStringLiteral("the folder is watched in spite of the limits");
            if (selector) {
                QTest::mouseClick(&form2().Label3(), Qt::LeftButton);
                if (const QString failed = setInotifyLimits(plenty, plenty); !failed.isEmpty())
                    return failed;
                QTest::mouseClick(&form1().Label7(), Qt::LeftButton);
            } else {
                if (const QString failed = setInotifyLimits(plenty, plenty); !failed.isEmpty())
                    return failed;
                if (how == QLatin1String("F5")) {
                    if (!QTest::qWaitForWindowActive(&form1().window()))
                        return QStringLiteral("the window is not active");
                    QTest::keyClick(&form1().window(), Qt::Key_F5);
                } else {
                    QTest::mouseClick(&form1().Label7(), Qt::LeftButton);
                    QTest::mouseClick(&form2().Label3(), Qt::LeftButton);
                }
            }
            if (!followed.isWatchingFolder())
                return QStringLiteral("the folder is not watched after the limits were raised");
            save(skin + QStringLiteral("/background.bmp"), bmpBytes(Blue, BackgroundSize), Save::Rename);
            const auto shown = [&] { return selector ? middleOf(form2().picture()) : previewBackground(); };
            return QTest::qWaitFor([&] { return shown() == Blue; }, Patience) ? QString()
                                                                                 : QStringLiteral("a save went unseen");
        });
        if (problems.startsWith(NoNamespace))
            QSKIP(qPrintable(problems));
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }

    // ---- The reload keys ----

    // F5 loads every slot as closing the selector would, a file that does
    // not load included; Shift+F5 does so from the built-in pictures.
    // Neither writes "lastpath.skin".
    void reloadKeys()
    {
        const QString skin = startOnSkin();
        QSignalSpy changes(&form1().AppliedSkin, &FollowedSkin::change);
        QVERIFY(QFile::remove(path(QStringLiteral("work/lastpath.skin"))));
        QVERIFY(QFile::remove(skin + QStringLiteral("/sticker_background.bmp")));
        // Written broken and left so: following takes it for a save not
        // done yet, and keeps the red picture.
        writeFile(QStringLiteral("skins/Ember/background.bmp"), "BM broken");
        QVERIFY(changeHandled(changes));
        QCOMPARE(previewBackground(), Red);

        pressOn(form1(), Qt::Key_F5);
        QCOMPARE(previewBackground(), Green);
        QCOMPARE(sticker(), Yellow);

        pressOn(form1(), Qt::Key_F5, Qt::ShiftModifier);
        QCOMPARE(previewBackground(), Green);
        QVERIFY(form1().Picture1().picture() == QImage(QStringLiteral(":/sticker.bmp")).convertToFormat(QImage::Format_RGB32));
        QVERIFY(!QFile::exists(path(QStringLiteral("work/lastpath.skin"))));
        QVERIFY(form1().AppliedSkin.isWatchingFolder());
    }

    // Before any skin is applied there is nothing to load again.
    void reloadKeysBeforeAnySkinDoNothing()
    {
        writeBmp(QStringLiteral("work/background.bmp"), Red, BackgroundSize);
        startProgram();
        const QImage builtIn = form1().picture();
        pressOn(form1(), Qt::Key_F5);
        pressOn(form1(), Qt::Key_F5, Qt::ShiftModifier);
        QVERIFY(form1().picture() == builtIn);
        QVERIFY(form1().AppliedSkin.folder().isEmpty());
        QVERIFY(!QFile::exists(path(QStringLiteral("work/lastpath.skin"))));
    }

    // ---- The selector ----

    // Shown, the selector follows the folder it shows: its file list and
    // its background. Hidden, it watches nothing, and catches up when shown.
    void selectorFollowsItsFolderWhileShown()
    {
        const QString skin = makeFolder(QStringLiteral("skins/Ember"));
        writeBmp(QStringLiteral("skins/Ember/background.bmp"), Red, BackgroundSize);
        writeFile(QStringLiteral("work/lastpath.skin"), native(skin) + "\r\n");
        startProgram();
        Form2 &selector = form2();
        QCOMPARE(selector.Dir1().path(), skin);
        QVERIFY(!selector.Following.isWatchingFolder());

        // Changes while it is hidden show when it is shown.
        writeBmp(QStringLiteral("skins/Ember/new.bmp"), Blue);
        save(skin + QStringLiteral("/background.bmp"), bmpBytes(Blue, BackgroundSize), Save::InPlace);
        QTest::mouseClick(&form1().Label7(), Qt::LeftButton);
        QVERIFY(selector.window().isVisible());
        QVERIFY(selector.Following.isWatchingFolder());
        QCOMPARE(selector.File1().fileNames(), (QStringList{QStringLiteral("background.bmp"), QStringLiteral("new.bmp")}));
        QCOMPARE(middleOf(selector.picture()), Blue);

        // Shown, it follows.
        QVERIFY(QFile::remove(skin + QStringLiteral("/new.bmp")));
        writeBmp(QStringLiteral("skins/Ember/Sticker_Background.BMP"), Blue);
        QTRY_COMPARE_WITH_TIMEOUT(selector.File1().fileNames(),
                                  (QStringList{QStringLiteral("background.bmp"), QStringLiteral("Sticker_Background.BMP")}),
                                  Patience);
        save(skin + QStringLiteral("/background.bmp"), bmpBytes(Green, BackgroundSize), Save::Rename);
        QTRY_COMPARE_WITH_TIMEOUT(pixelAt(selector.window(), {775, 300}), Green, Patience);

        // The watch moves with the folder list.
        const QString other = makeFolder(QStringLiteral("skins/Other"));
        selector.Dir1().setPath(other);
        QCOMPARE(selector.Following.folder(), other);
        QVERIFY(selector.Following.isWatchingFolder());
        writeBmp(QStringLiteral("skins/Other/background_us.bmp"), Yellow, BackgroundSize);
        QTRY_COMPARE_WITH_TIMEOUT(middleOf(selector.picture()), Yellow, Patience);
        QCOMPARE(selector.File1().fileNames(), QStringList{QStringLiteral("background_us.bmp")});

        // Closed, it follows nothing; the preview window follows the folder.
        QTest::mouseClick(&selector.Label3(), Qt::LeftButton);
        QVERIFY(!form2().Following.isWatchingFolder());
        QCOMPARE(form1().AppliedSkin.folder(), other);
        QVERIFY(form1().AppliedSkin.isWatchingFolder());
    }

    // Shown on an archive, the selector follows it as a folder: written
    // anew, its file list and background show what it holds now.
    void selectorFollowsAnArchiveWhileShown()
    {
        writeBmp(QStringLiteral("src/background.bmp"), Red, BackgroundSize);
        const QString archive = makeFolder(QStringLiteral("skins")) + QStringLiteral("/Ember.zip");
        QVERIFY(packFolder(path(QStringLiteral("src")), archive));
        writeFile(QStringLiteral("work/lastpath.skin"), native(archive) + "\r\n");
        startProgram();
        QTest::mouseClick(&form1().Label7(), Qt::LeftButton);
        Form2 &selector = form2();
        QCOMPARE(selector.Dir1().path(), archive);
        QCOMPARE(middleOf(selector.picture()), Red);

        writeBmp(QStringLiteral("src/background.bmp"), Blue, BackgroundSize);
        writeBmp(QStringLiteral("src/new.bmp"), Blue);
        makeFolder(QStringLiteral("next"));
        QVERIFY(packFolder(path(QStringLiteral("src")), path(QStringLiteral("next/Ember.zip"))));
        QFile packed(path(QStringLiteral("next/Ember.zip")));
        QVERIFY(packed.open(QIODevice::ReadOnly));
        save(archive, packed.readAll(), Save::Rename);
        QTRY_COMPARE_WITH_TIMEOUT(selector.File1().fileNames(),
                                  (QStringList{QStringLiteral("background.bmp"), QStringLiteral("new.bmp")}), Patience);
        QTRY_COMPARE_WITH_TIMEOUT(middleOf(selector.picture()), Blue, Patience);
    }

    // F5 in the selector reads its folder again, where no change was
    // reported (a network file system).
    void selectorF5ReadsTheFolderAgain()
    {
        const QString skin = makeFolder(QStringLiteral("skins/Ember"));
        writeFile(QStringLiteral("work/lastpath.skin"), native(skin) + "\r\n");
        startProgram();
        QTest::mouseClick(&form1().Label7(), Qt::LeftButton);
        Form2 &selector = form2();
        selector.Following.setWatched(false);
        writeBmp(QStringLiteral("skins/Ember/background.bmp"), Blue, BackgroundSize);
        pressOn(selector, Qt::Key_F5);
        QCOMPARE(selector.File1().fileNames(), QStringList{QStringLiteral("background.bmp")});
        QCOMPARE(middleOf(selector.picture()), Blue);
        QVERIFY(selector.Following.isWatchingFolder());
        QCOMPARE(readFile(QStringLiteral("work/lastpath.skin")), native(skin) + "\r\n");
    }
};

QTEST_MAIN(FollowTest)
#include "follow_test.moc"
