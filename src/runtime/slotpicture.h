#pragma once

#include "runtime/picture.h"

#include <QPainter>
#include <QRegion>
#include <QString>

// A slot's picture that may still be a built-in one (a resource) not yet
// decoded. Most built-in pictures sit on hidden panels or in the hidden
// selector and are replaced before anyone sees them, so each is decoded
// only when it is first drawn or asked for.
class SlotPicture
{
public:
    const Picture &get() const
    {
        if (!m_builtIn.isEmpty()) {
            m_picture = Picture(m_builtIn);
            m_builtIn.clear();
        }
        return m_picture;
    }

    // Draws the picture unscaled from the top-left corner of area, and the
    // background colour wherever the picture leaves area uncovered or lets
    // it show through. Where an opaque picture covers the area, filling it
    // first would only cost one more pass over the window's pixels.
    void paint(QPainter &painter, const QRect &area, const QColor &background) const
    {
        const Picture &picture = get();
        QRegion uncovered(area);
        if (!picture.hasAlphaChannel())
            uncovered -= QRect(area.topLeft(), picture.size());
        for (const QRect &rect : uncovered)
            painter.fillRect(rect, background);
        painter.drawImage(area.topLeft(), picture);
    }

    void set(const Picture &picture)
    {
        m_builtIn.clear();
        m_picture = picture;
    }

    void setBuiltIn(const QString &resource)
    {
        m_picture = Picture();
        m_builtIn = resource;
    }

private:
    mutable Picture m_picture;
    mutable QString m_builtIn; // the resource still to decode, if any
};
