#include "desktop/runtime/SystemClock.h"

#include <chrono>

namespace drovane::desktop {

Date SystemClock::now() const {
    using namespace std::chrono;
    const auto us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return Date::fromUnixMicroseconds(us);
}

} // namespace drovane::desktop
