#include "tool/memory.h"

#include <malloc.h>

namespace skintool {

void reuseFreedMemory()
{
    // Pictures (an 800 x 600 one is 1.9 MB) come from the heap rather than
    // from a mapping of their own, and the heap keeps what is freed.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
}

} // namespace skintool
