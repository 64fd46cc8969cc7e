#include "pictures.h"
#include "widgets.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainterPath>

namespace {


void begin(QPainter& p, QImage& img)
{
    p.begin(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
}

void sidebarFill(QPainter& p, const Theme& t)
{
    QLinearGradient g(0, 0, 0, geo::windowH);
    g.setColorAt(0, t.sidebarTop);
    g.setColorAt(1, t.sidebarBottom);
    p.fillRect(QRect(0, 0, geo::contentX, geo::windowH), g);
    p.fillRect(QRect(geo::contentX - 1, 0, 1, geo::windowH), t.sidebarEdge);
}

void logo(QPainter& p, const Theme& t)
{
    // The logo's hot spot is the box 13, 13, 166 x 31.
    logoMark(p, t, QRectF(14, 14, 29, 29));
    const QFont f = uiFont(18, true);
    const QString first = QStringLiteral("skin");
    const qreal firstW = QFontMetricsF(f).horizontalAdvance(first);
    text(p, QRectF(52, 13, 120, 31), first, t.logoText, 18, true);
    text(p, QRectF(52 + firstW, 13, 120, 31), QStringLiteral("preview"), t.logoAccent, 18, true);
}

void menuPlate(QPainter& p, const Theme& t)
{
    // Labels are drawn by the program at x 35, y 49 + 30 i, 19 px high; the
    // plate keeps the area behind them light and plain.
    p.setPen(QPen(t.plateBorder, 1));
    p.setBrush(t.plate);
    p.drawRoundedRect(QRectF(8.5, 45.5, 166, 179), t.radius, t.radius);
    for (int i = 0; i < geo::menuCount; ++i) {
        const int y = geo::menuY0 + geo::menuStep * i;
        if (i > 0)
            p.fillRect(QRect(18, y - 6, 147, 1), t.plateLine);
        bullet(p, t, QPointF(22.5, y + 9.5));
    }
}

// Content area of the window; the selector and every panel share it.
void contentFill(QPainter& p, const Theme& t, int bandHeight)
{
    const QRect area(geo::contentX, 0, geo::windowW - geo::contentX, geo::windowH);
    p.fillRect(area, t.content);
    if (bandHeight > 0)
        p.fillRect(QRect(area.x(), 0, area.width(), bandHeight), t.band);
    // Stars stay right of a panel's title and clear of the close glyph.
    if (t.scene == Scene::Night && bandHeight > 0) {
        const int left = bandHeight > 40 ? 400 : 10;
        stars(p, QRectF(area.x() + left, 3, area.width() - left - 40, bandHeight - 6),
              bandHeight / 2, 3);
    }
}

void meadowHills(QPainter& p, const Theme& t)
{
    // Two faint hills below the selector's path box.
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 2; ++i) {
        QColor c = t.hill[i];
        c.setAlpha(i ? 60 : 40);
        QPainterPath h;
        const qreal y = 578 + 8 * i;
        h.moveTo(geo::contentX, 600);
        h.lineTo(geo::contentX, y);
        h.cubicTo(340, y - 18 + 10 * i, 520, y + 12, 640, y - 6);
        h.cubicTo(720, y - 14, 770, y - 4, 800, y - 8);
        h.lineTo(800, 600);
        p.setBrush(c);
        p.drawPath(h);
    }
}

void chrome(QPainter& p, const Theme& t)
{
    closeGlyph(p, t);
    sizeGrip(p, t);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(t.frame);
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(0, 0, geo::windowW - 1, geo::windowH - 1));
    p.setRenderHint(QPainter::Antialiasing, true);
}

// ---- settings pages, in panel coordinates ----------------------------------

void miniDesktop(QPainter& p, const Theme& t, QRectF r)
{
    QPainterPath clip;
    clip.addRoundedRect(r, 6, 6);
    p.save();
    p.setClipPath(clip);
    scene(p, t, r);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 210));
    for (int i = 0; i < 3; ++i)
        p.drawRoundedRect(QRectF(r.x() + 8, r.y() + 8 + 16 * i, 10, 10), 2, 2);
    p.fillRect(QRectF(r.x(), r.bottom() - 12, r.width(), 12), QColor(20, 26, 36, 200));
    p.setBrush(t.accent);
    p.drawRoundedRect(QRectF(r.x() + 5, r.bottom() - 9, 14, 6), 2, 2);
    p.restore();
    p.setPen(QPen(t.cardBorder, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(-0.5, -0.5, 0.5, 0.5), 6, 6);
}

