#include "tool/skinslots.h"

#include <algorithm>

namespace skintool {

const char *slotName(Slot slot)
{
    const auto named = std::find_if(PreviewSlots.begin(), PreviewSlots.end(),
                                    [&](const NamedSlot &entry) { return entry.slot == slot; });
    return named != PreviewSlots.end() ? named->name : "selector-background";
}

const SlotSize &slotSize(Slot slot)
{
    return *std::find_if(std::begin(SlotSizes), std::end(SlotSizes),
                         [&](const SlotSize &entry) { return entry.slot == slot; });
}

} // namespace skintool
