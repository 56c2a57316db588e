#pragma once

#include <functional>
#include <optional>
#include <string>

namespace drovane::desktop {

// The display servers Qt may show windows on.
struct DisplayServers {
    bool x11 = false;
    bool wayland = false;
    friend bool operator==(const DisplayServers&, const DisplayServers&) = default;
};

// The servers that the platform plugins named by a QT_QPA_PLATFORM value can use ("xcb",
// "wayland", "wayland-egl", fallbacks separated by ";", options after ":"); both when it is
// unset or empty. Nothing when one of the plugins needs neither (offscreen, vnc, eglfs...): then
// there is nothing to check before Qt.
std::optional<DisplayServers> displayServersFor(const std::optional<std::string>& qpaPlatform);

// Whether a display is there to show the wallpaper on: the X server of DISPLAY accepts a
// connection, or the Wayland compositor's socket of WAYLAND_DISPLAY does (each only where the
// plugins Qt will try can use it). Made before the QApplication, which aborts the process when it
// finds no display. `environment` reads the process's variables.
bool displayReachable(const std::function<std::optional<std::string>(const std::string&)>& environment);

} // namespace drovane::desktop
