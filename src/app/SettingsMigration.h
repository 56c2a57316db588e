#pragma once

#include <array>

namespace drovane {

class DefaultsStore;

// Copies the user's choices once from an older defaults domain into the current one.
namespace SettingsMigration {

// Older domains, in the order they are tried.
inline constexpr std::array<const char*, 2> legacyDomains = {"drovane", "lumenfold"};
// The keys copied; "selectedVideo", which marks the copy done, is stored last.
inline constexpr std::array<const char*, 3> liveKeys = {"selectedVideo", "favorites", "firstLaunch"};

// Does nothing when `target` already holds "selectedVideo"; otherwise copies the live keys
// from the first legacy domain holding a string "selectedVideo" and logs the domain's name.
// The legacy domain is left as it is. Never fails. Main thread, before anything reads `target`.
void run(DefaultsStore& target);

} // namespace SettingsMigration

} // namespace drovane
