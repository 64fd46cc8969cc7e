#include "widgets.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>

QFont uiFont(int px, bool bold)
{
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(px);
    f.setBold(bold);
    return f;
}

void text(QPainter& p, const QRectF& r, const QString& s, const QColor& c, int px, bool bold,
          int flags)
{
    p.setFont(uiFont(px, bold));
    p.setPen(c);
    p.drawText(r, flags, s);
}

static QPen roundPen(const QColor& c, qreal w)
{
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void checkBox(QPainter& p, const Theme& t, QPointF at, bool on, const QString& label)
{
    p.setPen(QPen(on ? t.accent : t.controlBorder, 1));
    p.setBrush(on ? t.accent : t.control);
    p.drawRoundedRect(QRectF(at.x() + 0.5, at.y() + 0.5, 15, 15), 3.5, 3.5);
    if (on) {
        QPainterPath tick;
        tick.moveTo(at + QPointF(4.5, 8.5));
        tick.lineTo(at + QPointF(7, 11));
        tick.lineTo(at + QPointF(11.5, 5.5));
        p.setPen(roundPen(Qt::white, 2));
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    }
    text(p, QRectF(at.x() + 25, at.y() - 4, 300, 24), label, t.text, 13);
}

void radio(QPainter& p, const Theme& t, QPointF at, bool on, const QString& label)
{
    const QPointF c = at + QPointF(8, 8);
    p.setPen(QPen(on ? t.accent : t.controlBorder, on ? 1.5 : 1));
    p.setBrush(t.control);
    p.drawEllipse(c, 7.5, 7.5);
    if (on) {
        p.setPen(Qt::NoPen);
        p.setBrush(t.accent);
        p.drawEllipse(c, 4, 4);
    }
    text(p, QRectF(at.x() + 25, at.y() - 4, 300, 24), label, t.text, 13);
}

void slider(QPainter& p, const Theme& t, QRectF r, qreal frac, const QString& label,
            const QString& value)
{
    const QRectF row(r.x(), r.y(), r.width(), 18);
    text(p, row, label, t.text, 13);
    text(p, row, value, t.muted, 12, false, Qt::AlignRight | Qt::AlignVCenter);
    const qreal y = r.y() + 32;
    const qreal knob = r.x() + 8 + (r.width() - 16) * frac;
    p.setPen(Qt::NoPen);
    p.setBrush(t.track);
    p.drawRoundedRect(QRectF(r.x(), y - 2, r.width(), 4), 2, 2);
    p.setBrush(t.accent);
    p.drawRoundedRect(QRectF(r.x(), y - 2, knob - r.x(), 4), 2, 2);
    p.setPen(QPen(t.accent, 2));
    p.setBrush(t.control);
    p.drawEllipse(QPointF(knob, y), 7, 7);
}

void dropDown(QPainter& p, const Theme& t, QRectF r, const QString& label, const QString& value)
{
    if (!label.isEmpty())
        text(p, QRectF(r.x(), r.y() - 22, r.width(), 18), label, t.text, 13);
    p.setPen(QPen(t.controlBorder, 1));
    p.setBrush(t.control);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    text(p, r.adjusted(10, 0, -30, 0), value, t.text, 13);
    const QPointF c(r.right() - 15, r.center().y());
    QPainterPath v;
    v.moveTo(c + QPointF(-4, -2));
    v.lineTo(c + QPointF(0, 2));
    v.lineTo(c + QPointF(4, -2));
    p.setPen(roundPen(t.muted, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawPath(v);
}

void button(QPainter& p, const Theme& t, QRectF r, const QString& s, bool primary)
{
    p.setPen(primary ? QPen(Qt::NoPen) : QPen(t.controlBorder, 1));
    p.setBrush(primary ? t.accent : t.control);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    text(p, r, s, primary ? QColor(Qt::white) : t.text, 13, true, Qt::AlignCenter);
}

void card(QPainter& p, const Theme& t, QRectF r, const QString& title)
{
    p.setPen(QPen(t.cardBorder, 1));
    p.setBrush(t.card);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), t.radius, t.radius);
    p.setPen(Qt::NoPen);
    p.setBrush(t.accent);
    p.drawRoundedRect(QRectF(r.x() + 16, r.y() + 15, 3, 16), 1.5, 1.5);
    text(p, QRectF(r.x() + 26, r.y() + 13, r.width() - 40, 20), title, t.text, 14, true);
}

void bullet(QPainter& p, const Theme& t, QPointF c)
{
    p.setPen(Qt::NoPen);
    p.setBrush(t.bullet);
    QPainterPath s;
    switch (t.bulletShape) {
    case BulletShape::Dot:
        s.addEllipse(c, 3, 3);
        break;
    case BulletShape::Diamond:
        s.moveTo(c + QPointF(0, -4));
        s.lineTo(c + QPointF(4, 0));
        s.lineTo(c + QPointF(0, 4));
        s.lineTo(c + QPointF(-4, 0));
        s.closeSubpath();
        break;
    case BulletShape::Leaf:
        s.moveTo(c + QPointF(-5, 2));
        s.quadTo(c + QPointF(-3, -5), c + QPointF(5, -3));
        s.quadTo(c + QPointF(3, 4), c + QPointF(-5, 2));
        break;
    }
    p.drawPath(s);
}

void closeGlyph(QPainter& p, const Theme& t)
{
    // 13 x 13 px at x 785..797, y 3..15: inside the close hot spots of both
    // the window and the selector; panels draw it at panel x 601..613.
    const QRectF box(785.5, 3.5, 12, 12);
    p.setPen(QPen(t.closeBorder, 1));
    p.setBrush(t.closeFill);
    if (t.closeRound)
        p.drawEllipse(box);
    else
        p.drawRoundedRect(box, 3, 3);
    const QPointF c = box.center();
    p.setPen(roundPen(t.closeCross, 1.6));
    p.drawLine(c + QPointF(-2.5, -2.5), c + QPointF(2.5, 2.5));
    p.drawLine(c + QPointF(-2.5, 2.5), c + QPointF(2.5, -2.5));
}

void sizeGrip(QPainter& p, const Theme& t)
{
    p.setPen(Qt::NoPen);
    p.setBrush(t.grip);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            if (row + col >= 2)
                p.drawRect(QRectF(787 + 4 * col, 587 + 4 * row, 2, 2));
}

void logoMark(QPainter& p, const Theme& t, QRectF r)
{
    // Drawn in a 100 x 100 box scaled to r: a small window on a rounded
    // tile, with a paint brush laying a stroke of colour across it.
    p.save();
    p.translate(r.topLeft());
    p.scale(r.width() / 100.0, r.height() / 100.0);
    QLinearGradient tile(0, 0, 0, 100);
    tile.setColorAt(0, t.markTop);
    tile.setColorAt(1, t.markBottom);
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(0, 0, 100, 100), 22, 22);

    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(14, 18, 62, 52), 7, 7);
    p.setBrush(t.markBar);
    p.drawRoundedRect(QRectF(14, 18, 62, 15), 7, 7);
    p.drawRect(QRectF(14, 26, 62, 7));

    QPainterPath stroke;
    stroke.moveTo(23, 58);
    stroke.cubicTo(31, 44, 39, 62, 51, 47);
    p.setPen(roundPen(t.warm, 9));
    p.setBrush(Qt::NoBrush);
    p.drawPath(stroke);

    p.translate(52, 46);
    p.rotate(45);
    QPainterPath tip;
    tip.moveTo(-3, 0);
    tip.cubicTo(4, -3, 9, -8, 17, -8);
    tip.lineTo(17, 8);
    tip.cubicTo(9, 8, 4, 3, -3, 0);
    QPainterPath brush = tip;
    brush.addRect(QRectF(17, -8, 10, 16));
    brush.addRoundedRect(QRectF(27, -6, 28, 12), 6, 6);
    p.setPen(roundPen(t.markBottom, 7));
    p.drawPath(brush.simplified());
    p.setPen(Qt::NoPen);
    p.setBrush(t.markHandle);
    p.drawRoundedRect(QRectF(25, -6, 30, 12), 6, 6);
    p.setBrush(QColor(0xD9DEE6));
    p.drawRect(QRectF(16, -8, 11, 16));
    p.setBrush(t.warm);
    p.drawPath(tip);
    p.restore();
}

