#pragma once

#include <optional>
#include <string>

namespace drovane::desktop {

// Where a bundle lists its files and carries the list's signature.
inline constexpr const char* codeResourcesPath = "Contents/_CodeSignature/CodeResources";
inline constexpr const char* codeResourcesSignaturePath = "Contents/_CodeSignature/CodeResources.minisig";

// Why the bundle at `bundle` is not signed by the holder of `publicKey` (minisign's base64
// public key): every regular file of the bundle but the two signature files must be listed
// in CodeResources as "<SHA-256 in hex>  <path in the bundle>" lines, no listed file may be
// missing, nothing but plain files and folders may be there, and CodeResources.minisig must
// be a minisign signature of the list by that key (legacy or prehashed, with a valid signature
// over its trusted comment). Nothing when it is signed.
std::optional<std::string> verifyBundleSignature(const std::string& bundle, const std::string& publicKey);

} // namespace drovane::desktop
