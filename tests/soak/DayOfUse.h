#pragma once

#include "soak/DayScript.h"
#include "soak/LiveCounts.h"
#include "soak/ResidentMemory.h"
#include "soak/SoakNetwork.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace drovane::soak {

// What a day of use did and found.
struct DayReport {
    std::uint64_t seed = 0;
    double hours = 0;
    int steps = 0;
    std::array<int, eventKinds> events{};
    int switchesAsked = 0;
    int loops = 0;        // cross-fades to the same film from a loop boundary
    int switches = 0;     // cross-fades to another film
    int rebuilds = 0;     // windows built anew (screens, a first film, no film)
    int filmsArrived = 0; // films that landed in the video folder
    int filmsRemoved = 0; // films moved to the Trash
    int failuresLogged = 0;
    SoakNetwork::Tally network;
    int pictureRequests = 0;
    int picturesDelivered = 0;
    int storeNotifications = 0;
    LiveCounts atStart;
    LiveCounts atRest;
    LiveCounts expectedAtRest;
    LiveCounts afterQuit;
    std::optional<MemorySample> warmUp;
    std::optional<MemorySample> end;
    double wallSeconds = 0;
    // Empty when everything held; otherwise the seed, the step, the problems and the last events.
    std::string failure;

    std::string describe() const;
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
