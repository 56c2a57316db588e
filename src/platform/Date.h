#pragma once

#include <compare>
#include <cstdint>

namespace drovane {

// A point in time: whole microseconds since 2001-01-01 00:00:00 UTC, the reference date of the
// property-list formats. Integral so that it survives a round trip through text exactly.
struct Date {
    std::int64_t microsecondsSinceReferenceDate = 0;

    static constexpr std::int64_t microsecondsPerSecond = 1'000'000;
    // Seconds between the Unix epoch and the reference date.
    static constexpr std::int64_t unixEpochOffsetSeconds = 978'307'200;

    // The fixed earliest point in time (0001-01-01 00:00:00 UTC in the Julian calendar, as the
    // other writers of these formats count it), used as "never".
    static constexpr Date distantPast() { return Date{-63'114'076'800 * microsecondsPerSecond}; }
    // The fixed latest point in time (4001-01-01 00:00:00 UTC).
    static constexpr Date distantFuture() { return Date{63'113'904'000 * microsecondsPerSecond}; }

    static constexpr Date fromSecondsSinceReferenceDate(double seconds) {
        return Date{static_cast<std::int64_t>(seconds * microsecondsPerSecond)};
    }
    static constexpr Date fromUnixMicroseconds(std::int64_t unixMicroseconds) {
        return Date{unixMicroseconds - unixEpochOffsetSeconds * microsecondsPerSecond};
    }
    constexpr double secondsSinceReferenceDate() const {
        return static_cast<double>(microsecondsSinceReferenceDate) / microsecondsPerSecond;
    }

    // Seconds from `earlier` to this date (negative when this date is earlier).
    constexpr double secondsSince(Date earlier) const {
        return static_cast<double>(microsecondsSinceReferenceDate - earlier.microsecondsSinceReferenceDate) /
               microsecondsPerSecond;
    }
    constexpr Date addingSeconds(double seconds) const {
        return Date{microsecondsSinceReferenceDate +
                    static_cast<std::int64_t>(seconds * microsecondsPerSecond)};
    }

    friend constexpr auto operator<=>(const Date&, const Date&) = default;
};

} // namespace drovane
