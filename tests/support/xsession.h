#pragma once

// Helpers for the end-to-end tests, which drive the real program in a real
// X server: real mouse clicks and key presses through xdotool, windows
// found and measured with xdotool and xwininfo, the screen read back
// through ImageMagick.

#include <QColor>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

// Where the preview window sits on the screen.
inline constexpr QPoint PreviewOrigin(289, 38);
// How long to wait for the program to show what a step should lead to; a
// loaded machine can be slow, a broken program never gets there.
inline constexpr int Patience = 20000;

enum class Failure { Warn, Expected };

// Runs a helper program to its end; returns its standard output. A helper
// that the X server turned away for a moment is run again.
QByteArray run(const QString &program, const QStringList &arguments, Failure failure = Failure::Warn);

void xdotool(const QStringList &arguments);

QPoint pointerPosition();

// Moves the pointer by relative motion from where it is: an Xwayland
// without a seat (as under a headless compositor) crashes when the pointer
// is warped to a place.
void movePointerTo(QPoint screen);

// A click at a point of the preview window, in its own coordinates.
void clickAt(QPoint point, int repeat = 1);

QImage screenshot();

// The colour at a point of the preview window's rectangle on the screen.
QColor screenColor(QPoint point);

struct Geometry
{
    QPoint position;
    QSize size;
};

// Window id of the top-level window with this exact name, if mapped.
std::optional<QString> findWindow(const QString &name);

Geometry geometryOf(const QString &id);

// A window id as xdotool (decimal) or xwininfo (hexadecimal) gives it.
quint64 windowNumber(const QString &id);

// The window that a window manager has put this one into (its frame), or
// the window itself where none has.
QString frameOf(const QString &id);

// The top-level windows, the front one first.
QList<quint64> stackingFromFront();

// weston's X window manager puts every window into a frame larger by a
// margin for its shadows, decorated or not; other sessions leave an
// undecorated window's frame at the window's own size.
bool framesHaveMargins();

// The pixels in which two pictures of the same window differ (their colour
// spaces aside): none, or where the first is and how many.
QString differences(const QImage &actual, const QImage &expected);

bool sameColor(QColor a, QColor b);
