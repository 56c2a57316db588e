#pragma once

#include "update/ArchiveEntries.h"

#include <cstdint>
#include <optional>
#include <string>

namespace drovane::desktop {

// Unpacks a release archive with libarchive in two passes: the headers of every entry are
// checked first (nothing is written when one is refused), then plain files and folders are
// written below `folder`, counting the bytes that really arrive against `maxUnpackedBytes` (a
// header may lie). When the second pass fails, what it wrote is removed again. `folder` must
// not hold "Drovane.app" yet. Why it failed, or nothing.
std::optional<std::string>
unpackReleaseArchive(const std::string& archive, const std::string& folder,
                     std::uint64_t maxUnpackedBytes = ArchiveLimits::maxUnpackedBytes);

} // namespace drovane::desktop
