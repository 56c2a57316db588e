#include "desktop/runtime/DisplaySession.h"

#include <gtest/gtest.h>
#include <map>
#include <memory>

namespace drovane::desktop {
namespace {

constexpr std::nullopt_t unset = std::nullopt;

// The session's description, for a failure's message.
std::string described(const SessionEnvironment& e) {
    return e.sessionType.value_or("-") + " " + e.waylandDisplay.value_or("-") + " " +
           e.display.value_or("-") + " " + e.currentDesktop.value_or("-");
}

// (The way each desktop of the matrix takes, and the wallpaper it shows, scripts/desktops checks
// on the real desktops: XFCE, GNOME on X11 and Wayland, Plasma, KWin alone, sway, Openbox.)
TEST(DisplaySessionTest, TheSessionDecidesThePluginAndWhetherAWallpaperShows) {
    const RendererChoice gl{Renderer::Gl, "DROVANE_RENDERER=gl"};
    // clang-format off
    const struct {
        SessionEnvironment environment; // type, WAYLAND_DISPLAY, DISPLAY, desktop
        std::string qtPlatform;
        WallpaperWay way;
        std::string line;
    } rows[] = {
        // A bare X server started from a text console or over ssh.
        {{"tty", unset, ":99", unset}, "xcb", WallpaperWay::X11Window,
         "Drovane: X11 session; wallpapers are desktop-level X11 windows, drawn with OpenGL (DROVANE_RENDERER=gl)"},
        {{unset, "wayland-0", ":1", "GNOME"}, "xcb", WallpaperWay::XWaylandWindow, ""},
        {{"wayland", "wayland-0", unset, "GNOME"}, "wayland", WallpaperWay::None,
         "Drovane: Wayland session (GNOME) without XWayland; no wallpaper is shown: Drovane knows no way to "
         "place one under this compositor's desktop; Drovane's windows are Wayland windows: a tray that asks "
         "for the menu at a point opens the library window instead"},
        // An XWayland wallpaper would be an ordinary window there: tiled, in the taskbar, in Alt-Tab;
        // but the tray's menu can open only through XWayland.
        {{"wayland", "wayland-1", ":0", "sway"}, "xcb;wayland", WallpaperWay::None,
         "Drovane: Wayland session (sway); no wallpaper is shown: Drovane knows no way to place one under "
         "this compositor's desktop; the tray's menu and Drovane's windows go through XWayland"},
        {{"wayland", "wayland-0", ":1", "KDE"}, "xcb;wayland", WallpaperWay::None, ""},
        {{unset, "wayland-0", unset, unset}, "wayland", WallpaperWay::None, ""},
        // The session type outranks a display inherited from elsewhere.
        {{"x11", "wayland-0", ":0", "GNOME"}, "xcb", WallpaperWay::X11Window, ""},
        {{"", "", "", ""}, "", WallpaperWay::None,
         "Drovane: no display server (neither WAYLAND_DISPLAY nor DISPLAY is set); no wallpaper is shown"},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(described(row.environment));
        const DisplaySession session = chooseDisplaySession(row.environment);
        EXPECT_EQ(session.qtPlatform, row.qtPlatform);
        EXPECT_EQ(session.way, row.way);
        if (!row.line.empty()) {
            EXPECT_EQ(startupLine(session, gl), row.line);
        }
    }
}

TEST(DisplaySessionTest, PlasmaTakesItsOwnWayOnlyWithPlasmashellAndPipeWire) {
    const std::string elsewhere =
        ", so the film cannot be Plasma's wallpaper; Drovane does what it does elsewhere";
    // clang-format off
    const struct {
        SessionEnvironment environment;
        PlasmaProbe probe;
        WallpaperWay way;
        std::string why;
    } rows[] = {
        {{"wayland", "wayland-0", ":1", "KDE"}, {true, true, true}, WallpaperWay::PlasmaWallpaper, ""},
        {{"x11", unset, ":0", "KDE"}, {false, true, true}, WallpaperWay::X11Window,
         "Drovane: plasmashell is not running (nobody owns org.kde.plasmashell)" + elsewhere},
        {{"wayland", "wayland-0", ":1", "KDE"}, {true, false, true}, WallpaperWay::None,
         "Drovane: PipeWire is not running" + elsewhere},
        // Run from the build tree: plasmashell would show an error where the wallpaper was.
        {{"x11", unset, ":0", "KDE"}, {true, true, false}, WallpaperWay::X11Window,
         "Drovane: Drovane's wallpaper plugin for Plasma (app.drovane.wallpaper) is not installed" + elsewhere},
        // Another desktop with a plasmashell left running does not count.
        {{"x11", unset, ":0", "XFCE"}, {true, true, true}, WallpaperWay::X11Window, ""},
        {{"", "", "", "KDE"}, {true, true, true}, WallpaperWay::None, ""},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(described(row.environment));
        std::string why = "stale";
        const DisplaySession session = preferPlasma(chooseDisplaySession(row.environment), row.probe, why);
        EXPECT_EQ(session.way, row.way);
        EXPECT_EQ(why, row.why);
    }

    using Variables = std::map<std::string, std::string>;
    // clang-format off
    const std::pair<Variables, std::string> sockets[] = {
        {{{"XDG_RUNTIME_DIR", "/run/user/1"}}, "/run/user/1/pipewire-0"},
        {{{"XDG_RUNTIME_DIR", "/run/user/1"}, {"PIPEWIRE_RUNTIME_DIR", "/pw"}, {"PIPEWIRE_REMOTE", "other"}},
         "/pw/other"},
        {{{"XDG_RUNTIME_DIR", "/run/user/1"}, {"PIPEWIRE_REMOTE", "/tmp/pw-sock"}}, "/tmp/pw-sock"},
        {{}, ""},
    };
    // clang-format on
    for (const auto& [variables, socket] : sockets) {
        EXPECT_EQ(pipeWireSocket([&](const std::string& name) -> std::optional<std::string> {
                      auto it = variables.find(name);
                      return it == variables.end() ? std::nullopt : std::optional(it->second);
                  }),
                  socket);
    }
}

TEST(DisplaySessionTest, ACompositorWithTheLayerShellGetsBackgroundSurfaces) {
    const RendererChoice software{Renderer::Software, "DROVANE_RENDERER=software"};
    const CompositorOffer layerShell{true, false}, both{true, true}, neither{};
    SessionEnvironment plasma{"wayland", "wayland-0", ":1", "KDE"};
    plasma.plasmaShell = true;
    // clang-format off
    const struct {
        SessionEnvironment environment;
        CompositorOffer offer;
        WallpaperWay way;
        std::string line;
    } rows[] = {
        {{"wayland", "wayland-1", unset, "river"}, layerShell, WallpaperWay::LayerShell,
         "Drovane: Wayland session (river); wallpapers are on the background layer of the Wayland "
         "compositor, drawn on the CPU into shared memory; covering windows are not followed on this "
         "compositor, only a wallpaper it stops drawing pauses; Drovane's windows are Wayland windows: a "
         "tray that asks for the menu at a point opens the library window instead"},
        // KWin alone offers it too; under plasmashell Plasma's desktop would hide it.
        {{"wayland", "wayland-0", ":1", "KDE"}, both, WallpaperWay::LayerShell, ""},
        {plasma, both, WallpaperWay::None, ""},
        {{"wayland", "wayland-1", ":0", "sway"}, neither, WallpaperWay::None, ""},
        // An X11 session never asks a compositor.
        {{"x11", "wayland-0", ":0", "sway"}, both, WallpaperWay::X11Window, ""},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(described(row.environment));
        const DisplaySession session = chooseDisplaySession(row.environment, row.offer);
        EXPECT_EQ(session.way, row.way);
        if (!row.line.empty()) {
            EXPECT_EQ(startupLine(session, software), row.line);
        }
    }
}

} // namespace
} // namespace drovane::desktop
