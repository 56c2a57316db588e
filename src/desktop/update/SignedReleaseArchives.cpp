#include "desktop/update/SignedReleaseArchives.h"

#include "desktop/update/BundleSignature.h"
#include "desktop/update/ZipUnpacker.h"

namespace drovane::desktop {

SignedReleaseArchives::SignedReleaseArchives(std::string publicKey, std::uint64_t maxUnpackedBytes)
    : m_publicKey(std::move(publicKey)), m_maxUnpackedBytes(maxUnpackedBytes) {}

std::optional<std::string> SignedReleaseArchives::unpack(const std::string& archive,
                                                         const std::string& folder) {
    return unpackReleaseArchive(archive, folder, m_maxUnpackedBytes);
}

std::optional<std::string> SignedReleaseArchives::verify(const std::string& bundle) {
    return verifyBundleSignature(bundle, m_publicKey);
}

} // namespace drovane::desktop