void desktopPage(QPainter& p, const Theme& t)
{
    card(p, t, QRectF(24, 100, 567, 196), QStringLiteral("Wallpaper"));
    miniDesktop(p, t, QRectF(44, 146, 180, 124));
    dropDown(p, t, QRectF(250, 168, 200, 30), QStringLiteral("Picture position"),
             QStringLiteral("Fill the screen"));
    radio(p, t, QPointF(250, 214), true, QStringLiteral("Picture"));
    radio(p, t, QPointF(345, 214), false, QStringLiteral("Solid colour"));
    radio(p, t, QPointF(470, 214), false, QStringLiteral("Slideshow"));
    const QColor swatches[] = {t.accent, t.warm, t.hill[1], t.skyTop, QColor(0x8A94A6),
                               QColor(0x2E3440)};
    for (int i = 0; i < 6; ++i) {
        p.setPen(i == 0 ? QPen(t.text, 1.5) : QPen(Qt::NoPen));
        p.setBrush(swatches[i]);
        p.drawEllipse(QPointF(259 + 28 * i, 258), 9, 9);
    }

    card(p, t, QRectF(24, 310, 278, 222), QStringLiteral("Icons"));
    checkBox(p, t, QPointF(44, 354), true, QStringLiteral("Show desktop icons"));
    checkBox(p, t, QPointF(44, 384), true, QStringLiteral("Align icons to grid"));
    checkBox(p, t, QPointF(44, 414), false, QStringLiteral("Use large icons"));
    slider(p, t, QRectF(44, 454, 238, 0), 0.45, QStringLiteral("Icon spacing"),
           QStringLiteral("Normal"));

    card(p, t, QRectF(313, 310, 278, 222), QStringLiteral("Windows"));
    checkBox(p, t, QPointF(333, 354), true, QStringLiteral("Animate windows"));
    checkBox(p, t, QPointF(333, 384), false, QStringLiteral("Show contents while dragging"));
    dropDown(p, t, QRectF(333, 436, 238, 28), QStringLiteral("Accent colour"),
             QStringLiteral("Match the skin"));
    slider(p, t, QRectF(333, 476, 238, 0), 0.3, QStringLiteral("Transparency"),
           QStringLiteral("30 %"));
}

