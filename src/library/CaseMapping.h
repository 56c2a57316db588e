#pragma once

#include <string>
#include <string_view>

namespace drovane {

// Case mapping of UTF-8 text for identifiers, titles and sort keys, without depending on the
// process locale. Maps ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic letters one to one;
// every other code point, and every byte that is not valid UTF-8, is kept as it is, so the
// result is valid UTF-8 whenever the input is.
std::string upperCased(std::string_view text);
std::string lowerCased(std::string_view text);
// The first letter of every word upper case, the rest lower case; words are separated by
// spaces, tabs and line breaks.
std::string capitalized(std::string_view text);

} // namespace drovane
