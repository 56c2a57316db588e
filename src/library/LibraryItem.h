#pragma once

#include "platform/Url.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace drovane {

// A film as the library browser shows it. Identified by `id`.
struct LibraryItem {
    std::string id;         // the catalogue identifier, upper case
    std::string label;      // the tile's title
    std::string group;      // the group the tile is listed under
    std::optional<Url> url; // the local file; nothing while the film is not on disk
    std::optional<Url> previewURL;

    bool isOnDisk() const { return url.has_value(); }

    friend bool operator==(const LibraryItem&, const LibraryItem&) = default;
};

// One sidebar group: how many items it has, and how many of them are on disk.
struct GroupCount {
    std::string name;
    int total = 0;
    int onDisk = 0;

    friend bool operator==(const GroupCount&, const GroupCount&) = default;
};

} // namespace drovane

template <> struct std::hash<drovane::LibraryItem> {
    std::size_t operator()(const drovane::LibraryItem& item) const noexcept {
        std::size_t seed = 0;
        const auto mix = [&seed](std::size_t h) {
            seed ^= h + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2);
        };
        const std::hash<std::string> text;
        mix(text(item.id));
        mix(text(item.label));
        mix(text(item.group));
        mix(item.url ? text(item.url->string()) : 0);
        mix(item.previewURL ? text(item.previewURL->string()) : 1);
        return seed;
    }
};
