#pragma once

#include "pictures/slotpicture.h"

#include <QWidget>

// A borderless, flat box that shows its picture unscaled from its top-left
// corner, clipped to the box; what the picture leaves uncovered shows the
// desktop's window background colour. Hiding it hides its child labels too.
class PictureBox : public QWidget
{
    Q_OBJECT

public:
    explicit PictureBox(QWidget *parent);

    Picture picture() const { return m_picture.get(); }
    // The file the picture came from; empty for a built-in one.
    QString pictureSource() const { return m_picture.source(); }
    void setPicture(const Picture &picture, const QString &source = {});
    void setBuiltInPicture(const QString &resource);
    // The picture stays although a skin in folder was loaded into the box:
    // broken is the file that did not load, empty when the skin had none
    // for it.
    void keepPicture(const QString &folder, const QString &broken);
    bool pictureKept() const { return m_picture.isKept(); }
    QString pictureKeptFor() const { return m_picture.keptFor(); }
    QString pictureKeptIn() const { return m_picture.keptIn(); }

signals:
    void pictureChanged();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    SlotPicture m_picture;
};
