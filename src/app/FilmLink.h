#pragma once

#include "platform/Url.h"

#include <optional>
#include <string>

namespace drovane {

// The film identifier that a "drovane://film/ID" link asks for: the last path component as
// written (decoded, case kept). Nothing for another scheme or host (both compared exactly),
// and nothing when that component cannot name a film's file (no identifier, "/" of a bare
// root, a NUL), so that a link never reaches a file outside the video folder.
std::optional<std::string> filmLinkIdentifier(const Url& url);

} // namespace drovane
