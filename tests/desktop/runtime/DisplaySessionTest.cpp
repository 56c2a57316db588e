#include "desktop/runtime/DisplaySession.h"

#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

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
         "wayland",
         WallpaperWay::None,
         "Drovane: Wayland session (GNOME) without XWayland; no wallpaper is shown: Drovane knows no way to "
         "place one under this compositor's desktop; Drovane's windows are Wayland windows: a tray that asks "
         "for the menu at a point opens the library window instead"},
        // An XWayland wallpaper would be an ordinary window there: tiled, in the taskbar, in Alt-Tab;
        // but the tray's menu can open only through XWayland.
        {{"wayland", "wayland-1", ":0", "sway"},
         "xcb;wayland",
         WallpaperWay::None,
         "Drovane: Wayland session (sway); no wallpaper is shown: Drovane knows no way to place one under "
         "this compositor's desktop; the tray's menu and Drovane's windows go through XWayland"},
        {{"wayland", "wayland-0", ":1", "KDE"}, "xcb;wayland", WallpaperWay::None, ""},
        {{unset, "wayland-0", unset, unset}, "wayland", WallpaperWay::None, ""},
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

} // namespace
} // namespace drovane::desktop
