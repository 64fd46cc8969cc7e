#pragma once

#include "skin/skinfiles.h"

#include <array>

namespace skintool {

// The preview window's slots in the order skintool reports them, with the
// names its reports and pictures use.
struct NamedSlot
{
    Slot slot;
    const char *name;
};

inline constexpr std::array<NamedSlot, 5> PreviewSlots = {{
    {Slot::PreviewBackground, "background"},
    {Slot::Sticker, "sticker"},
    {Slot::DesktopPanel, "desktop-settings"},
    {Slot::ScreenSaverPanel, "screensaver-settings"},
    {Slot::AdvancedPanel, "advanced-settings"},
}};

const char *slotName(Slot slot);
const SlotSize &slotSize(Slot slot);

} // namespace skintool
