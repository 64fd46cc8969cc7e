#include "forms/color.h"

#include <QApplication>
#include <QPalette>

QColor Color::resolve(const QPalette &palette) const
{
    if (!m_isSystem)
        return QColor::fromRgb(m_rgb);
    switch (m_system) {
    case SystemColor::WindowText:
        return palette.color(QPalette::Active, QPalette::WindowText);
    case SystemColor::WindowBackground:
        return palette.color(QPalette::Active, QPalette::Base);
    case SystemColor::ButtonText:
        return palette.color(QPalette::Active, QPalette::ButtonText);
    }
    return palette.color(QPalette::Active, QPalette::WindowText);
}

QColor Color::resolve() const
{
    return resolve(QApplication::palette());
}

QString Color::name() const
{
    if (!m_isSystem)
        return QColor::fromRgb(m_rgb).name();
    switch (m_system) {
    case SystemColor::WindowText:
        return QStringLiteral("window text colour");
    case SystemColor::WindowBackground:
        return QStringLiteral("window colour");
    case SystemColor::ButtonText:
        return QStringLiteral("label text colour");
    }
    return {};
}
