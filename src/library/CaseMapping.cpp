#include "library/CaseMapping.h"

#include "library/Utf8.h"

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

template <typename Map> std::string mapped(std::string_view text, Map map) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t cp = 0;
        if (decodeUtf8(text, i, cp)) {
            appendUtf8(map(cp), out);
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
    return mapped(text, [](char32_t c) { return toUpper(c); });
}

std::string lowerCased(std::string_view text) {
    return mapped(text, [](char32_t c) { return toLower(c); });
}

std::string capitalized(std::string_view text) {
    bool wordStart = true;
    return mapped(text, [&wordStart](char32_t c) {
        const bool separator = isWordSeparator(c);
        const char32_t result = separator ? c : (wordStart ? toUpper(c) : toLower(c));
        wordStart = separator;
        return result;
    });
}

} // namespace drovane
