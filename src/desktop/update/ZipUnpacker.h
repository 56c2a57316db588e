#pragma once

#include <optional>
#include <string>

namespace drovane::desktop {

// Unpacks a release archive with libarchive in two passes: the headers of every entry are
// checked first (nothing is written when one is refused), then plain files and folders are
// written below `folder`, counting the bytes that really arrive against the size limit (a
// header may lie). Why it failed, or nothing.
std::optional<std::string> unpackReleaseArchive(const std::string& archive, const std::string& folder);

} // namespace drovane::desktop
