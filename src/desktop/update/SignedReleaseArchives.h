#pragma once

#include "platform/ReleaseArchives.h"
#include "update/ArchiveEntries.h"

#include <cstdint>

namespace drovane::desktop {

// Release archives unpacked with libarchive and bundles checked against one public key: the
// maker's in the program, a throwaway one in tests. Tests also lower the size limit.
class SignedReleaseArchives final : public ReleaseArchives {
public:
    explicit SignedReleaseArchives(std::string publicKey,
                                   std::uint64_t maxUnpackedBytes = ArchiveLimits::maxUnpackedBytes);

    std::optional<std::string> unpack(const std::string& archive, const std::string& folder) override;
    std::optional<std::string> verify(const std::string& bundle) override;

private:
    const std::string m_publicKey;
    const std::uint64_t m_maxUnpackedBytes;
};

} // namespace drovane::desktop
