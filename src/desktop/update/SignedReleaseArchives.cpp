#include "desktop/update/SignedReleaseArchives.h"

#include "desktop/update/BundleSignature.h"
#include "desktop/update/ZipUnpacker.h"

namespace drovane::desktop {

SignedReleaseArchives::SignedReleaseArchives(std::string publicKey) : m_publicKey(std::move(publicKey)) {}

std::optional<std::string> SignedReleaseArchives::unpack(const std::string& archive,
                                                         const std::string& folder) {
    return unpackReleaseArchive(archive, folder);
}

std::optional<std::string> SignedReleaseArchives::verify(const std::string& bundle) {
    return verifyBundleSignature(bundle, m_publicKey);
}

} // namespace drovane::desktop
