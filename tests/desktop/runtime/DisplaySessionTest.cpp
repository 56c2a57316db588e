#include "desktop/runtime/DisplaySession.h"

#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

std::optional<std::string> unsetText() {
    return std::nullopt;
}

TEST(DisplaySessionTest, TheSessionDecidesThePluginAndWhetherAWallpaperShows) {
    const RendererChoice gl{Renderer::Gl, "DROVANE_RENDERER=gl"};
    const std::nullopt_t unset = std::nullopt;
    struct Row {
        SessionEnvironment environment; // type, WAYLAND_DISPLAY, DISPLAY, desktop
        std::string qtPlatform;
        WallpaperWay way;
        std::string line;
    };
    const Row rows[] = {
        {{"x11", unset, ":0", "XFCE"},
         "xcb",
         WallpaperWay::X11Window,
         "Drovane: X11 session (XFCE); wallpapers are desktop-level X11 windows, drawn with OpenGL "
         "(DROVANE_RENDERER=gl)"},
        // A bare X server started from a text console or over ssh.
        {{"tty", unset, ":99", unset},
         "xcb",
         WallpaperWay::X11Window,
         "Drovane: X11 session; wallpapers are desktop-level X11 windows, drawn with OpenGL "
         "(DROVANE_RENDERER=gl)"},
        {{"wayland", "wayland-0", ":0", "ubuntu:GNOME"},
         "xcb",
         WallpaperWay::XWaylandWindow,
         "Drovane: Wayland session (ubuntu:GNOME); wallpapers are desktop-level windows through XWayland, "
         "drawn "
         "with OpenGL (DROVANE_RENDERER=gl); windows of Wayland programs do not count as covering them"},
        {{unset, "wayland-0", ":1", "GNOME"}, "xcb", WallpaperWay::XWaylandWindow, ""},
        {{"wayland", "wayland-0", unset, "GNOME"},
         "",
         WallpaperWay::None,
         "Drovane: Wayland session (GNOME) without XWayland; no wallpaper is shown: Drovane knows no way to "
         "place "
         "one under this compositor's desktop (the tray and the library window work as usual)"},
        // An XWayland window would be an ordinary window there: tiled, in the taskbar, in Alt-Tab.
        {{"wayland", "wayland-1", ":0", "sway"},
         "",
         WallpaperWay::None,
         "Drovane: Wayland session (sway); no wallpaper is shown: Drovane knows no way to place one under "
         "this "
         "compositor's desktop (the tray and the library window work as usual)"},
        {{"wayland", "wayland-0", ":1", "KDE"}, "", WallpaperWay::None, ""},
        {{unset, "wayland-0", unset, unset},
         "",
         WallpaperWay::None,
         "Drovane: Wayland session; no wallpaper is shown: Drovane knows no way to place one under this "
         "compositor's desktop (the tray and the library window work as usual)"},
        // The session type outranks a display inherited from elsewhere.
        {{"x11", "wayland-0", ":0", "GNOME"}, "xcb", WallpaperWay::X11Window, ""},
        {{"", "", "", ""},
         "",
         WallpaperWay::None,
         "Drovane: no display server (neither WAYLAND_DISPLAY nor DISPLAY is set); no wallpaper is shown"},
    };
    for (const Row& row : rows) {
        const auto& e = row.environment;
        SCOPED_TRACE(e.sessionType.value_or("-") + " " + e.waylandDisplay.value_or("-") + " " +
                     e.display.value_or("-") + " " + e.currentDesktop.value_or("-"));
        const DisplaySession session = chooseDisplaySession(e);
        EXPECT_EQ(session.qtPlatform, row.qtPlatform);
        EXPECT_EQ(session.way, row.way);
        if (!row.line.empty()) {
            EXPECT_EQ(startupLine(session, gl), row.line);
        }
    }
}

TEST(DisplaySessionTest, ACompositorWithTheLayerShellGetsBackgroundSurfaces) {
    const RendererChoice software{Renderer::Software, "DROVANE_RENDERER=software"};
    const CompositorOffer layerShell{true, false}, both{true, true}, neither{};
    SessionEnvironment plasma{"wayland", "wayland-0", ":1", "KDE"};
    plasma.plasmaShell = true;
    struct Row {
        SessionEnvironment environment;
        CompositorOffer offer;
        WallpaperWay way;
        std::string line;
    };
    const Row rows[] = {
        {{"wayland", "wayland-1", ":0", "sway"},
         both,
         WallpaperWay::LayerShell,
         "Drovane: Wayland session (sway); wallpapers are on the background layer of the Wayland compositor, "
         "drawn on the CPU into shared memory; the active window, fullscreen or maximized, pauses the "
         "wallpaper under it"},
        {{"wayland", "wayland-1", unsetText(), "river"},
         layerShell,
         WallpaperWay::LayerShell,
         "Drovane: Wayland session (river); wallpapers are on the background layer of the Wayland "
         "compositor, "
         "drawn on the CPU into shared memory; covering windows are not followed on this compositor, only a "
         "wallpaper it stops drawing pauses"},
        // KWin alone offers it too; under plasmashell Plasma's desktop would hide it.
        {{"wayland", "wayland-0", ":1", "KDE"}, both, WallpaperWay::LayerShell, ""},
        {plasma, both, WallpaperWay::None, ""},
        // GNOME keeps its XWayland window whatever it offers.
        {{"wayland", "wayland-0", ":0", "GNOME"}, both, WallpaperWay::XWaylandWindow, ""},
        {{"wayland", "wayland-1", ":0", "sway"}, neither, WallpaperWay::None, ""},
        // An X11 session never asks a compositor.
        {{"x11", "wayland-0", ":0", "sway"}, both, WallpaperWay::X11Window, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.environment.currentDesktop.value_or("-"));
        const DisplaySession session = chooseDisplaySession(row.environment, row.offer);
        EXPECT_EQ(session.way, row.way);
        if (row.way == WallpaperWay::LayerShell) {
            // The tray's and windows' plugin is not the wallpaper's affair.
            EXPECT_EQ(session.qtPlatform, "");
        }
        if (!row.line.empty()) {
            EXPECT_EQ(startupLine(session, software), row.line);
        }
    }
}

} // namespace
} // namespace drovane::desktop
