#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace drovane {

// A version string as a list of signed integers that compare position by position: the
// numbers before the first "-" (at least three), then the release's kind (a final release
// after all of its pre-releases: alpha, beta, then any other tag) and the tag's last number.
// "1.4" is 1, 4, 0, max, 0; "1.4.2-beta.3" is 1, 4, 2, 1, 3. A piece that is not a decimal
// integer, or does not fit, counts as 0; a version with no numeric part reads as 0.0.0.
std::vector<std::int64_t> versionOrder(std::string_view version);

// Whether `a` is a strictly later version than `b`: at the first position, within the shorter
// list, where the two orders differ, `a` has the greater number.
bool isNewer(std::string_view a, std::string_view b);

} // namespace drovane
