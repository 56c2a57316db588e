#pragma once

#include "soak/ResidentMemory.h"

#include <cstdint>
#include <optional>
#include <string>

namespace drovane::soak {

// What a day of use found: the memory after the warm-up and at the end of the day, and the
// problems.
struct DayReport {
    std::optional<MemorySample> warmUp;
    std::optional<MemorySample> end;
    // Empty when everything held; otherwise the seed, the step, the problems and the last events.
    std::string failure;
};

// A day of use on the virtual clock: the program launched through its application delegate on
// the fake machine and driven by a seeded random script of events at random intervals, every
// invariant checked between any two pieces of main-thread work and after every step, then
// brought to rest and let go, with what is still alive counted at both points.
class DayOfUse {
public:
    struct Options {
        std::uint64_t seed = 1;
        double hours = 3;
        // Memory is sampled after this much of the day and at its end: by then every cache has
        // filled and the allocator has settled (resident memory under AddressSanitizer climbs by
        // some 25 MiB over the first three hours, then wanders within about 4 MiB).
        double warmUpHours = 3;
        // Prints every step as it happens, with what plays, what is on disk and what downloads.
        bool trace = false;
    };

    static DayReport run(const Options& options);
};

} // namespace drovane::soak
