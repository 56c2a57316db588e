#include "support/CaseMapping.h"

#include <algorithm>
#include <memory>
#include <unicode/ucasemap.h>

namespace drovane {

namespace {

using CaseFunction = int32_t (*)(const UCaseMap*, char*, int32_t, const char*, int32_t, UErrorCode*);

struct CaseMapCloser {
    void operator()(UCaseMap* map) const { ucasemap_close(map); }
};

// The root locale: identifiers and sort keys must not change with the user's language (no
// Turkish dotless i for "ID").
const UCaseMap* rootCaseMap() {
    thread_local const std::unique_ptr<UCaseMap, CaseMapCloser> map([] {
        UErrorCode error = U_ZERO_ERROR;
        return ucasemap_open("", 0, &error);
    }());
    return map.get();
}

std::string mapped(std::string_view text, CaseFunction function) {
    if (text.empty()) {
        return {};
    }
    const UCaseMap* map = rootCaseMap();
    if (!map) {
        return std::string(text);
    }
    // Full mappings grow text by at most three times (one code point to three).
    std::string out(text.size() * 3 + 4, '\0');
    UErrorCode error = U_ZERO_ERROR;
    const int32_t length = function(map, out.data(), static_cast<int32_t>(out.size()), text.data(),
                                    static_cast<int32_t>(text.size()), &error);
    if (error == U_BUFFER_OVERFLOW_ERROR) {
        out.assign(static_cast<std::size_t>(length), '\0');
        error = U_ZERO_ERROR;
        function(map, out.data(), length, text.data(), static_cast<int32_t>(text.size()), &error);
    }
    if (U_FAILURE(error)) {
        return std::string(text);
    }
    out.resize(static_cast<std::size_t>(length));
    return out;
}

int32_t toUpper(const UCaseMap* map, char* dest, int32_t capacity, const char* src, int32_t length,
                UErrorCode* error) {
    return ucasemap_utf8ToUpper(map, dest, capacity, src, length, error);
}

int32_t toLower(const UCaseMap* map, char* dest, int32_t capacity, const char* src, int32_t length,
                UErrorCode* error) {
    return ucasemap_utf8ToLower(map, dest, capacity, src, length, error);
}

bool isWordSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The length of the UTF-8 sequence that `lead` starts (1 for a byte that starts none).
std::size_t sequenceLength(unsigned char lead) {
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

} // namespace

std::string upperCased(std::string_view text) {
    return mapped(text, toUpper);
}

std::string lowerCased(std::string_view text) {
    return mapped(text, toLower);
}

std::string capitalized(std::string_view text) {
    std::string out;
    std::size_t at = 0;
    while (at < text.size()) {
        if (isWordSeparator(text[at])) {
            out += text[at++];
            continue;
        }
        std::size_t end = at;
        while (end < text.size() && !isWordSeparator(text[end])) {
            ++end;
        }
        const std::string_view word = text.substr(at, end - at);
        const std::size_t first = std::min(word.size(), sequenceLength(static_cast<unsigned char>(word[0])));
        // Title case of the first letter alone (ǆ gives ǅ, ß gives Ss), lower case for the rest.
        std::string head = lowerCased(word.substr(0, first));
        UErrorCode error = U_ZERO_ERROR;
        std::string titled(head.size() * 3 + 4, '\0');
        UCaseMap* map = const_cast<UCaseMap*>(rootCaseMap());
        const int32_t length =
            !map ? 0
                 : ucasemap_utf8ToTitle(map, titled.data(), static_cast<int32_t>(titled.size()), head.data(),
                                        static_cast<int32_t>(head.size()), &error);
        out += map && U_SUCCESS(error) ? titled.substr(0, static_cast<std::size_t>(length)) : head;
        out += lowerCased(word.substr(first));
        at = end;
    }
    return out;
}

} // namespace drovane
