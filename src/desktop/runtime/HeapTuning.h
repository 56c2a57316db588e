#pragma once

namespace drovane::desktop {

// Keeps the heap from growing with every film played: each player's decoding threads allocate
// frame-sized blocks, which glibc would otherwise keep in a heap arena per thread and, once
// such blocks have been freed, serve from those arenas, never giving the memory back. Large
// blocks are mapped and unmapped on their own and the arenas are few. Call first in main,
// before any thread starts.
void tuneHeapForVideo();

} // namespace drovane::desktop
