#pragma once

#include <functional>
#include <string>
#include <vector>

namespace drovane {

enum class LayoutDirection { LeftToRight, RightToLeft };

// A menu as plain data; backends render it. Actions run on the main thread, from the event loop.
struct MenuItem {
    enum class Kind { Action, Separator, Header, Submenu };

    Kind kind = Kind::Action;
    std::string title;
    bool enabled = true;
    bool checked = false;
    // A single character; the backend adds the platform's command modifier.
    std::string keyEquivalent;
    std::function<void()> action;
    std::vector<MenuItem> submenu;
    // Names the item across rebuilds: a backend that keeps its items alive between rebuilds
    // keeps the one with the same identifier (a title may change, the item stays). Unique
    // within one menu tree; empty lets the backend number the item by position.
    std::string identifier;
    // The item shows a check mark when `checked` (and room for one when not).
    bool checkable = false;
    // How the items of `submenu` are laid out.
    LayoutDirection submenuDirection = LayoutDirection::LeftToRight;

    static MenuItem separator(std::string identifier = {}) {
        MenuItem item;
        item.kind = Kind::Separator;
        item.enabled = false;
        item.identifier = std::move(identifier);
        return item;
    }
};

using Menu = std::vector<MenuItem>;

} // namespace drovane
