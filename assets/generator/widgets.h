// Small drawing helpers shared by all pictures: text, settings widgets,
// window chrome, the logo mark and the landscape scene.
#pragma once

#include "theme.h"

#include <QFont>
#include <QPainter>
#include <QRectF>

// Window geometry every picture has to respect (window pixel coordinates).
namespace geo {
constexpr int windowW = 800;
constexpr int windowH = 600;
constexpr int contentX = 184;   // settings panels start here
constexpr int menuY0 = 49;      // first menu label; the others follow every 30 px
constexpr int menuStep = 30;
constexpr int menuCount = 6;
constexpr int stickerX = 5;
constexpr int stickerY = 234;
} // namespace geo

// Tiny deterministic generator for scattered decoration.
struct Lcg {
    quint32 state;
    qreal unit()
    {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / qreal(1u << 24);
    }
};

QFont uiFont(int px, bool bold = false);
void text(QPainter& p, const QRectF& r, const QString& s, const QColor& c, int px,
          bool bold = false, int flags = Qt::AlignLeft | Qt::AlignVCenter);

void checkBox(QPainter& p, const Theme& t, QPointF at, bool on, const QString& label);
void radio(QPainter& p, const Theme& t, QPointF at, bool on, const QString& label);
void slider(QPainter& p, const Theme& t, QRectF r, qreal frac, const QString& label,
            const QString& value);
void dropDown(QPainter& p, const Theme& t, QRectF r, const QString& label, const QString& value);
void button(QPainter& p, const Theme& t, QRectF r, const QString& s, bool primary);
void card(QPainter& p, const Theme& t, QRectF r, const QString& title);

void bullet(QPainter& p, const Theme& t, QPointF c);
void closeGlyph(QPainter& p, const Theme& t);  // window coordinates
void sizeGrip(QPainter& p, const Theme& t);    // window coordinates
void logoMark(QPainter& p, const Theme& t, QRectF r);
void scene(QPainter& p, const Theme& t, QRectF r);
void stars(QPainter& p, QRectF r, int count, quint32 seed);
