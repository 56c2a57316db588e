#include "update/VersionOrder.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string>

namespace drovane {

namespace {

std::vector<std::string_view> nonEmptyPieces(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find(separator, start), text.size());
        if (end > start) {
            pieces.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return pieces;
}

// An optional sign and decimal digits, nothing else; 0 otherwise or when out of range.
std::int64_t decimal(std::string_view piece) {
    bool negative = false;
    if (!piece.empty() && (piece.front() == '+' || piece.front() == '-')) {
        negative = piece.front() == '-';
        piece.remove_prefix(1);
    }
    if (piece.empty() || piece.front() == '+' || piece.front() == '-') {
        return 0;
    }
    // Read as the negative number when signed, so that the smallest value fits too.
    const std::string text = (negative ? "-" : "") + std::string(piece);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : 0;
}

} // namespace

std::vector<std::int64_t> versionOrder(std::string_view version) {
    std::string_view numeric = version;
    std::string_view tag;
    bool tagged = false;
    if (const auto dash = version.find('-'); dash != std::string_view::npos) {
        // The two halves; an empty one is dropped, so "-beta" has the numeric part "beta".
        std::vector<std::string_view> halves;
        for (std::string_view half : {version.substr(0, dash), version.substr(dash + 1)}) {
            if (!half.empty()) {
                halves.push_back(half);
            }
        }
        numeric = halves.empty() ? std::string_view() : halves[0];
        tagged = halves.size() == 2;
        tag = tagged ? halves[1] : std::string_view();
    }

    std::vector<std::int64_t> order;
    for (std::string_view piece : nonEmptyPieces(numeric, '.')) {
        order.push_back(decimal(piece));
    }
    while (order.size() < 3) {
        order.push_back(0);
    }
    if (!tagged) {
        order.push_back(std::numeric_limits<std::int64_t>::max());
        order.push_back(0);
        return order;
    }
    order.push_back(tag.starts_with("alpha") ? 0 : tag.starts_with("beta") ? 1 : 2);
    const auto tagPieces = nonEmptyPieces(tag, '.');
    order.push_back(tagPieces.empty() ? 0 : decimal(tagPieces.back()));
    return order;
}

bool isNewer(std::string_view a, std::string_view b) {
    const auto first = versionOrder(a);
    const auto second = versionOrder(b);
    for (std::size_t i = 0; i < std::min(first.size(), second.size()); ++i) {
        if (first[i] != second[i]) {
            return first[i] > second[i];
        }
    }
    return false;
}

} // namespace drovane
