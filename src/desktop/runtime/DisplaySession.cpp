#include "desktop/runtime/DisplaySession.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <vector>

namespace drovane::desktop {

namespace {

bool isSet(const std::optional<std::string>& value) {
    return value && !value->empty();
}

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::vector<std::string> desktopNames(const std::optional<std::string>& currentDesktop) {
    std::vector<std::string> names;
    std::istringstream in(currentDesktop.value_or(""));
    for (std::string name; std::getline(in, name, ':');) {
        if (!name.empty()) {
            names.push_back(name);
        }
    }
    return names;
}

// GNOME Shell under its own name or a distribution's ("ubuntu:GNOME", "Pop:GNOME").
bool isGnomeShell(const std::vector<std::string>& names) {
    return std::any_of(names.begin(), names.end(),
                       [](const std::string& n) { return lowercase(n) == "gnome"; });
}

bool isPlasma(const std::vector<std::string>& names) {
    return std::any_of(names.begin(), names.end(),
                       [](const std::string& n) { return lowercase(n) == "kde"; });
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names) {
        text += (text.empty() ? "" : ":") + name;
    }
    return text;
}

// Where the tray's menu and the windows go on a Wayland session without an XWayland wallpaper.
std::string windowsWords(const DisplaySession& session) {
    if (session.qtPlatform.starts_with("xcb")) {
        return "; the tray's menu and Drovane's windows go through XWayland";
    }
    return "; Drovane's windows are Wayland windows: a tray that asks for the menu at a point opens "
           "the library window instead";
}

} // namespace

DisplaySession chooseDisplaySession(const SessionEnvironment& environment, const CompositorOffer& offer) {
    DisplaySession session;
    const auto names = desktopNames(environment.currentDesktop);
    session.desktop = joined(names);
    const std::string type = lowercase(environment.sessionType.value_or(""));
    // The session's own word first: a terminal of a Wayland session may have DISPLAY set too.
    if (type == "wayland" || (type != "x11" && isSet(environment.waylandDisplay))) {
        session.server = DisplayServer::Wayland;
        if (isGnomeShell(names) && isSet(environment.display)) {
            session.way = WallpaperWay::XWaylandWindow;
            session.qtPlatform = "xcb";
            return session;
        }
        // Only on X11 can the tray's menu open at the point a host gives without a surface of
        // ours to hang from; Qt falls back to Wayland when the XWayland server does not answer.
        // The wallpaper, where there is one, does not depend on it.
        session.qtPlatform = isSet(environment.display) ? "xcb;wayland" : "wayland";
        if (isGnomeShell(names) || (isPlasma(names) && environment.plasmaShell)) {
            // Plasma's desktop covers the background layer: its own way is taken after this, or none.
            return session;
        }
        if (offer.layerShell) {
            session.way = WallpaperWay::LayerShell;
            session.followsToplevels = offer.toplevels;
        }
        return session;
    }
    if (type == "x11" || isSet(environment.display)) {
        session.server = DisplayServer::X11;
        session.way = WallpaperWay::X11Window;
        session.qtPlatform = "xcb";
    }
    return session;
}

std::string startupLine(const DisplaySession& session, const RendererChoice& renderer) {
    const std::string desktop = session.desktop.empty() ? "" : " (" + session.desktop + ")";
    switch (session.way) {
    case WallpaperWay::X11Window:
        return "Drovane: X11 session" + desktop + "; wallpapers are desktop-level X11 windows, " +
               rendererWords(renderer);
    case WallpaperWay::XWaylandWindow:
        return "Drovane: Wayland session" + desktop +
               "; wallpapers are desktop-level windows through XWayland, " + rendererWords(renderer) +
               "; windows of Wayland programs do not count as covering them";
    case WallpaperWay::PlasmaWallpaper:
        return std::string("Drovane: ") + (session.server == DisplayServer::X11 ? "X11" : "Wayland") +
               " session" + desktop +
               "; the film is Plasma's wallpaper: Drovane's wallpaper plugin shows each screen's picture "
               "from a PipeWire stream, drawn on the CPU";
    case WallpaperWay::LayerShell:
        return "Drovane: Wayland session" + desktop +
               "; wallpapers are on the background layer of the Wayland compositor, drawn on the CPU into "
               "shared memory; " +
               (session.followsToplevels
                    ? "the active window, fullscreen or maximized, pauses the wallpaper under it"
                    : "covering windows are not followed on this compositor, only a wallpaper it stops "
                      "drawing pauses") +
               windowsWords(session);
    case WallpaperWay::None:
        break;
    }
    if (session.server == DisplayServer::None) {
        return "Drovane: no display server (neither WAYLAND_DISPLAY nor DISPLAY is set); no wallpaper is "
               "shown";
    }
    const bool gnome = isGnomeShell(desktopNames(session.desktop));
    return "Drovane: Wayland session" + desktop + (gnome ? " without XWayland" : "") +
           "; no wallpaper is shown: Drovane knows no way to place one under this compositor's desktop" +
           windowsWords(session);
}

DisplaySession preferPlasma(DisplaySession session, const PlasmaProbe& probe, std::string& why) {
    why.clear();
    const auto names = desktopNames(session.desktop);
    const bool plasma =
        std::any_of(names.begin(), names.end(), [](const std::string& n) { return lowercase(n) == "kde"; });
    if (!plasma || session.server == DisplayServer::None) {
        return session;
    }
    const char* missing =
        !probe.shellRunning ? "plasmashell is not running (nobody owns org.kde.plasmashell)"
        : !probe.pipeWire   ? "PipeWire is not running"
        : !probe.pluginInstalled
            ? "Drovane's wallpaper plugin for Plasma (app.drovane.wallpaper) is not installed"
            : nullptr;
    if (missing) {
        why = std::string("Drovane: ") + missing +
              ", so the film cannot be Plasma's wallpaper; Drovane does what it does elsewhere";
        return session;
    }
    session.way = WallpaperWay::PlasmaWallpaper;
    return session;
}

std::string pipeWireSocket(const std::function<std::optional<std::string>(const std::string&)>& environment) {
    const std::string remote = environment("PIPEWIRE_REMOTE").value_or("");
    if (remote.starts_with("/")) {
        return remote;
    }
    std::string folder = environment("PIPEWIRE_RUNTIME_DIR").value_or("");
    if (folder.empty()) {
        folder = environment("XDG_RUNTIME_DIR").value_or("");
    }
    return folder.empty() ? std::string() : folder + "/" + (remote.empty() ? "pipewire-0" : remote);
}

} // namespace drovane::desktop
