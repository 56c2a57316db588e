#pragma once

namespace drovane::desktop {

// Public keys in minisign's format (the second line of a public-key file, base64).

// The maker's release key; its secret half never leaves the maker.
extern const char* const makerPublicKey;
// The key this build checks updates against: the maker's, or in a test build a throwaway key
// made in its build tree (see cmake/UpdateKey.cmake).
extern const char* const trustedPublicKey;
// Whether this is such a test build.
extern const bool trustsThrowawayKey;

} // namespace drovane::desktop
