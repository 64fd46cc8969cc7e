#pragma once

#include "runtime/picture.h"

#include <QWidget>

// A borderless, flat box that shows its picture unscaled from its top-left
// corner, clipped to the box; what the picture leaves uncovered shows the
// desktop's window background colour. Hiding it hides its child labels too.
class PictureBox : public QWidget
{
    Q_OBJECT

public:
    explicit PictureBox(QWidget *parent);

    Picture picture() const { return m_picture; }
    void setPicture(const Picture &picture);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Picture m_picture;
};
