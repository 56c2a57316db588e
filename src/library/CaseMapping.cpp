#include "library/CaseMapping.h"

#include <cstdint>

namespace drovane {

namespace {

char32_t toLower(char32_t c) {
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F))
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    // Greek vowels with tonos.
    if (c == 0x386)
        return 0x3AC;
    if (c >= 0x388 && c <= 0x38A)
        return c + 0x25;
    if (c == 0x38C)
        return 0x3CC;
    if (c == 0x38E || c == 0x38F)
        return c + 0x3F;
    // Latin Extended-A pairs upper/lower case as even/odd code points, except in the three
    // stretches that start on an odd one.
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (c == 0x178)
            return 0xFF;
        return ((c % 2 == 1) == oddUpper) ? c + 1 : c;
    }
    return c;
}

char32_t toUpper(char32_t c) {
    if (c < 0x80)
        return (c >= 'a' && c <= 'z') ? c - 0x20 : c;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) ||
        (c >= 0x430 && c <= 0x44F))
        return c - 0x20;
    if (c == 0x3C2) // final sigma
        return 0x3A3;
    if (c >= 0x450 && c <= 0x45F)
        return c - 0x50;
    if (c == 0x3AC)
        return 0x386;
    if (c >= 0x3AD && c <= 0x3AF)
        return c - 0x25;
    if (c == 0x3CC)
        return 0x38C;
    if (c == 0x3CD || c == 0x3CE)
        return c - 0x3F;
    if (c == 0xFF)
        return 0x178;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (c == 0x178)
            return c;
        return ((c % 2 == 1) == oddUpper) ? c : c - 1;
    }
    return c;
}

// Decodes the code point at text[i] (advancing i); nothing for a byte that does not start a
// valid sequence, which the caller copies as it is.
bool decode(std::string_view text, std::size_t& i, char32_t& out) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        out = b0;
        ++i;
        return true;
    }
    int length = 0;
    char32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3;
        cp = b0 & 0x0F;
    } else {
        return false; // four-byte sequences hold nothing this mapping changes
    }
    if (i + length > text.size())
        return false;
    for (int k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80)
            return false;
        cp = (cp << 6) | (b & 0x3F);
    }
    if ((length == 2 && cp < 0x80) || (length == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))))
        return false;
    out = cp;
    i += length;
    return true;
}

void encode(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

template <typename Map> std::string mapped(std::string_view text, Map map) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t cp = 0;
        const std::size_t start = i;
        if (decode(text, i, cp)) {
            encode(map(cp, start), out);
        } else {
            out.push_back(text[i]);
            ++i;
        }
    }
    return out;
}

bool isWordSeparator(char32_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

std::string upperCased(std::string_view text) {
    return mapped(text, [](char32_t c, std::size_t) { return toUpper(c); });
}

std::string lowerCased(std::string_view text) {
    return mapped(text, [](char32_t c, std::size_t) { return toLower(c); });
}

std::string capitalized(std::string_view text) {
    bool wordStart = true;
    return mapped(text, [&wordStart](char32_t c, std::size_t) {
        const bool separator = isWordSeparator(c);
        const char32_t result = separator ? c : (wordStart ? toUpper(c) : toLower(c));
        wordStart = separator;
        return result;
    });
}

} // namespace drovane
