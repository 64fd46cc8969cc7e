#include "forms/formwindow.h"

#include "files/filename.h"
#include "files/places.h"
#include "forms/form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMimeData>
#include <QUrl>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <optional>

namespace {

// The folder that a drag carries: one local item that the folder list would
// take, as the cleaned path that it would show. The URL's bytes are the
// name's, which need not be UTF-8.
std::optional<QString> draggedFolder(const QMimeData *data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1)
        return std::nullopt;
    const QUrl url = data->urls().constFirst();
    if (!url.isLocalFile())
        return std::nullopt;
    const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    return existingFolder(textFromFileName(bytes));
}

} // namespace

QPoint placementOnScreen(const QRect &designed, const QRect &screen)
{
    if (screen.contains(designed) || designed.width() > screen.width() || designed.height() > screen.height())
        return designed.topLeft();
    return {std::clamp(designed.left(), screen.left(), screen.right() + 1 - designed.width()),
            std::clamp(designed.top(), screen.top(), screen.bottom() + 1 - designed.height())};
}

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

void FormWindow::keepPicture(const QString &folder, const QString &broken)
{
    m_picture.keep(folder, broken);
    emit pictureChanged();
}

void FormWindow::placeAt(QPoint designed)
{
    const QRect window(designed, size());
    QScreen *screen = QGuiApplication::screenAt(designed);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    move(screen ? placementOnScreen(window, screen->availableGeometry()) : designed);
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

void FormWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (draggedFolder(event->mimeData()))
        event->acceptProposedAction();
}

void FormWindow::dragMoveEvent(QDragMoveEvent *event)
{
    event->acceptProposedAction();
}

void FormWindow::dropEvent(QDropEvent *event)
{
    const std::optional<QString> folder = draggedFolder(event->mimeData());
    if (!folder)
        return;
    event->acceptProposedAction();
    emit dropped(*folder);
}
