#pragma once

#include "forms/color.h"

#include <QPoint>
#include <QRect>
#include <QSize>

// A window's and its controls' design: what every load of the window starts
// from. Windows give theirs as tables of ControlDesign; the runtime builds
// the controls from them, hidden, before the load handler runs.

enum class ControlKind { Label, PictureBox, TextBox, DirListBox, FileListBox };

struct FontDesign
{
    const char *face = nullptr; // nullptr: the desktop's default font
    double points = 0;
    int weight = 400; // 400 regular, 700 bold

    bool isDefault() const { return face == nullptr; }
};

// What the guides say of a control: its name there, and whether a click on
// it does something. A control without a name is not marked.
struct GuideDesign
{
    const char *name = nullptr;
    bool hotSpot = false;
};

struct ControlDesign
{
    ControlKind kind;
    const char *name;
    const char *parent = nullptr; // nullptr: the window itself
    QRect geometry;               // pixels within the parent's client area
    bool visible = true;
    const char *text = "";        // a label's caption, a text box's text
    const char *picture = nullptr; // a picture box's built-in picture (a resource)
    FontDesign font = {};
    Color foreColor = SystemColor::ButtonText;
    Color backColor = SystemColor::WindowBackground;
    int tabIndex = -1; // -1: takes no keyboard focus
    GuideDesign guide = {};
};

struct WindowDesign
{
    const char *caption;
    QSize clientSize;
    QPoint position;     // screen pixels of the window's top-left corner
    const char *picture; // the built-in background picture (a resource)
    const char *icon;    // the window icon (a resource)
    const char *guide;   // what the guides call the window's background
};
