#pragma once

#include <string>
#include <string_view>

namespace drovane {

// Case mapping of UTF-8 text for identifiers, titles and sort keys: Unicode's full mappings
// (ß upper-cases to SS, every script), the same whatever the process locale. Bytes that are
// not valid UTF-8 are kept as they are.
std::string upperCased(std::string_view text);
std::string lowerCased(std::string_view text);
// The first letter of every word in title case, the rest lower case; words are separated by
// blanks, tabs and line breaks only.
std::string capitalized(std::string_view text);

} // namespace drovane
