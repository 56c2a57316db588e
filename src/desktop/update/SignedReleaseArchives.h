#pragma once

#include "platform/ReleaseArchives.h"

namespace drovane::desktop {

// Release archives unpacked with libarchive and bundles checked against one public key: the
// maker's in the program, a throwaway one in tests.
class SignedReleaseArchives final : public ReleaseArchives {
public:
    explicit SignedReleaseArchives(std::string publicKey);

    std::optional<std::string> unpack(const std::string& archive, const std::string& folder) override;
    std::optional<std::string> verify(const std::string& bundle) override;

private:
    const std::string m_publicKey;
};

} // namespace drovane::desktop
