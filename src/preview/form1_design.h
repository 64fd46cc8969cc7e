#pragma once

#include "forms/design.h"

#include <array>

extern const WindowDesign Form1Window;
extern const std::array<ControlDesign, 15> Form1Controls;
