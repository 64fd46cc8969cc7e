// One function per picture of a skin.
#pragma once

#include "theme.h"

#include <QImage>

enum class Page { Desktop, ScreenSaver, Advanced };

QImage paintBackground(const Theme& t);                  // 800 x 600
QImage paintSticker(const Theme& t, QSize size);         // 178 wide; 357 rows show
QImage paintPanel(const Theme& t, Page page, QSize size); // 615 x 599 show
QImage paintIcon(const Theme& t, int size, bool transparent);
