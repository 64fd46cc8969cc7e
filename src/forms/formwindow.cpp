#include "forms/formwindow.h"

#include "forms/form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPainter>

FormWindow::FormWindow(Form *form)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_form(form)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void FormWindow::setPicture(const Picture &picture, const QString &source)
{
    m_picture.set(picture, source);
    update();
}

void FormWindow::setBuiltInPicture(const QString &resource)
{
    m_picture.setBuiltIn(resource);
    update();
}

void FormWindow::setEncodedPicture(const QByteArray &bytes, const QString &path)
{
    m_picture.setEncoded(bytes, path);
    update();
}

bool FormWindow::anyLoaded()
{
    const auto windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [](QWidget *widget) {
        auto *window = qobject_cast<FormWindow *>(widget);
        return window && window->form();
    });
}

void FormWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    m_picture.paint(painter, rect(), palette().color(QPalette::Window));
}

void FormWindow::closeEvent(QCloseEvent *event)
{
    // The form decides: its unload destroys this window.
    event->ignore();
    if (m_form)
        m_form->unload();
}
