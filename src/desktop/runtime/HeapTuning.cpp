#include "desktop/runtime/HeapTuning.h"

#include <malloc.h>

namespace drovane::desktop {

namespace {

// A 1080p frame's planes are larger than this; a player's small allocations are not.
constexpr int kMappedBlockBytes = 1 << 20;
constexpr int kArenas = 2;

} // namespace

void tuneHeapForVideo() {
    // A fixed threshold also stops glibc from raising it after large blocks are freed.
    mallopt(M_MMAP_THRESHOLD, kMappedBlockBytes);
    mallopt(M_ARENA_MAX, kArenas);
}

} // namespace drovane::desktop
