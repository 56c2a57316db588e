#include "soak/ResidentMemory.h"

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <malloc.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define DROVANE_SOAK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DROVANE_SOAK_ASAN 1
#endif
#endif

#ifdef DROVANE_SOAK_ASAN
// The sanitizer runtime's own count; GCC ships no header that declares it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();

// Freed blocks wait in a quarantine before reuse, 256 MiB of them by default, which would grow
// the resident memory for hours. At 16 MiB it fills within the warm-up, so resident memory
// afterwards measures what the program keeps; a use of memory freed within the last 16 MiB of
// frees is still caught. ASAN_OPTIONS overrides it.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=16";
}
#endif

namespace drovane::soak {

MemorySample MemorySample::now(std::size_t cachedBytes) {
    MemorySample sample;
    std::ifstream statm("/proc/self/statm");
    std::size_t sizePages = 0;
    std::size_t residentPages = 0;
    if (statm >> sizePages >> residentPages) {
        sample.residentBytes = residentPages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    }
#ifdef DROVANE_SOAK_ASAN
    sample.heapBytes = __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = ::mallinfo2();
    sample.heapBytes = info.uordblks + info.hblkhd;
#endif
    sample.heapBytes -= std::min(sample.heapBytes, cachedBytes);
    return sample;
}

bool underAddressSanitizer() {
#ifdef DROVANE_SOAK_ASAN
    return true;
#else
    return false;
#endif
}

} // namespace drovane::soak
