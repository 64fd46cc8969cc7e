#pragma once

#include <QColor>
#include <QString>

class QPalette;

// The desktop colours the layouts refer to; they follow the desktop's palette.
enum class SystemColor {
    WindowText,       // text in windows
    WindowBackground, // background of windows' content (list boxes, picture boxes)
    ButtonText,       // the default text colour of a label
};

// A colour as the layouts store it: either a fixed RGB value or a reference
// to a desktop system colour, resolved when it is drawn.
class Color
{
public:
    constexpr Color(SystemColor system) : m_isSystem(true), m_system(system) {}
    constexpr Color(QRgb rgb) : m_isSystem(false), m_rgb(rgb) {}

    QColor resolve(const QPalette &palette) const;
    QColor resolve() const;
    // How a person would call it: "#ff0000", or the desktop colour's name.
    QString name() const;

    bool operator==(const Color &other) const = default;

private:
    bool m_isSystem;
    SystemColor m_system = SystemColor::WindowText;
    QRgb m_rgb = 0;
};

// The colour of the components r, g and b, each 0 to 255.
constexpr Color RGB(int r, int g, int b)
{
    return Color(QRgb(0xff000000u | (unsigned(r & 0xff) << 16) | (unsigned(g & 0xff) << 8) | unsigned(b & 0xff)));
}
