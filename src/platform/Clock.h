#pragma once

#include "platform/Date.h"

namespace drovane {

class Clock {
public:
    virtual ~Clock() = default;

    // The current wall-clock time. Any thread.
    virtual Date now() const = 0;
};

} // namespace drovane
