#pragma once

#include "platform/Value.h"

#include <optional>
#include <string_view>

namespace drovane {

// The root value of a property list in the XML or the binary format (told apart by the
// "bplist" signature); nothing when the bytes are neither, or hold a value the XML form could
// not write back (a date outside the years 0 to 9999).
std::optional<Value> readPropertyList(std::string_view bytes);

} // namespace drovane
