#pragma once

#include "platform/Url.h"

#include <vector>

namespace drovane {

// The copy of the program that already runs, as a later copy reaches it: the later one hands
// over what it was started for and leaves. The platform's application identifier names the
// running copy.
class RunningInstance {
public:
    virtual ~RunningInstance() = default;

    // Asks the running copy to open `urls`, or to show itself again when there are none. Blocks
    // for a few seconds at most; false when no running copy could be reached. Called before the
    // rest of the platform exists, on the main thread.
    virtual bool forward(const std::vector<Url>& urls) = 0;
};

} // namespace drovane
