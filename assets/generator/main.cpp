// Writes the built-in pictures, the icon and the sample skins.
//
//   make-assets ROOT     (ROOT = repository root; needs QT_QPA_PLATFORM=offscreen
//                         when no display is available)
//
// Every BMP is written as a 24-bit uncompressed bottom-up BMP and read back to
// check the header and the pixels.

#include "pictures.h"
#include "widgets.h"

#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QGuiApplication>
#include <QtEndian>

#include <cstdio>
#include <stdexcept>

namespace {

Theme cleanTheme()
{
    Theme t;
    t.frame = QColor(0x2B3440);
    t.sidebarTop = QColor(0xEEF1F6);
    t.sidebarBottom = QColor(0xE6EAF1);
    t.sidebarEdge = QColor(0xD3D9E2);
    t.logoText = QColor(0x1E2733);
    t.logoAccent = QColor(0x2F6FDE);
    t.plate = QColor(0xFFFFFF);
    t.plateBorder = QColor(0xD8DEE7);
    t.plateLine = QColor(0xEEF1F5);
    t.bullet = QColor(0x2F6FDE);
    t.content = QColor(0xF7F8FA);
    t.band = QColor(0x2F6FDE);
    t.bandHeight = 0;
    t.onBand = QColor(0xFFFFFF);
    t.accent = QColor(0x2F6FDE);
    t.accentSoft = QColor(0x9EC1F7);
    t.warm = QColor(0xF59E4C);
    t.text = QColor(0x1E2733);
    t.muted = QColor(0x667085);
    t.card = QColor(0xFFFFFF);
    t.cardBorder = QColor(0xE0E4EA);
    t.control = QColor(0xFFFFFF);
    t.controlBorder = QColor(0xB5BECB);
    t.track = QColor(0xDDE2E9);
    t.closeFill = QColor(0xFFFFFF);
    t.closeBorder = QColor(0xC3CAD5);
    t.closeCross = QColor(0x3A4452);
    t.grip = QColor(0x9AA4B2);
    t.radius = 8;
    t.scene = Scene::Mountains;
    t.skyTop = QColor(0x6FA8F5);
    t.skyBottom = QColor(0xFCE3CC);
    t.sun = QColor(0xFFF4DC);
    t.hill[0] = QColor(0x7D9CCB);
    t.hill[1] = QColor(0x4F74AE);
    t.hill[2] = QColor(0x2E4C80);
    t.posterText = QColor(0xFFFFFF);
    t.posterTitle = QStringLiteral("Make it yours");
    t.posterSubtitle = QStringLiteral("Try a skin in seconds");
    t.posterCaption = QStringLiteral("Built-in skin");
    t.markTop = QColor(0x4A86EE);
    t.markBottom = QColor(0x2456C4);
    t.markBar = QColor(0xBFD5FA);
    t.markHandle = QColor(0x33405A);
    return t;
}

Theme midnightTheme()
{
    Theme t = cleanTheme();
    t.frame = QColor(0x0A0F1D);
    t.sidebarTop = QColor(0x1B2440);
    t.sidebarBottom = QColor(0x0F1528);
    t.sidebarEdge = QColor(0x0A0F1D);
    t.logoText = QColor(0xF1F4FA);
    t.logoAccent = QColor(0x9DB2FF);
    t.plate = QColor(0xE6EAF4);
    t.plateBorder = QColor(0x3A4670);
    t.plateLine = QColor(0xD3D9E8);
    t.bullet = QColor(0x4D66D9);
    t.bulletShape = BulletShape::Diamond;
    t.content = QColor(0xE9EDF5);
    t.band = QColor(0x1B2440);
    t.bandHeight = 30;
    t.onBand = QColor(0xF1F4FA);
    t.accent = QColor(0x4D66D9);
    t.accentSoft = QColor(0xA9B8F5);
    t.warm = QColor(0xF2C94C);
    t.text = QColor(0x161D33);
    t.muted = QColor(0x58617A);
    t.card = QColor(0xF8F9FD);
    t.cardBorder = QColor(0xCCD3E4);
    t.controlBorder = QColor(0xA3ADC6);
    t.track = QColor(0xD4DAEA);
    t.closeFill = QColor(0x2C3760);
    t.closeBorder = QColor(0x46538A);
    t.closeCross = QColor(0xF1F4FA);
    t.grip = QColor(0x7F8AA8);
    t.radius = 4;
    t.scene = Scene::Night;
    t.skyTop = QColor(0x0B1130);
    t.skyBottom = QColor(0x34427A);
    t.sun = QColor(0xF6F0D2);
    t.hill[0] = QColor(0x2A3766);
    t.hill[1] = QColor(0x1C2850);
    t.hill[2] = QColor(0x111A36);
    t.posterTitle = QStringLiteral("Night owl");
    t.posterSubtitle = QStringLiteral("Calm colours after dark");
    t.posterCaption = QStringLiteral("Midnight skin");
    t.markTop = QColor(0x6A7FE6);
    t.markBottom = QColor(0x3345A8);
    t.markBar = QColor(0xC9D2FA);
    t.markHandle = QColor(0x1B2440);
    return t;
}

Theme meadowTheme()
{
    Theme t = cleanTheme();
    t.frame = QColor(0x4A5E32);
    t.sidebarTop = QColor(0xF6EFDB);
    t.sidebarBottom = QColor(0xEDE2C3);
    t.sidebarEdge = QColor(0xD8C9A0);
    t.logoText = QColor(0x3A4728);
    t.logoAccent = QColor(0x4F8A3A);
    t.plate = QColor(0xFFFDF6);
    t.plateBorder = QColor(0xE0D3AE);
    t.plateLine = QColor(0xF2EBD7);
    t.bullet = QColor(0x5E9B45);
    t.bulletShape = BulletShape::Leaf;
    t.content = QColor(0xFCF9F0);
    t.band = QColor(Qt::transparent);
    t.bandHeight = 0;
    t.accent = QColor(0x4F8A3A);
    t.accentSoft = QColor(0xB7D59C);
    t.warm = QColor(0xE8873A);
    t.text = QColor(0x2E3523);
    t.muted = QColor(0x74705C);
    t.card = QColor(0xFFFEFA);
    t.cardBorder = QColor(0xE7DDC3);
    t.control = QColor(0xFFFFFF);
    t.controlBorder = QColor(0xC4B995);
    t.track = QColor(0xEAE2CB);
    t.closeFill = QColor(0xDD7444);
    t.closeBorder = QColor(0xC9653A);
    t.closeCross = QColor(0xFFFFFF);
    t.closeRound = true;
    t.grip = QColor(0xB3A57C);
    t.radius = 12;
    t.scene = Scene::Meadow;
    t.skyTop = QColor(0xFFC98A);
    t.skyBottom = QColor(0xFFF1D6);
    t.sun = QColor(0xFF9F43);
    t.hill[0] = QColor(0xB5D17F);
    t.hill[1] = QColor(0x86B456);
    t.hill[2] = QColor(0x5A8E3A);
    t.posterText = QColor(0x3A3020);
    t.posterTitle = QStringLiteral("Fresh air");
    t.posterSubtitle = QStringLiteral("Warm light, green hills");
    t.posterCaption = QStringLiteral("Meadow skin");
    t.markTop = QColor(0x74B04F);
    t.markBottom = QColor(0x3F7A2C);
    t.markBar = QColor(0xD6EBC4);
    t.markHandle = QColor(0x5B4630);
    return t;
}

quint32 u32(const QByteArray& b, int at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

quint16 u16(const QByteArray& b, int at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}

void fail(const QString& path, const char* what)
{
    throw std::runtime_error((path + QStringLiteral(": ") + QLatin1String(what)).toStdString());
}

// Saves img as a 24-bit uncompressed BMP and checks the result byte by byte.
void saveBmp(QImage img, const QString& path)
{
    img = img.convertToFormat(QImage::Format_RGB32);
    img.setDotsPerMeterX(3780); // 96 dpi, fixed so the header never varies
    img.setDotsPerMeterY(3780);
    if (!img.save(path, "BMP"))
        fail(path, "cannot write");

    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        fail(path, "cannot read back");
    const QByteArray b = f.readAll();
    const qint64 stride = (qint64(img.width()) * 3 + 3) / 4 * 4;
    if (b.size() < 54 || !b.startsWith("BM"))
        fail(path, "not a BMP");
    if (u32(b, 2) != quint32(b.size()) || u32(b, 10) != 54 || u32(b, 14) != 40)
        fail(path, "unexpected header layout (want BITMAPINFOHEADER, pixels at 54)");
    if (qint32(u32(b, 18)) != img.width() || qint32(u32(b, 22)) != img.height())
        fail(path, "wrong size or not bottom-up");
    if (u16(b, 26) != 1 || u16(b, 28) != 24 || u32(b, 30) != 0)
        fail(path, "not 24-bit uncompressed");
    if (b.size() != 54 + stride * img.height())
        fail(path, "pixel data size does not match padded rows");
    // Bottom-up rows in B, G, R order.
    for (int y = 0; y < img.height(); ++y) {
        const auto* row = reinterpret_cast<const uchar*>(b.constData()) + 54
                          + stride * (img.height() - 1 - y);
        const auto* src = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if (row[3 * x] != qBlue(src[x]) || row[3 * x + 1] != qGreen(src[x])
                || row[3 * x + 2] != qRed(src[x]))
                fail(path, "pixels differ from the drawing");
    }
    std::printf("%s %dx%d\n", qPrintable(path), img.width(), img.height());
}

void savePng(const QImage& img, const QString& path)
{
    if (!img.save(path, "PNG"))
        fail(path, "cannot write");
    std::printf("%s %dx%d\n", qPrintable(path), img.width(), img.height());
}

struct SkinNames {
    QString background, sticker, desktop, screenSaver, advanced;
};

void writeSample(const Theme& t, const QString& dir, const SkinNames& n)
{
    if (!QDir().mkpath(dir))
        fail(dir, "cannot create folder");
    const QSize panel(615, 599);
    saveBmp(paintBackground(t), dir + n.background);
    saveBmp(paintSticker(t, QSize(178, 357)), dir + n.sticker);
    saveBmp(paintPanel(t, Page::Desktop, panel), dir + n.desktop);
    saveBmp(paintPanel(t, Page::ScreenSaver, panel), dir + n.screenSaver);
    saveBmp(paintPanel(t, Page::Advanced, panel), dir + n.advanced);
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s REPOSITORY_ROOT\n", argv[0]);
        return 2;
    }
    const QString family = QFontInfo(uiFont(13)).family();
    if (family != QLatin1String("Liberation Sans")) {
        std::fprintf(stderr, "font Liberation Sans not found (got %s); install fonts-liberation\n",
                     qPrintable(family));
        return 1;
    }
    try {
        const QString root = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
        const QString assets = root + QStringLiteral("assets/");
        const Theme clean = cleanTheme();
        // Built-in panels are one column and one row larger than what shows.
        const QSize panel(616, 600);
        saveBmp(paintBackground(clean), assets + QStringLiteral("background.bmp"));
        saveBmp(paintSticker(clean, QSize(178, 361)), assets + QStringLiteral("sticker.bmp"));
        saveBmp(paintPanel(clean, Page::Desktop, panel),
                assets + QStringLiteral("desktop_settings.bmp"));
        saveBmp(paintPanel(clean, Page::ScreenSaver, panel),
                assets + QStringLiteral("screensaver_settings.bmp"));
        saveBmp(paintPanel(clean, Page::Advanced, panel),
                assets + QStringLiteral("advanced_settings.bmp"));
        // The window icon (white corners, inside the binary) and the icons
        // installed for the desktop (transparent corners) are one drawing.
        saveBmp(paintIcon(clean, 64, false), assets + QStringLiteral("icon.bmp"));
        savePng(paintIcon(clean, 64, true), assets + QStringLiteral("icon-64.png"));
        savePng(paintIcon(clean, 128, true), assets + QStringLiteral("icon-128.png"));
        savePng(paintIcon(clean, 256, true), assets + QStringLiteral("icon-256.png"));

        const QString skins = root + QStringLiteral("samples/skins/");
        writeSample(midnightTheme(), skins + QStringLiteral("Midnight/"),
                    {QStringLiteral("background.bmp"), QStringLiteral("sticker_background.bmp"),
                     QStringLiteral("backsettings.bmp"), QStringLiteral("backscreensaver.bmp"),
                     QStringLiteral("backadvanced.bmp")});
        writeSample(meadowTheme(), skins + QStringLiteral("Meadow/"),
                    {QStringLiteral("background_us.bmp"), QStringLiteral("sticker_background.bmp"),
                     QStringLiteral("backsettings_us.bmp"), QStringLiteral("backscreensaver.bmp"),
                     QStringLiteral("backadvanced_us.bmp")});
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-assets: %s\n", e.what());
        return 1;
    }
    return 0;
}
