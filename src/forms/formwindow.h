#pragma once

#include "pictures/slotpicture.h"

#include <QWidget>

class Form;

// Where a window designed at designed goes on a screen with that area: its
// designed place, unless part of it would lie off the screen there while
// the whole window fits on it; then the nearest place where it fits.
QPoint placementOnScreen(const QRect &designed, const QRect &screen);

// The top-level, frameless window of a loaded form: it draws the form's
// background picture unscaled at 0, 0 over the default window colour and
// turns a close request of the window system into an unload of its form.
class FormWindow : public QWidget
{
    Q_OBJECT

public:
    explicit FormWindow(Form *form);

    Form *form() const { return m_form; }
    void detach() { m_form = nullptr; }

    // Moves the window to its designed top-left corner, or just far enough
    // from it to lie wholly on the screen there (placementOnScreen).
    void placeAt(QPoint designed);

    Picture picture() const { return m_picture.get(); }
    // The file the background came from; empty for a built-in one.
    QString pictureSource() const { return m_picture.source(); }
    void setPicture(const Picture &picture, const QString &source = {});
    void setBuiltInPicture(const QString &resource);
    // The bytes of the picture file at path, decoded when first drawn.
    void setEncodedPicture(const QByteArray &bytes, const QString &path);
    // As PictureBox::keepPicture.
    void keepPicture(const QString &folder, const QString &broken);
    bool pictureKept() const { return m_picture.isKept(); }
    QString pictureKeptFor() const { return m_picture.keptFor(); }
    QString pictureKeptIn() const { return m_picture.keptIn(); }

signals:
    void pictureChanged();
    // A folder was dropped on the window: its path (see Form::onDrop).
    void dropped(const QString &path);

public:

    // Whether any window of the program still belongs to a loaded form.
    static bool anyLoaded();

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    Form *m_form;
    SlotPicture m_picture;
};
