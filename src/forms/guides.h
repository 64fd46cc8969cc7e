#pragma once

#include "forms/design.h"

#include <QWidget>

#include <span>

class FormWindow;
class QPainter;

// The guides of a window: a transparent layer over the whole window, above
// every control, that marks
// - each image slot: its box, its name, the file that filled it (or
//   "built-in") and the picture's size against the box, with what the box
//   cuts off of the picture and what the picture leaves uncovered hatched
//   in two ways;
// - each hot spot: where a click does something;
// - each place where the program draws of its own: labels' texts, lists and
//   the path box, with their font and colour.
// Where each control lies and what it is called come from the window's
// design, what it shows from the live control. The layer takes no clicks,
// and while hidden the window looks exactly as it does without it.
class Guides : public QWidget
{
    Q_OBJECT

public:
    Guides(FormWindow &window, const WindowDesign &design, std::span<const ControlDesign> controls);

    // Draws the marks of scope (the window, or one of its picture boxes)
    // and of what lies on it, as they are now, onto painter in scope's
    // coordinates; area is the part of scope that painter covers.
    void draw(QPainter &painter, QWidget &scope, const QRect &area) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    FormWindow &m_window;
    const WindowDesign &m_design;
    std::span<const ControlDesign> m_controls;
};
