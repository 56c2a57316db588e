#pragma once

#include <cstddef>

namespace drovane::soak {

// The process's memory at one moment: pages resident, and bytes the heap has handed out and
// not taken back (under AddressSanitizer its allocator's count, which leaves out the quarantine
// of freed blocks; otherwise glibc's).
struct MemorySample {
    std::size_t residentBytes = 0;
    std::size_t heapBytes = 0;

    // Now, the heap less `cachedBytes` that a bounded cache holds on purpose.
    static MemorySample now(std::size_t cachedBytes = 0);
};

// Whether this build runs under AddressSanitizer.
bool underAddressSanitizer();

} // namespace drovane::soak
