#include "support/archives.h"
#include "support/fixture.h"

#include "app/forms.h"
#include "files/filename.h"
#include "files/folder.h"
#include "files/folderlisting.h"
#include "forms/formwindow.h"
#include "forms/picturebox.h"
#include "preview/form1.h"
#include "selector/form2.h"
#include "skin/followedskin.h"
#include "skin/skinfiles.h"

#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTest>

#include <map>
#include <memory>

#include <sys/stat.h>
#include <sys/types.h>

#include <array>

namespace {

// The preview window's image slots, in the order the expectations list them.
enum PreviewSlot { Background, Sticker, Desktop, ScreenSaver, Advanced, SlotCount };

const char *const SlotNames[SlotCount] = {"background", "sticker", "Picture2", "Picture3", "Picture4"};

QImage slotPicture(int slot)
{
    switch (slot) {
    case Background:
        return form1().picture();
    case Sticker:
        return form1().Picture1().picture();
    case Desktop:
        return form1().Picture2().picture();
    case ScreenSaver:
        return form1().Picture3().picture();
    case Advanced:
        return form1().Picture4().picture();
    }
    return {};
}

std::array<QImage, SlotCount> previewPictures()
{
    std::array<QImage, SlotCount> pictures;
    for (int slot = 0; slot < SlotCount; ++slot)
        pictures[slot] = slotPicture(slot);
    return pictures;
}

// A BMP header that claims a picture of 60000 x 60000 pixels, followed by a
// few bytes of pixel data.
QByteArray hugeBmpHeader()
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("BM", 2);
    out << quint32(54 + 64) << quint16(0) << quint16(0) << quint32(54);
    out << quint32(40) << qint32(60000) << qint32(60000) << quint16(1) << quint16(24) << quint32(0)
        << quint32(0) << qint32(2835) << qint32(2835) << quint32(0) << quint32(0);
    bytes.append(64, '\x7f');
    return bytes;
}

// A folder held in memory, as a folder inside an archive would be: what the
// loading steps read of it comes only through the Folder interface.
class MemoryFolder : public Folder
{
public:
    MemoryFolder(QString path, std::map<QString, QByteArray> files) : m_path(std::move(path)), m_files(std::move(files))
    {
    }

    const QString &path() const override { return m_path; }

    bool contains(const QString &name) override { return m_files.count(name) > 0; }

    FileSignature signature(const QString &name) override
    {
        FileSignature signature;
        if (const auto file = m_files.find(name); file != m_files.end())
            signature = {true, true, 0, 0, file->second.size(), 0, 0};
        return signature;
    }

    InputFile open(const QString &name, qint64 maxBytes) override
    {
        const auto file = m_files.find(name);
        if (file == m_files.end())
            throw InputFile::Error(InputFile::Failure::NotFound);
        if (file->second.size() > maxBytes)
            throw InputFile::Error(InputFile::Failure::TooLarge, 0, file->second.size());
        return InputFile(file->second);
    }

    std::unique_ptr<Folder> subfolder(const QString &) override { return nullptr; }

private:
    std::unique_ptr<FolderListing> readListing() override
    {
        std::vector<QByteArray> names;
        for (const auto &[name, bytes] : m_files)
            names.push_back(fileNameFromText(name));
        std::vector<FolderListing::ListedEntry> entries;
        for (const QByteArray &name : names)
            entries.push_back({name, FolderListing::EntryKind::RegularFile});
        return std::make_unique<FolderListing>(m_path, entries);
    }

    QString m_path;
    std::map<QString, QByteArray> m_files;
};

QByteArray bmpOf(QColor color, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes;
}

} // namespace

