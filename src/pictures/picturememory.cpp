#include "pictures/picturememory.h"

#include <malloc.h>

void setFreedPictureMemory(FreedPictureMemory use)
{
    switch (use) {
    case FreedPictureMemory::GoesBackToTheSystem:
        mallopt(M_MMAP_THRESHOLD, 256 * 1024);
        mallopt(M_TRIM_THRESHOLD, 2 * 1024 * 1024);
        mallopt(M_TOP_PAD, 1024 * 1024);
        break;
    case FreedPictureMemory::StaysForTheNextSkin:
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
        break;
    }
}
