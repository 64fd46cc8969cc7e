#include "forms/picturebox.h"

#include "forms/color.h"

#include <QPainter>

PictureBox::PictureBox(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::setPicture(const Picture &picture, const QString &source)
{
    m_picture.set(picture, source);
    update();
    emit pictureChanged();
}

void PictureBox::setBuiltInPicture(const QString &resource)
{
    m_picture.setBuiltIn(resource);
    update();
    emit pictureChanged();
}

void PictureBox::keepPicture(const QString &folder, const QString &broken)
{
    m_picture.keep(folder, broken);
    emit pictureChanged();
}

void PictureBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    m_picture.paint(painter, rect(), Color(SystemColor::WindowBackground).resolve(palette()));
}
