#pragma once

#include "desktop/runtime/RendererChoice.h"

#include <optional>
#include <string>

namespace drovane::desktop {

// What the session's environment says about its display server.
struct SessionEnvironment {
    std::optional<std::string> sessionType;    // XDG_SESSION_TYPE
    std::optional<std::string> waylandDisplay; // WAYLAND_DISPLAY
    std::optional<std::string> display;        // DISPLAY
    std::optional<std::string> currentDesktop; // XDG_CURRENT_DESKTOP, colon-separated names
};

enum class DisplayServer { X11, Wayland, None };

// How the wallpapers reach the screen in a session.
enum class WallpaperWay {
    // A desktop-level window per screen on the X server.
    X11Window,
    // The same window on the XWayland server of a compositor that stacks X11 desktop windows
    // under its own desktop (GNOME Shell).
    XWaylandWindow,
    // No way is known: no wallpaper window is made at all.
    None,
};

struct DisplaySession {
    DisplayServer server = DisplayServer::None;
    WallpaperWay way = WallpaperWay::None;
    // The Qt platform plugins the program must try, in order (Qt's -platform value); empty to
    // leave it to Qt.
    std::string qtPlatform;
    // The desktop as the session names it, for the log ("GNOME", "sway"); may be empty.
    std::string desktop;

    bool showsWallpaper() const { return way != WallpaperWay::None; }
};

// The session kind and how this program shows its wallpapers there. On Wayland only GNOME
// Shell is known to keep an XWayland desktop window under its icons and out of its window lists;
// every other compositor would show such a window as an ordinary one (in a taskbar, Alt-Tab, a
// tiling layout), so there the program shows none. Its own windows and the tray's menu use
// XWayland wherever there is one: only there can a menu open at the point a tray host gives.
DisplaySession chooseDisplaySession(const SessionEnvironment& environment);

// The start-up line: the display server, and how the wallpapers are shown and drawn (`renderer`
// is ignored when none are shown).
std::string startupLine(const DisplaySession& session, const RendererChoice& renderer);

} // namespace drovane::desktop
