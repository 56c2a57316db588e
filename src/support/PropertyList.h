#pragma once

#include "platform/Value.h"

#include <optional>
#include <string_view>

namespace drovane {

// The root value of a property list in the XML or the binary format (told apart by the
// "bplist" signature); nothing when the bytes are neither.
std::optional<Value> readPropertyList(std::string_view bytes);

} // namespace drovane