class SkinTest : public Fixture
{
    Q_OBJECT

private:
    // Fills a folder below the temporary folder. Each entry is "name=what",
    // where what is a colour ("#rrggbb", a 16 x 16 plain BMP) or one of:
    // garbage, empty, huge (a header claiming an absurd size), fifo, folder,
    // dangling (a symbolic link to nothing).
    QString makeSkin(const QString &relative, const QStringList &entries)
    {
        const QString folder = makeFolder(relative);
        for (const QString &entry : entries) {
            const QString name = entry.section(QLatin1Char('='), 0, 0);
            const QString what = entry.section(QLatin1Char('='), 1);
            const QString file = relative + QLatin1Char('/') + name;
            if (what.startsWith(QLatin1Char('#'))) {
                writeBmp(file, QColor(what));
            } else if (what == QLatin1String("garbage")) {
                writeFile(file, QByteArray("this is no picture, just some text\r\n").repeated(20));
            } else if (what == QLatin1String("empty")) {
                writeFile(file, {});
            } else if (what == QLatin1String("huge")) {
                writeFile(file, hugeBmpHeader());
            } else if (what == QLatin1String("fifo")) {
                if (::mkfifo(QFile::encodeName(path(file)).constData(), 0600) != 0)
                    qFatal("cannot make a FIFO at %s", qPrintable(file));
            } else if (what == QLatin1String("folder")) {
                makeFolder(file);
            } else if (what == QLatin1String("dangling")) {
                if (!QFile::link(path(relative + QStringLiteral("/nowhere.bmp")), path(file)))
                    qFatal("cannot make a link at %s", qPrintable(file));
            } else {
                qFatal("unknown skin entry %s", qPrintable(entry));
            }
        }
        return folder;
    }

    // Compares each slot with its expected colour; an empty expectation
    // means the slot still holds the picture it had before.
    void compareSlots(const QStringList &expected, const std::array<QImage, SlotCount> &before)
    {
        QCOMPARE(expected.size(), int(SlotCount));
        for (int slot = 0; slot < SlotCount; ++slot) {
            const QImage now = slotPicture(slot);
            if (expected[slot].isEmpty()) {
                QVERIFY2(now == before[slot], SlotNames[slot]);
            } else {
                QVERIFY2(!now.isNull(), SlotNames[slot]);
                QVERIFY2(now.size() == QSize(16, 16), SlotNames[slot]);
                QVERIFY2(now.pixelColor(8, 8) == QColor(expected[slot]),
                         qPrintable(QStringLiteral("%1: %2 instead of %3")
                                        .arg(QLatin1String(SlotNames[slot]), now.pixelColor(8, 8).name(),
                                             expected[slot])));
            }
        }
    }

private slots:
    void applySkin_data()
    {
        QTest::addColumn<bool>("folderExists");
        QTest::addColumn<QStringList>("files");
        // background, sticker, Picture2, Picture3, Picture4; "" = unchanged
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("only background.bmp")
            << true << QStringList{"background.bmp=#ff0000"}
            << QStringList{"#ff0000", "", "", "", ""};
        QTest::newRow("every plain name")
            << true
            << QStringList{"background.bmp=#100000", "sticker_background.bmp=#200000",
                           "backsettings.bmp=#300000", "backscreensaver.bmp=#400000",
                           "backadvanced.bmp=#500000"}
            << QStringList{"#100000", "#200000", "#300000", "#400000", "#500000"};
        QTest::newRow("every _us name alone")
            << true
            << QStringList{"background_us.bmp=#001000", "backsettings_us.bmp=#003000",
                           "backscreensaver_us.bmp=#004000", "backadvanced_us.bmp=#005000"}
            << QStringList{"#001000", "", "#003000", "#004000", "#005000"};
        QTest::newRow("backsettings_us.bmp without backsettings.bmp")
            << true << QStringList{"backsettings_us.bmp=#00ff00"}
            << QStringList{"", "", "#00ff00", "", ""};
        QTest::newRow("plain beats _us for every pair")
            << true
            << QStringList{"background_us.bmp=#010101", "background.bmp=#020202",
                           "backsettings_us.bmp=#030303", "backsettings.bmp=#040404",
                           "backscreensaver_us.bmp=#050505", "backscreensaver.bmp=#060606",
                           "backadvanced_us.bmp=#070707", "backadvanced.bmp=#080808"}
            << QStringList{"#020202", "", "#040404", "#060606", "#080808"};
        QTest::newRow("broken background.bmp beside good _us")
            << true << QStringList{"background_us.bmp=#0000ff", "background.bmp=garbage"}
            << QStringList{"#0000ff", "", "", "", ""};
        QTest::newRow("empty backsettings.bmp beside good _us")
            << true << QStringList{"backsettings_us.bmp=#0000fe", "backsettings.bmp=empty"}
            << QStringList{"", "", "#0000fe", "", ""};
        QTest::newRow("absurd picture size beside good _us")
            << true << QStringList{"background_us.bmp=#0000fd", "background.bmp=huge"}
            << QStringList{"#0000fd", "", "", "", ""};
        QTest::newRow("dangling link beside good _us")
            << true << QStringList{"background_us.bmp=#0000fc", "background.bmp=dangling"}
            << QStringList{"#0000fc", "", "", "", ""};
        QTest::newRow("names in other letter cases")
            << true
            << QStringList{"BACKGROUND.BMP=#aa0000", "Sticker_Background.Bmp=#00aa00",
                           "BackSettings_US.bmp=#0000aa"}
            << QStringList{"#aa0000", "#00aa00", "#0000aa", "", ""};
        QTest::newRow("two names equal ignoring case: byte order decides")
            << true << QStringList{"background.BMP=#123456", "Background.bmp=#654321"}
            << QStringList{"#654321", "", "", "", ""};
        QTest::newRow("exact name beats a case variant")
            << true << QStringList{"BACKGROUND.BMP=#111111", "background.bmp=#222222"}
            << QStringList{"#222222", "", "", "", ""};
        QTest::newRow("FIFO named background.bmp")
            << true << QStringList{"background.bmp=fifo"}
            << QStringList{"", "", "", "", ""};
        QTest::newRow("FIFO named background.bmp beside _us")
            << true << QStringList{"background.bmp=fifo", "background_us.bmp=#330033"}
            << QStringList{"#330033", "", "", "", ""};
        QTest::newRow("folder named background.bmp beside _us")
            << true << QStringList{"background.bmp=folder", "background_us.bmp=#440044"}
            << QStringList{"#440044", "", "", "", ""};
        QTest::newRow("folder named sticker_background.bmp")
            << true << QStringList{"sticker_background.bmp=folder"}
            << QStringList{"", "", "", "", ""};
        QTest::newRow("unrelated BMP files only")
            << true << QStringList{"back.bmp=#550055", "background.bmp.bak=#660066", "xbackground.bmp=#770077"}
            << QStringList{"", "", "", "", ""};
        QTest::newRow("empty folder") << true << QStringList{} << QStringList{"", "", "", "", ""};
        QTest::newRow("missing folder") << false << QStringList{} << QStringList{"", "", "", "", ""};
    }

