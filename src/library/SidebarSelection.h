#pragma once

#include <string>

namespace drovane {

// What the library window's sidebar shows: every film, the favourites, the films on disk, or
// one group by name.
struct SidebarSelection {
    enum class Kind { All, Favorites, OnDisk, Group };

    Kind kind = Kind::All;
    std::string group; // only for Kind::Group

    static SidebarSelection all() { return {}; }
    static SidebarSelection favorites() { return {Kind::Favorites, {}}; }
    static SidebarSelection onDisk() { return {Kind::OnDisk, {}}; }
    static SidebarSelection named(std::string group) { return {Kind::Group, std::move(group)}; }

    // "all", "favorites" and "ondisk" (exactly, lower case) name the three fixed choices;
    // any other text names a group.
    static SidebarSelection fromOptionText(const std::string& text);

    friend bool operator==(const SidebarSelection&, const SidebarSelection&) = default;
};

} // namespace drovane
