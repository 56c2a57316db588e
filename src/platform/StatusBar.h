#pragma once

#include "platform/Geometry.h"
#include "platform/Menu.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace drovane {

// The status-bar icon as a drawing: ellipses filled in one colour on a square canvas whose
// origin is the top-left corner. Backends draw it at whatever pixel size a host asks.
struct StatusIcon {
    struct Ellipse {
        double cx = 0;
        double cy = 0;
        double rx = 0;
        double ry = 0;
        friend bool operator==(const Ellipse&, const Ellipse&) = default;
    };

    Size canvas{18, 18};
    std::vector<Ellipse> ellipses;
    // Drawn in the panel's foreground colour (light on dark panels, dark on light ones) rather
    // than colours of its own.
    bool isTemplate = true;
    // Drawn at reduced opacity (the wallpaper is held back).
    bool dimmed = false;
    // What screen readers call the item.
    std::string accessibleName;

    friend bool operator==(const StatusIcon&, const StatusIcon&) = default;
};

// The program's item in the status bar (tray). Main thread only.
class StatusItem {
public:
    virtual ~StatusItem() = default;
    // Whether a host shows the item now (it has a button the user can click).
    virtual bool hasButton() const = 0;
    virtual void setIcon(const StatusIcon& icon) = 0;
    virtual void setToolTip(const std::string& text) = 0;
    // `build` makes the menu from live state. It is called whenever the menu is about to open
    // and the host says so, and after menuStateChanged(); its result is what the host shows.
    virtual void setMenuBuilder(std::function<Menu()> build) = 0;
    // What the menu shows has changed. Some hosts never announce that the menu opens, so the
    // backend rebuilds soon (coalesced, at most a few times a second).
    virtual void menuStateChanged() = 0;
};

class StatusBar {
public:
    virtual ~StatusBar() = default;
    // Creates the item; without a status-bar host it exists but shows no button until one
    // appears. Main thread.
    virtual std::shared_ptr<StatusItem> makeItem() = 0;
};

} // namespace drovane