    // ApplySkin fills each slot from its files in the fixed order; the
    // selector's background preview follows the same two-file order.
    void applySkin()
    {
        QFETCH(bool, folderExists);
        QFETCH(QStringList, files);
        QFETCH(QStringList, expected);

        const QString folder = folderExists ? makeSkin(QStringLiteral("skin"), files) : path(QStringLiteral("nowhere"));

        const auto before = previewPictures();
        QVERIFY(!before[Background].isNull());
        ApplySkin(form1(), folder);
        compareSlots(expected, before);
        if (QTest::currentTestFailed())
            return;

        // The selector previews a folder's background when its folder list
        // moves there, from the listing that the move read.
        const QImage selectorBefore = form2().picture();
        QVERIFY(!selectorBefore.isNull());
        if (folderExists)
            form2().Dir1().setPath(folder);
        else
            LoadBackgroundPreview(form2(), folder);
        if (expected[Background].isEmpty())
            QVERIFY(form2().picture() == selectorBefore);
        else
            QCOMPARE(form2().picture().pixelColor(8, 8), QColor(expected[Background]));
        // The preview of the selector never touches the preview window.
        QVERIFY(form1().picture() == slotPicture(Background));
    }

    // Both windows start from the same built-in background picture, and the
    // preview window's panels from pictures of their own.
    void builtInPicturesBeforeAnySkin()
    {
        const auto pictures = previewPictures();
        QCOMPARE(pictures[Background].size(), QSize(800, 600));
        QCOMPARE(pictures[Sticker].size(), QSize(178, 361));
        QCOMPARE(pictures[Desktop].size(), QSize(616, 600));
        QCOMPARE(pictures[ScreenSaver].size(), QSize(616, 600));
        QCOMPARE(pictures[Advanced].size(), QSize(616, 600));
        QVERIFY(form2().picture() == pictures[Background]);
    }

    // The slot table that skintool reports sizes from agrees with the
    // windows: each slot's box, and the built-in picture made for it.
    void slotSizesMatchTheWindows()
    {
        const auto pictures = previewPictures();
        const std::map<Slot, std::pair<QSize, QSize>> shown = {
            {Slot::PreviewBackground, {form1().window().size(), pictures[Background].size()}},
            {Slot::SelectorBackground, {form2().window().size(), form2().picture().size()}},
            {Slot::Sticker, {form1().Picture1().size(), pictures[Sticker].size()}},
            {Slot::DesktopPanel, {form1().Picture2().size(), pictures[Desktop].size()}},
            {Slot::ScreenSaverPanel, {form1().Picture3().size(), pictures[ScreenSaver].size()}},
            {Slot::AdvancedPanel, {form1().Picture4().size(), pictures[Advanced].size()}},
        };
        QCOMPARE(std::size(SlotSizes), shown.size());
        for (const SlotSize &size : SlotSizes) {
            QCOMPARE(size.box, shown.at(size.slot).first);
            QCOMPARE(size.designed, shown.at(size.slot).second);
        }
    }

