#pragma once

#include "platform/Geometry.h"

#include <cstdint>
#include <optional>
#include <string>
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
    // Another program's desktop (_NET_WM_WINDOW_TYPE_DESKTOP): an icon program painting the
    // desktop itself, which hides whatever is below it unless it is see-through.
    bool desktopWindow = false;
    // Made see-through by the user (_NET_WM_WINDOW_OPACITY below opaque), or, for a desktop window
    // under a compositor, drawn with an alpha channel (icons over a transparent desktop).
    bool translucent = false;
    // The class part of WM_CLASS ("Xfdesktop", "Pcmanfm"); empty when not set.
    std::string program;
    // _NET_WM_DESKTOP; nothing when not set, allDesktops when on every desktop.
    std::optional<std::uint32_t> desktop;

    static constexpr std::uint32_t allDesktops = 0xFFFFFFFF;
};

// The top-level windows, bottom first, and the current desktop (_NET_CURRENT_DESKTOP).
struct StackSnapshot {
    std::vector<StackedWindow> windows;
    std::optional<std::uint32_t> currentDesktop;
};

struct Coverage {
    bool covered = false;
    // When covered and another program's desktop window takes part: that window's program.
    std::string desktopProgram;
};

// Whether `screen` (the wallpaper window `wallpaper`'s screen) is wholly covered by application
// windows and other programs' desktop windows stacked above the wallpaper (all listed windows
// count when it is not listed) that are viewable, not minimized or rolled up, not translucent,
// and on the current desktop. A full-screen or maximized window covers the whole screen its
// centre lies on, panels and docks included; other windows cover their frames, together.
// The caller marks its own wallpaper windows as neither kind.
Coverage screenCoverage(const StackSnapshot& snapshot, std::uint32_t wallpaper, Rect screen);

// Other programs' mapped desktop windows stacked below the wallpaper `wallpaper`, whose icons it
// would hide: it must go down again.
std::vector<std::uint32_t> desktopsBelow(const StackSnapshot& snapshot, std::uint32_t wallpaper);

// The parts of `target` that `covers` leave uncovered; empty when they cover it all.
std::vector<Rect> uncoveredParts(Rect target, const std::vector<Rect>& covers);

} // namespace drovane::desktop
