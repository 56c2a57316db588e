#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace drovane {

// The release the version feed announces.
struct Release {
    std::string version;
    // Required for the feed to be accepted; nothing else reads it.
    std::string url;
    // The release archive's address, when there is one.
    std::optional<std::string> zip;

    // The feed's body as a release: one JSON object with the strings "version" and "url" and
    // optionally "zip" (a string or null); other keys are ignored. Nothing for anything else.
    static std::optional<Release> decode(const std::vector<std::uint8_t>& body);

    friend bool operator==(const Release&, const Release&) = default;
};

} // namespace drovane