    void laterSkinKeepsSlotsItLacks()
    {
        const QString a = makeSkin(QStringLiteral("A"),
                                   {"background.bmp=#a00000", "sticker_background.bmp=#a10000",
                                    "backsettings.bmp=#a20000", "backadvanced_us.bmp=#a30000"});
        const QString b = makeSkin(QStringLiteral("B"),
                                   {"background_us.bmp=#00b000", "backsettings_us.bmp=#00b100",
                                    "sticker_background.bmp=garbage"});
        const auto builtIn = previewPictures();

        ApplySkin(form1(), a);
        compareSlots({"#a00000", "#a10000", "#a20000", "", "#a30000"}, builtIn);
        if (QTest::currentTestFailed())
            return;
        ApplySkin(form1(), b);
        compareSlots({"#00b000", "#a10000", "#00b100", "", "#a30000"}, builtIn);
        if (QTest::currentTestFailed())
            return;

        // The selector's preview, too, keeps an earlier folder's background.
        LoadBackgroundPreview(form2(), a);
        LoadBackgroundPreview(form2(), path(QStringLiteral("nowhere")));
        LoadBackgroundPreview(form2(), makeFolder(QStringLiteral("C")));
        QCOMPARE(form2().picture().pixelColor(0, 0), QColor("#a00000"));
    }

    // The selector's preview reads each file when its folder changes; the
    // decoding may wait until the picture is drawn, but it decodes what the
    // files held at the change, in their loading order.
    void backgroundPreviewReadsTheFilesAtTheChange()
    {
        // Files that all fail to decode leave the built-in picture, even
        // when nothing has drawn it yet.
        const QString broken =
            makeSkin(QStringLiteral("broken"), {"background_us.bmp=garbage", "background.bmp=empty"});
        form2().Dir1().setPath(broken);
        QVERIFY(form2().picture() == form1().picture());

        const QString folder =
            makeSkin(QStringLiteral("skin"), {"background_us.bmp=#00aa00", "background.bmp=garbage"});
        form2().Dir1().setPath(folder);
        writeBmp(QStringLiteral("skin/background.bmp"), QColor("#0000aa"));
        QVERIFY(QFile::remove(folder + QStringLiteral("/background_us.bmp")));
        QCOMPARE(form2().picture().pixelColor(0, 0), QColor("#00aa00"));

        // A folder whose files all fail to decode keeps that picture.
        form2().Dir1().setPath(broken);
        QCOMPARE(form2().picture().pixelColor(0, 0), QColor("#00aa00"));
    }

    // Every apply reads the files anew, including the listing used for names
    // in other letter cases.
    void nothingIsCached()
    {
        const QString folder = makeSkin(QStringLiteral("skin"),
                                        {"background.bmp=#101010", "STICKER_BACKGROUND.BMP=#202020"});
        ApplySkin(form1(), folder);
        LoadBackgroundPreview(form2(), folder);
        QCOMPARE(form1().picture().pixelColor(0, 0), QColor("#101010"));
        QCOMPARE(form1().Picture1().picture().pixelColor(0, 0), QColor("#202020"));
        QCOMPARE(form2().picture().pixelColor(0, 0), QColor("#101010"));

        writeBmp(QStringLiteral("skin/background.bmp"), QColor("#303030"));
        QVERIFY(QFile::remove(folder + QStringLiteral("/STICKER_BACKGROUND.BMP")));
        writeBmp(QStringLiteral("skin/Sticker_background.bmp"), QColor("#404040"));
        ApplySkin(form1(), folder);
        LoadBackgroundPreview(form2(), folder);
        QCOMPARE(form1().picture().pixelColor(0, 0), QColor("#303030"));
        QCOMPARE(form1().Picture1().picture().pixelColor(0, 0), QColor("#404040"));
        QCOMPARE(form2().picture().pixelColor(0, 0), QColor("#303030"));

        // A file that turned bad keeps the last good picture.
        writeFile(QStringLiteral("skin/background.bmp"), "broken");
        ApplySkin(form1(), folder);
        QCOMPARE(form1().picture().pixelColor(0, 0), QColor("#303030"));
    }

