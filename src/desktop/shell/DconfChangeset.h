#pragma once

#include <map>
#include <string>
#include <vector>

namespace drovane::desktop {

// The bytes of a dconf change set that writes each key path (as "/org/gnome/desktop/...")
// to its string value: the serialised GVariant "a{smv}" the dconf writer service's Change
// method takes.
std::vector<unsigned char> dconfStringChangeset(const std::map<std::string, std::string>& values);

// The string values of a serialised change set, as the writer would read them; empty for bytes
// that are not one. For tests and diagnostics.
std::map<std::string, std::string> dconfChangesetStrings(const std::vector<unsigned char>& bytes);

} // namespace drovane::desktop
