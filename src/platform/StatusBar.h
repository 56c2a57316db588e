#pragma once

#include "platform/Menu.h"

#include <functional>
#include <memory>
#include <string>

namespace drovane {

struct StatusIcon {
    // Name of the glyph the backend draws.
    std::string glyph;
    // Drawn in the system's menu-bar colour rather than its own colours.
    bool isTemplate = true;
    // Drawn at reduced opacity (the wallpaper is throttled).
    bool dimmed = false;
};

// The program's item in the status bar (tray). Main thread only.
class StatusItem {
public:
    virtual ~StatusItem() = default;
    virtual void setIcon(const StatusIcon& icon) = 0;
    virtual void setToolTip(const std::string& text) = 0;
    // `build` is called just before the menu opens, and its result shown.
    virtual void setMenuBuilder(std::function<Menu()> build) = 0;
};

class StatusBar {
public:
    virtual ~StatusBar() = default;
    // Creates the item; without a status-bar host it exists but shows no button. Main thread.
    virtual std::shared_ptr<StatusItem> makeItem() = 0;
};

} // namespace drovane