    // A picture smaller than its slot is drawn at the top-left corner; the
    // rest shows the slot's own background colour.
    void smallPictureLeavesSlotBackground()
    {
        const QString folder = makeSkin(QStringLiteral("skin"),
                                        {"background.bmp=#ff00ff", "sticker_background.bmp=#00ffff",
                                         "backsettings.bmp=#ffff00"});
        ApplySkin(form1(), folder);

        QWidget &window = form1().window();
        QCOMPARE(pixelAt(window, {1, 1}), QColor("#ff00ff"));
        QCOMPARE(pixelAt(window, {15, 15}), QColor("#ff00ff"));
        QCOMPARE(pixelAt(window, {400, 300}), window.palette().color(QPalette::Window));

        PictureBox &sticker = form1().Picture1();
        QCOMPARE(pixelAt(sticker, {2, 2}), QColor("#00ffff"));
        QCOMPARE(pixelAt(sticker, {100, 200}), sticker.palette().color(QPalette::Active, QPalette::Base));

        PictureBox &panel = form1().Picture2();
        QCOMPARE(pixelAt(panel, {3, 3}), QColor("#ffff00"));
        QCOMPARE(pixelAt(panel, {300, 300}), panel.palette().color(QPalette::Active, QPalette::Base));
    }

    // The steps read a skin through the folder alone, whatever holds it: a
    // folder in memory, nowhere on disk, is read by the same rules, letter
    // case, the "_us" twins and a broken file left out among them.
    void stepsReadAnyKindOfFolder()
    {
        MemoryFolder folder(QStringLiteral("/nowhere/in/memory"),
                            {{QStringLiteral("BACKGROUND.BMP"), bmpOf(QColor("#00a000"), {800, 600})},
                             {QStringLiteral("background_us.bmp"), bmpOf(QColor("#a00000"), {800, 600})},
                             {QStringLiteral("sticker_background.bmp"), QByteArray("BM, but no picture")},
                             {QStringLiteral("backsettings_us.bmp"), bmpOf(QColor("#0000a0"), {16, 16})}});
        const auto before = previewPictures();
        LoadSteps(ApplySkinSteps, folder, form1());
        QCOMPARE(form1().picture().pixelColor(400, 300), QColor("#00a000"));
        QCOMPARE(static_cast<FormWindow &>(form1().window()).pictureSource(),
                 QStringLiteral("/nowhere/in/memory/BACKGROUND.BMP"));
        QVERIFY(form1().Picture1().picture() == before[Sticker]);
        QCOMPARE(form1().Picture2().picture().pixelColor(8, 8), QColor("#0000a0"));
        QVERIFY(form1().Picture3().picture() == before[ScreenSaver]);

        // The selector reads its background now and decodes it when drawn.
        LoadSteps(BackgroundPreviewSteps, folder, form2());
        QCOMPARE(form2().picture().pixelColor(400, 300), QColor("#00a000"));
    }

    // After the steps, a target learns which slots keep their pictures: those
    // none of whose files loaded, with the last of them that is there and
    // does not load; a slot whose twin loads is no such slot.
    void stepsTellWhichSlotsKeepTheirPictures()
    {
        struct Recorder : SlotTarget
        {
            std::map<Slot, QString> keptSlots;
            void put(Slot, const Picture &) override {}
            void kept(Slot slot, const QString &in, const QString &broken) override
            {
                QCOMPARE(in, QStringLiteral("/nowhere"));
                keptSlots[slot] = broken;
            }
        };
        const QString at = QStringLiteral("/nowhere");
        MemoryFolder folder(at, {{QStringLiteral("background_us.bmp"), bmpOf(QColor("#00a000"), {16, 16})},
                                 {QStringLiteral("background.bmp"), QByteArray("BM, broken")},
                                 {QStringLiteral("backsettings_us.bmp"), QByteArray("BM, broken")},
                                 {QStringLiteral("BackSettings.bmp"), QByteArray("BM, broken too")},
                                 {QStringLiteral("backadvanced.bmp"), bmpOf(QColor("#00a000"), {16, 16})}});
        Recorder target;
        LoadSteps(ApplySkinSteps, folder, target);
        const std::map<Slot, QString> kept = {{Slot::Sticker, QString()},
                                              {Slot::DesktopPanel, at + QStringLiteral("/BackSettings.bmp")},
                                              {Slot::ScreenSaverPanel, QString()}};
        QVERIFY(target.keptSlots == kept);
    }

