// Colours and decoration of one look. Every picture function takes a Theme,
// so the built-in pictures and the sample skins share all drawing code.
#pragma once

#include <QColor>
#include <QString>

// Picks the poster scene and the content-area decoration.
enum class Scene { Mountains, Night, Meadow };
enum class BulletShape { Dot, Diamond, Leaf };

struct Theme {
    QColor frame;                         // 1 px border round the window
    QColor sidebarTop, sidebarBottom;     // vertical gradient of the sidebar
    QColor sidebarEdge;                   // line between sidebar and content
    QColor logoText, logoAccent;          // "skin" / "preview"
    QColor plate, plateBorder, plateLine; // light box behind the menu labels
    QColor bullet;
    BulletShape bulletShape = BulletShape::Dot;

    QColor content;                       // content area, also the selector's background
    QColor band;                          // strip along the top of the content area
    int bandHeight = 0;
    QColor onBand;                        // text drawn on the band (panel titles)

    QColor accent, accentSoft, warm;
    QColor text, muted;
    QColor card, cardBorder;
    QColor control, controlBorder, track;

    QColor closeFill, closeBorder, closeCross;
    bool closeRound = false;
    QColor grip;
    qreal radius = 8;

    Scene scene = Scene::Mountains;
    QColor skyTop, skyBottom, sun;
    QColor hill[3];                       // back to front
    QColor posterText;
    QString posterTitle, posterSubtitle, posterCaption;

    QColor markTop, markBottom, markBar, markHandle; // the logo mark / icon
};
