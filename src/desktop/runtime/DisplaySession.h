#pragma once

#include "desktop/runtime/RendererChoice.h"

#include <functional>
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
    // Plasma (X11 or Wayland) draws its own desktop over any window: its wallpaper is Drovane's
    // plugin, showing each screen's picture from a PipeWire stream.
    PlasmaWallpaper,
    // A surface per output on the background layer of a Wayland compositor (wlroots, KWin),
    // through a connection of the program's own.
    LayerShell,
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
    // The compositor tells which windows are fullscreen or maximized, and where.
    bool followsToplevels = false;

    bool showsWallpaper() const { return way != WallpaperWay::None; }
};

// The session kind and how this program shows its wallpapers there. On Wayland GNOME Shell keeps
// an XWayland desktop window under its icons and out of its window lists; a compositor that
// offers the layer shell gets a background-layer surface instead. Any other would show an
// XWayland window as an ordinary one (in a taskbar, Alt-Tab, a tiling layout): no wallpaper there.
// The program's own windows and the tray's menu use XWayland wherever there is one: only there
// can a menu open at the point a tray host gives.
DisplaySession chooseDisplaySession(const SessionEnvironment& environment, const CompositorOffer& offer = {});

// The start-up line: the display server, and how the wallpapers are shown and drawn (`renderer`
// is ignored when none are shown).
std::string startupLine(const DisplaySession& session, const RendererChoice& renderer);

// What Plasma's way needs, probed at start.
struct PlasmaProbe {
    // plasmashell owns org.kde.plasmashell on the session bus.
    bool shellRunning = false;
    // A PipeWire daemon listens (see pipeWireSocket).
    bool pipeWire = false;
    // Drovane's wallpaper package is where plasmashell looks: without it plasmashell would show
    // an error on the desktop instead of a wallpaper.
    bool pluginInstalled = false;
};

// On Plasma (XDG_CURRENT_DESKTOP names KDE) Plasma's way where the probe allows it; otherwise
// `session` as it was, and `why` says in one line why Plasma's way is not taken (empty when
// the session is not Plasma's).
DisplaySession preferPlasma(DisplaySession session, const PlasmaProbe& probe, std::string& why);

// Where PipeWire's daemon listens: PIPEWIRE_REMOTE (absolute, or a name in the runtime folder),
// else pipewire-0, in PIPEWIRE_RUNTIME_DIR, else XDG_RUNTIME_DIR; empty without either folder.
std::string pipeWireSocket(const std::function<std::optional<std::string>(const std::string&)>& environment);

} // namespace drovane::desktop