    // A folder text with a trailing "/" still finds the files.
    void folderTextWithTrailingSlash()
    {
        const QString folder = makeSkin(QStringLiteral("skin"), {"Background.BMP=#0a0b0c"});
        ApplySkin(form1(), folder + QLatin1Char('/'));
        QCOMPARE(form1().picture().pixelColor(0, 0), QColor("#0a0b0c"));
    }
    // A skin packed under one top folder (an archive, or the folder unpacked
    // from one) applies from that folder; junk beside it does not count, and
    // a skin file at the root, or two top folders, keep the folder itself.
    void oneTopFolderHoldsTheSkin_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("archive");  // empty: the folder on disk
        QTest::addColumn<QString>("opened");   // below the folder or archive
        QTest::addColumn<QString>("expected"); // the background, empty: as before
        const QStringList underTop = {"Ember/background.bmp=#a00000", "Ember/sticker_background.bmp=#0000a0",
                                      "__MACOSX/Ember/x.txt=garbage", "readme.txt=garbage"};
        for (const char *archive : {"", "skin.zip", "skin.7z", "skin.tar.gz"}) {
            QTest::addRow("under one top folder, %s", *archive ? archive : "on disk")
                << underTop << archive << "" << "#a00000";
        }
        QTest::newRow("at the root") << QStringList{"background.bmp=#00a000"} << "skin.zip" << "" << "#00a000";
        QTest::newRow("root wins over the top folder")
            << QStringList{"sticker_background.bmp=#00a000", "Ember/background.bmp=#a00000"} << "skin.zip" << ""
            << "";
        QTest::newRow("two top folders")
            << QStringList{"Ember/background.bmp=#a00000", "Ash/background.bmp=#00a000"} << "skin.zip" << "" << "";
        QTest::newRow("a top folder without a skin")
            << QStringList{"Ember/readme.txt=garbage", "Ember/Deeper/background.bmp=#a00000"} << "" << "" << "";
        QTest::newRow("a skin of a collection")
            << QStringList{"Ember/background.bmp=#a00000", "Ash/background.bmp=#00a000"} << "skin.7z" << "/Ash"
            << "#00a000";
    }

    void oneTopFolderHoldsTheSkin()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, archive);
        QFETCH(QString, opened);
        QFETCH(QString, expected);
        QString folder = makeSkin(QStringLiteral("skin"), files);
        if (!archive.isEmpty()) {
            QVERIFY(packFolder(folder, path(archive)));
            folder = path(archive);
        }
        const auto before = previewPictures();
        const QImage selectorBefore = form2().picture();
        ApplySkin(form1(), folder + opened);
        LoadBackgroundPreview(form2(), folder + opened);
        if (expected.isEmpty()) {
            QVERIFY(form1().picture() == before[Background]);
            QVERIFY(form2().picture() == selectorBefore);
        } else {
            QCOMPARE(form1().picture().pixelColor(8, 8), QColor(expected));
            QCOMPARE(form2().picture().pixelColor(8, 8), QColor(expected));
        }
    }

    // An applied archive that is replaced: only the slots whose entries
    // changed load again.
    void replacedArchiveReloadsChangedSlotsOnly()
    {
        struct Recorder : SlotTarget
        {
            QList<Slot> loaded;
            void put(Slot slot, const Picture &) override { loaded.append(slot); }
        };
        const QString archive = path(QStringLiteral("skin.zip"));
        QVERIFY(packFolder(makeSkin(QStringLiteral("a"), {"Ember/background.bmp=#a00000", "Ember/sticker_background.bmp=#0000a0"}),
                           archive));
        FollowedSkin followed(ApplySkinSteps);
        followed.start(archive, false);

        Recorder unchanged;
        followed.reload(unchanged, FolderChanges::all());
        QCOMPARE(unchanged.loaded, QList<Slot>{});

        QVERIFY(packFolder(makeSkin(QStringLiteral("b"), {"Ember/background.bmp=#a00000", "Ember/sticker_background.bmp=#00a000"}),
                           path(QStringLiteral("b.zip"))));
        QVERIFY(QFile::remove(archive));
        QVERIFY(QFile::rename(path(QStringLiteral("b.zip")), archive));
        Recorder replaced;
        followed.reload(replaced, FolderChanges::all());
        QCOMPARE(replaced.loaded, QList<Slot>{Slot::Sticker});
    }
};

QTEST_MAIN(SkinTest)
#include "skin_test.moc"