void screenSaverPage(QPainter& p, const Theme& t)
{
    card(p, t, QRectF(24, 100, 567, 214), QStringLiteral("Screen saver"));
    // a small monitor showing the selected screen saver
    const QRectF screen(54, 152, 168, 104);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2A303C));
    p.drawRoundedRect(screen.adjusted(-7, -7, 7, 7), 7, 7);
    QPainterPath stand;
    stand.moveTo(124, 263);
    stand.lineTo(152, 263);
    stand.lineTo(158, 286);
    stand.lineTo(118, 286);
    stand.closeSubpath();
    p.drawPath(stand);
    p.drawRoundedRect(QRectF(102, 284, 72, 6), 3, 3);
    QLinearGradient deep(screen.topLeft(), screen.bottomLeft());
    deep.setColorAt(0, QColor(0x121A33));
    deep.setColorAt(1, QColor(0x243056));
    p.fillRect(screen, deep);
    const QColor bubbleColours[] = {t.accent, t.warm, t.hill[1], t.accentSoft};
    const qreal bubbles[][3] = {{0.2, 0.3, 16}, {0.55, 0.62, 24}, {0.8, 0.25, 12},
                                {0.35, 0.8, 10}, {0.88, 0.75, 9}, {0.62, 0.18, 7}};
    for (int i = 0; i < 6; ++i) {
        QColor c = bubbleColours[i % 4];
        c.setAlpha(190);
        p.setBrush(c);
        p.drawEllipse(QPointF(screen.x() + bubbles[i][0] * screen.width(),
                              screen.y() + bubbles[i][1] * screen.height()),
                      bubbles[i][2], bubbles[i][2]);
    }

    dropDown(p, t, QRectF(258, 168, 210, 30), QStringLiteral("Screen saver"),
             QStringLiteral("Floating bubbles"));
    button(p, t, QRectF(478, 168, 93, 30), QStringLiteral("Preview"), false);
    slider(p, t, QRectF(258, 220, 313, 0), 0.25, QStringLiteral("Start after"),
           QStringLiteral("10 minutes"));
    button(p, t, QRectF(258, 268, 110, 28), QStringLiteral("Settings..."), false);

    card(p, t, QRectF(24, 328, 567, 106), QStringLiteral("Options"));
    checkBox(p, t, QPointF(44, 372), true, QStringLiteral("Ask for password on resume"));
    checkBox(p, t, QPointF(44, 402), false, QStringLiteral("Mute sounds"));
    checkBox(p, t, QPointF(313, 372), true, QStringLiteral("Show a clock"));
    checkBox(p, t, QPointF(313, 402), false, QStringLiteral("Random order"));

    card(p, t, QRectF(24, 448, 567, 84), QStringLiteral("Energy saving"));
    text(p, QRectF(44, 490, 200, 24), QStringLiteral("Turn the display off:"), t.muted, 13);
    radio(p, t, QPointF(200, 494), false, QStringLiteral("after 15 min"));
    radio(p, t, QPointF(320, 494), true, QStringLiteral("after 30 min"));
    radio(p, t, QPointF(440, 494), false, QStringLiteral("never"));
}

void advancedPage(QPainter& p, const Theme& t)
{
    card(p, t, QRectF(24, 100, 278, 214), QStringLiteral("Performance"));
    radio(p, t, QPointF(44, 144), false, QStringLiteral("Best appearance"));
    radio(p, t, QPointF(44, 174), true, QStringLiteral("Balanced"));
    radio(p, t, QPointF(44, 204), false, QStringLiteral("Best performance"));
    p.fillRect(QRectF(44, 238, 238, 1), t.cardBorder);
    checkBox(p, t, QPointF(44, 252), true, QStringLiteral("Hardware acceleration"));
    checkBox(p, t, QPointF(44, 280), false, QStringLiteral("Reduce motion"));

    card(p, t, QRectF(313, 100, 278, 214), QStringLiteral("Text rendering"));
    const QRectF sample(333, 142, 238, 84);
    p.setPen(QPen(t.cardBorder, 1));
    p.setBrush(t.content);
    p.drawRoundedRect(sample.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    text(p, QRectF(347, 146, 70, 76), QStringLiteral("Aa"), t.accent, 40, true);
    text(p, QRectF(425, 158, 140, 20), QStringLiteral("Smooth text"), t.text, 14, true);
    text(p, QRectF(425, 180, 140, 34), QStringLiteral("The quick brown fox\njumps over the dog."),
         t.muted, 11, false, Qt::AlignLeft | Qt::AlignTop);
    checkBox(p, t, QPointF(333, 240), true, QStringLiteral("Smooth edges of fonts"));
    slider(p, t, QRectF(333, 266, 238, 0), 0.6, QStringLiteral("Contrast"), QStringLiteral("60"));

    card(p, t, QRectF(24, 328, 567, 204), QStringLiteral("Skin cache and startup"));
    slider(p, t, QRectF(44, 370, 300, 0), 0.35, QStringLiteral("Cache size"),
           QStringLiteral("64 MB"));
    button(p, t, QRectF(366, 386, 110, 30), QStringLiteral("Clear cache"), false);
    checkBox(p, t, QPointF(44, 434), false, QStringLiteral("Start with the system"));
    checkBox(p, t, QPointF(44, 464), true, QStringLiteral("Remember the last skin"));
    checkBox(p, t, QPointF(44, 494), true, QStringLiteral("Check for new skins"));
    dropDown(p, t, QRectF(366, 460, 205, 30), QStringLiteral("Language"),
             QStringLiteral("English"));
}

} // namespace

