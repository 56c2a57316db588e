#pragma once

#include <functional>
#include <string>
#include <vector>

namespace drovane {

// A menu as plain data; backends render it. Actions run on the main thread.
struct MenuItem {
    enum class Kind { Action, Separator, Header, Submenu };

    Kind kind = Kind::Action;
    std::string title;
    bool enabled = true;
    bool checked = false;
    std::string keyEquivalent;
    std::function<void()> action;
    std::vector<MenuItem> submenu;

    static MenuItem separator() { return MenuItem{Kind::Separator, {}, false, false, {}, {}, {}}; }
};

using Menu = std::vector<MenuItem>;

} // namespace drovane
