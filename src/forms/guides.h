#pragma once

#include "forms/design.h"

#include <QWidget>

#include <span>
#include <vector>

class FormWindow;
class QPainter;

// One tag of the guides: its lines, where it lies, its colour, and the
// boxes it labels (several for identical neighbours, which share a tag).
struct GuideTag
{
    QStringList lines;
    QRect place;
    QColor colour;
    std::vector<QRect> boxes;
    bool slot = false;
    // Whether it may lie inside its box: a slot's, at a corner, and a
    // list's, at the bottom where its last entries are, when no side of it
    // is free.
    bool inside = false;
};

// The guides of a window: a transparent layer over the whole window, above
// every control, that marks
// - each image slot: its box, its name, the file that filled it (or
//   "built-in"; or that it keeps a picture from before, as no file of the
//   last skin loaded into it) and the picture's size against the box, with
//   what the box cuts off of the picture and what the picture leaves
//   uncovered hatched in two ways;
// - each hot spot: where a click does something;
// - each place where the program draws of its own: labels' texts, lists and
//   the path box, with their font and colour.
// Where each control lies and what it is called come from the window's
// design, what it shows from the live control. Each tag lies where it
// covers no other tag and nothing marked but the pictures that what it
// labels lies on; identical neighbours share one. The layer takes no
// clicks, and while hidden the window looks exactly as it does without it.
class Guides : public QWidget
{
    Q_OBJECT

public:
    Guides(FormWindow &window, const WindowDesign &design, std::span<const ControlDesign> controls);

    // Draws the marks of scope (the window, or one of its picture boxes)
    // and of what lies on it, as they are now, onto painter in scope's
    // coordinates; area is the part of scope that painter covers.
    void draw(QPainter &painter, QWidget &scope, const QRect &area) const;
    // The tags that draw() draws, as it places them.
    std::vector<GuideTag> tags(QWidget &scope, const QRect &area) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    FormWindow &m_window;
    const WindowDesign &m_design;
    std::span<const ControlDesign> m_controls;
};