QImage paintBackground(const Theme& t)
{
    QImage img(geo::windowW, geo::windowH, QImage::Format_RGB32);
    QPainter p;
    begin(p, img);
    sidebarFill(p, t);
    logo(p, t);
    menuPlate(p, t);
    contentFill(p, t, t.bandHeight);
    if (t.scene == Scene::Meadow)
        meadowHills(p, t);
    chrome(p, t);
    return img;
}

QImage paintSticker(const Theme& t, QSize size)
{
    QImage img(size, QImage::Format_RGB32);
    QPainter p;
    begin(p, img);
    p.translate(-geo::stickerX, -geo::stickerY);
    sidebarFill(p, t);
    p.resetTransform();

    // Only the top 357 rows show; the poster stays inside them.
    const QRectF poster(3, 2, 167, 351);
    QPainterPath shape;
    shape.addRoundedRect(poster, 10, 10);
    p.save();
    p.setClipPath(shape);
    scene(p, t, poster);
    text(p, QRectF(16, 20, 150, 28), t.posterTitle, t.posterText, 21, true);
    text(p, QRectF(16, 48, 150, 20), t.posterSubtitle, t.posterText, 12);
    const QRectF pill(16, 314, 141, 26);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 225));
    p.drawRoundedRect(pill, 13, 13);
    p.setBrush(t.accent);
    p.drawEllipse(QPointF(pill.x() + 14, pill.center().y()), 4, 4);
    text(p, pill.adjusted(26, 0, -8, 0), t.posterCaption, QColor(0x222833), 12, true);
    p.restore();
    p.setPen(QPen(t.plateBorder, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);
    return img;
}

QImage paintPanel(const Theme& t, Page page, QSize size)
{
    static const QString titles[] = {QStringLiteral("Desktop settings"),
                                     QStringLiteral("ScreenSaver settings"),
                                     QStringLiteral("Advanced settings")};
    static const QString notes[] = {
        QStringLiteral("Wallpaper, icons and how windows behave on the desktop."),
        QStringLiteral("Choose what shows when the computer is idle."),
        QStringLiteral("Performance, text rendering, cache and startup options.")};
    const int index = int(page);

    QImage img(size, QImage::Format_RGB32);
    QPainter p;
    begin(p, img);
    p.translate(-geo::contentX, 0);
    const bool banded = t.bandHeight > 10;
    contentFill(p, t, banded ? 84 : t.bandHeight);
    if (t.scene == Scene::Meadow)
        meadowHills(p, t);
    p.resetTransform();

    const QColor titleColour = banded ? t.onBand : t.text;
    QColor noteColour = banded ? t.onBand : t.muted;
    if (banded)
        noteColour.setAlpha(180);
    text(p, QRectF(28, 20, 540, 32), titles[index], titleColour, 24, true);
    text(p, QRectF(28, 52, 540, 20), notes[index], noteColour, 13);
    if (!banded)
        p.fillRect(QRect(24, 84, 567, 1), t.cardBorder);

    switch (page) {
    case Page::Desktop: desktopPage(p, t); break;
    case Page::ScreenSaver: screenSaverPage(p, t); break;
    case Page::Advanced: advancedPage(p, t); break;
    }
    if (page == Page::Advanced)
        button(p, t, QRectF(24, 548, 140, 32), QStringLiteral("Restore defaults"), false);
    button(p, t, QRectF(391, 548, 96, 32), QStringLiteral("Cancel"), false);
    button(p, t, QRectF(495, 548, 96, 32), QStringLiteral("Apply"), true);

    p.translate(-geo::contentX, 0);
    chrome(p, t);
    return img;
}

QImage paintIcon(const Theme& t, int size, bool transparent)
{
    QImage img(size, size,
               transparent ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    img.fill(transparent ? QColor(Qt::transparent) : QColor(Qt::white));
    QPainter p;
    begin(p, img);
    const qreal margin = size / 32.0;
    logoMark(p, t, QRectF(margin, margin, size - 2 * margin, size - 2 * margin));
    return img;
}
