#pragma once

#include "platform/Geometry.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace drovane::desktop {

// One top-level window as the window manager and the X server describe it.
struct StackedWindow {
    std::uint32_t id = 0;
    // The area it paints on screen in root coordinates: the client with the manager's frame
    // around it, less any client-side shadow.
    Rect frame;
    // Mapped, with every ancestor mapped (X's "viewable").
    bool viewable = true;
    // _NET_WM_STATE: minimized, rolled up to its title, full screen, maximized both ways.
    bool hidden = false;
    bool shaded = false;
    bool fullscreen = false;
    bool maximized = false;
    // An application's window (normal, dialog, or no type at all), not a dock, desktop, menu,
    // notification or our own wallpaper.
    bool applicationWindow = true;
    // Made see-through by the user (_NET_WM_WINDOW_OPACITY below opaque).
    bool translucent = false;
    // _NET_WM_DESKTOP; nothing when not set, allDesktops when on every desktop.
    std::optional<std::uint32_t> desktop;

    static constexpr std::uint32_t allDesktops = 0xFFFFFFFF;
};

// The top-level windows, bottom first, and the current desktop (_NET_CURRENT_DESKTOP).
struct StackSnapshot {
    std::vector<StackedWindow> windows;
    std::optional<std::uint32_t> currentDesktop;
};

// True when `screen` (the wallpaper window `wallpaper`'s screen) is wholly covered by
// application windows stacked above the wallpaper (all listed windows count when it is not
// listed) that are viewable, not minimized or rolled up, not translucent, and on the current
// desktop. A full-screen or maximized window covers the whole screen its centre lies on, panels
// and docks included; other windows cover their frames, together.
bool isScreenCovered(const StackSnapshot& snapshot, std::uint32_t wallpaper, Rect screen);

// The parts of `target` that `covers` leave uncovered; empty when they cover it all.
std::vector<Rect> uncoveredParts(Rect target, const std::vector<Rect>& covers);

} // namespace drovane::desktop
