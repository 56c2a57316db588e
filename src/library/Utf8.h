#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace drovane {

// Appends the UTF-8 form of the code point `cp` (at most U+10FFFF).
void appendUtf8(char32_t cp, std::string& out);

// Decodes the well-formed UTF-8 sequence starting at text[at]: the code point and the index
// after it. False, with `at` unchanged, for a byte that does not start one (a stray
// continuation byte, an overlong form, an encoded surrogate, a sequence cut short).
bool decodeUtf8(std::string_view text, std::size_t& at, char32_t& cp);

bool isValidUtf8(std::string_view text);

} // namespace drovane
