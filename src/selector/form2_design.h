#pragma once

#include "forms/design.h"

#include <array>

extern const WindowDesign Form2Window;
extern const std::array<ControlDesign, 15> Form2Controls;
