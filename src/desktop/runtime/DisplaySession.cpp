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

} // namespace

DisplaySession chooseDisplaySession(const SessionEnvironment& environment, const CompositorOffer& offer) {
    DisplaySession session;
    const auto names = desktopNames(environment.currentDesktop);
    session.desktop = joined(names);
    const std::string type = lowercase(environment.sessionType.value_or(""));
    // The session's own word first: a terminal of a Wayland session may have DISPLAY set too.
    if (type == "wayland" || (type != "x11" && isSet(environment.waylandDisplay))) {
        session.server = DisplayServer::Wayland;
        if (isGnomeShell(names)) {
            if (isSet(environment.display)) {
                session.way = WallpaperWay::XWaylandWindow;
                session.qtPlatform = "xcb";
            }
            return session;
        }
        if (isPlasma(names) && environment.plasmaShell) {
            // Plasma's own wallpaper way goes here: its desktop covers the background layer.
            return session;
        }
        if (offer.layerShell) {
            // The Qt platform of the tray and windows does not matter to the wallpaper.
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
    case WallpaperWay::LayerShell:
        return "Drovane: Wayland session" + desktop +
               "; wallpapers are on the background layer of the Wayland compositor, drawn on the CPU into "
               "shared "
               "memory; " +
               (session.followsToplevels
                    ? "the active window, fullscreen or maximized, pauses the wallpaper under it"
                    : "covering windows are not followed on this compositor, only a wallpaper it stops "
                      "drawing "
                      "pauses");
    case WallpaperWay::None:
        break;
    }
    if (session.server == DisplayServer::None) {
        return "Drovane: no display server (neither WAYLAND_DISPLAY nor DISPLAY is set); no wallpaper is "
               "shown";
    }
    const bool gnome = isGnomeShell(desktopNames(session.desktop));
    return "Drovane: Wayland session" + desktop + (gnome ? " without XWayland" : "") +
           "; no wallpaper is shown: Drovane knows no way to place one under this compositor's desktop "
           "(the tray and the library window work as usual)";
}

} // namespace drovane::desktop