void stars(QPainter& p, QRectF r, int count, quint32 seed)
{
    Lcg rng{seed};
    p.setPen(Qt::NoPen);
    for (int i = 0; i < count; ++i) {
        const QPointF c(r.x() + rng.unit() * r.width(), r.y() + rng.unit() * r.height());
        const qreal size = 0.5 + rng.unit() * 0.9;
        p.setBrush(QColor(255, 255, 255, 90 + int(rng.unit() * 140)));
        p.drawEllipse(c, size, size);
    }
}

void scene(QPainter& p, const Theme& t, QRectF r)
{
    p.save();
    p.setClipRect(r, Qt::IntersectClip);
    const qreal w = r.width(), h = r.height();
    auto at = [&](qreal fx, qreal fy) { return QPointF(r.x() + fx * w, r.y() + fy * h); };

    QLinearGradient sky(r.topLeft(), r.bottomLeft());
    sky.setColorAt(0, t.skyTop);
    sky.setColorAt(0.7, t.skyBottom);
    p.fillRect(r, sky);

    const QPointF sunAt = at(0.72, 0.34);
    const qreal sunR = 0.12 * qMin(w, h * 1.4);
    p.setPen(Qt::NoPen);
    if (t.scene == Scene::Night) {
        // Keep the top fifth clear: the poster puts its title there.
        stars(p, QRectF(r.x(), r.y() + h * 0.2, w, h * 0.36), int(w * h / 700), 11);
        QPainterPath moon;
        moon.addEllipse(sunAt, sunR, sunR);
        QPainterPath bite;
        bite.addEllipse(sunAt + QPointF(sunR * 0.45, -sunR * 0.25), sunR * 0.9, sunR * 0.9);
        p.setBrush(t.sun);
        p.drawPath(moon.subtracted(bite));
    } else {
        QRadialGradient glow(sunAt, sunR * 2.6);
        QColor g = t.sun;
        g.setAlpha(110);
        glow.setColorAt(0, g);
        g.setAlpha(0);
        glow.setColorAt(1, g);
        p.setBrush(glow);
        p.drawEllipse(sunAt, sunR * 2.6, sunR * 2.6);
        p.setBrush(t.sun);
        p.drawEllipse(sunAt, sunR, sunR);
    }

    for (int i = 0; i < 3; ++i) {
        const qreal base = 0.50 + 0.13 * i;
        auto fx = [&](qreal x) { return i % 2 ? 1 - x : x; };
        QPainterPath hill;
        hill.moveTo(at(fx(0), 1.01));
        if (t.scene == Scene::Mountains && i == 0) {
            const qreal peaks[][2] = {{0, 0.50}, {0.16, 0.37}, {0.27, 0.45}, {0.46, 0.29},
                                      {0.62, 0.44}, {0.80, 0.35}, {1, 0.47}};
            for (const auto& pk : peaks)
                hill.lineTo(at(pk[0], pk[1]));
        } else {
            hill.lineTo(at(fx(0), base));
            hill.cubicTo(at(fx(0.22), base - 0.09), at(fx(0.42), base + 0.05),
                         at(fx(0.62), base - 0.02));
            hill.cubicTo(at(fx(0.78), base - 0.07), at(fx(0.9), base), at(fx(1), base - 0.04));
        }
        hill.lineTo(at(fx(1), 1.01));
        hill.closeSubpath();
        p.setBrush(t.hill[i]);
        p.drawPath(hill);
    }

    if (t.scene == Scene::Meadow) {
        Lcg rng{5};
        for (int i = 0; i < int(w / 6); ++i) {
            const QPointF c = at(rng.unit(), 0.86 + rng.unit() * 0.13);
            p.setBrush(i % 3 ? QColor(0xFFF6E0) : t.warm);
            p.drawEllipse(c, 1.6, 1.6);
        }
    }
    p.restore();
}
