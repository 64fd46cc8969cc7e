#pragma once

namespace skintool {

// Tunes the allocator for a run over many skins: memory of freed pictures
// stays with the process for the next picture, instead of going back to
// the system and being faulted in again, page by page, a moment later.
// The resident memory then stays at what one skin needs.
void reuseFreedMemory();

} // namespace skintool
