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
    // plasmashell runs in the session: Plasma's desktop lies over any background layer.
    bool plasmaShell = false;
};

// What the Wayland compositor offers, probed at start.
struct CompositorOffer {
    bool layerShell = false; // zwlr_layer_shell_v1
    bool toplevels = false;  // zwlr_foreign_toplevel_manager_v1
};

enum class DisplayServer { X11, Wayland, None };

// How the wallpapers reach the screen in a session.
enum class WallpaperWay {
    // A desktop-level window per screen on the X server.
    X11Window,
    // The same window on the XWayland server of a compositor that stacks X11 desktop windows
    // under its own desktop (GNOME Shell).
    XWaylandWindow,
    // A surface per output on the background layer of a Wayland compositor (wlroots, KWin),
    // through a connection of the program's own.
    LayerShell,
    // No way is known: no wallpaper window is made at all.
    None,
};

struct DisplaySession {
    DisplayServer server = DisplayServer::None;
    WallpaperWay way = WallpaperWay::None;
    // The Qt platform plugin the program must use; empty to leave it to Qt.
    std::string qtPlatform;
    // The desktop as the session names it, for the log ("GNOME", "sway"); may be empty.
    std::string desktop;
    // The compositor tells which windows are fullscreen or maximized, and where.
    bool followsToplevels = false;

    bool showsWallpaper() const { return way != WallpaperWay::None; }
};

// The session kind and how this program shows its wallpapers there. On Wayland GNOME Shell keeps
// an XWayland desktop window under its icons and out of its window lists; a compositor that
// offers the layer shell gets a background-layer surface instead. Any other would show an
// XWayland window as an ordinary one (in a taskbar, Alt-Tab, a tiling layout): no wallpaper there.
DisplaySession chooseDisplaySession(const SessionEnvironment& environment, const CompositorOffer& offer = {});

// The start-up line: the display server, and how the wallpapers are shown and drawn (`renderer`
// is ignored when none are shown).
std::string startupLine(const DisplaySession& session, const RendererChoice& renderer);

} // namespace drovane::desktop
