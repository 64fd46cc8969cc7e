#include "runtime/picturebox.h"

#include "runtime/color.h"

#include <QPainter>

PictureBox::PictureBox(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::setPicture(const Picture &picture)
{
    m_picture.set(picture);
    update();
}

void PictureBox::setBuiltInPicture(const QString &resource)
{
    m_picture.setBuiltIn(resource);
    update();
}

void PictureBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Color(SystemColor::WindowBackground).resolve(palette()));
    painter.drawImage(0, 0, m_picture.get());
}
