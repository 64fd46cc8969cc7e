#include "forms/label.h"

#include <QMouseEvent>
#include <QPainter>

Label::Label(QWidget *parent) : QWidget(parent)
{
}

void Label::setCaption(const QString &caption)
{
    m_caption = caption;
    update();
    emit looksChanged();
}

void Label::setForeColor(Color color)
{
    m_foreColor = color;
    update();
    emit looksChanged();
}

void Label::paintEvent(QPaintEvent *)
{
    if (m_caption.isEmpty())
        return;
    QString text = m_caption;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QPainter painter(this);
    painter.setClipRect(rect());
    painter.setPen(m_foreColor.resolve(palette()));
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
}

void Label::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
}

void Label::mouseReleaseEvent(QMouseEvent *event)
{
    const bool clicked = m_pressed && event->button() == Qt::LeftButton
                         && rect().contains(event->position().toPoint());
    m_pressed = false;
    if (clicked)
        emit click();
}
