#include "desktop/x11/OcclusionAnalysis.h"

#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

constexpr std::uint32_t wallpaper = 1;
const Rect screen{{0, 0}, {1920, 1080}};
const Rect rightScreen{{1920, 0}, {1280, 1024}};

StackedWindow app(std::uint32_t id, Rect frame) {
    StackedWindow w;
    w.id = id;
    w.frame = frame;
    return w;
}

StackedWindow with(StackedWindow w, const std::function<void(StackedWindow&)>& change) {
    change(w);
    return w;
}

StackedWindow desktopOf(std::uint32_t id, std::string program, Rect frame = screen) {
    StackedWindow w = app(id, frame);
    w.applicationWindow = false;
    w.desktopWindow = true;
    w.program = std::move(program);
    return w;
}

// Whether the wallpaper's screen is covered and, where another program's desktop takes part in
// covering it, which program's.
TEST(OcclusionAnalysis, WhichWindowsCoverTheWallpapersScreen) {
    const StackedWindow wp = with(app(wallpaper, screen), [](auto& w) { w.applicationWindow = false; });
    const StackedWindow full = app(2, screen);
    const Rect left{{0, 0}, {960, 1080}};
    const Rect right{{960, 0}, {960, 1080}};
    struct Case {
        const char* what;
        StackSnapshot snapshot;
        Rect screenRect;
        bool covered;
        std::string program = {};
    };
    // clang-format off
    const Case cases[] = {
        {"nothing above", {{wp}, 0}, screen, false},
        {"a window of the screen's size", {{wp, full}, 0}, screen, true},
        {"a larger one", {{wp, app(2, {{-10, -40}, {1950, 1130}})}, 0}, screen, true},
        {"one pixel short", {{wp, app(2, {{0, 0}, {1920, 1079}})}, 0}, screen, false},
        {"half the screen", {{wp, app(2, left)}, 0}, screen, false},
        {"two halves together", {{wp, app(2, left), app(3, right)}, 0}, screen, true},
        {"three tiles with a gap", {{wp, app(2, left), app(3, {{968, 0}, {952, 540}}), app(4, {{968, 540}, {952, 540}})}, 0}, screen, false},
        {"minimized", {{wp, with(full, [](auto& w) { w.hidden = true; })}, 0}, screen, false},
        {"unmapped", {{wp, with(full, [](auto& w) { w.viewable = false; })}, 0}, screen, false},
        {"rolled up", {{wp, with(full, [](auto& w) { w.shaded = true; })}, 0}, screen, false},
        {"see-through", {{wp, with(full, [](auto& w) { w.translucent = true; })}, 0}, screen, false},
        {"a dock", {{wp, with(full, [](auto& w) { w.applicationWindow = false; })}, 0}, screen, false},
        {"another program's desktop above", {{wp, desktopOf(2, "xfdesktop")}, 0}, screen, true, "xfdesktop"},
        {"another program's desktop below", {{desktopOf(2, "xfdesktop"), wp}, 0}, screen, false},
        {"a see-through desktop with icons", {{wp, with(desktopOf(2, "ding"), [](auto& w) { w.translucent = true; })}, 0}, screen, false},
        {"one desktop over both screens", {{wp, desktopOf(2, "xfdesktop", {{0, 0}, {3200, 1080}})}, 0}, screen, true, "xfdesktop"},
        {"an application window over its desktop", {{wp, desktopOf(2, "caja"), full}, 0}, screen, true, "caja"},
        {"a full-screen window", {{wp, with(full, [](auto& w) { w.fullscreen = true; })}, 0}, screen, true},
        {"half its desktop, half a window", {{wp, desktopOf(2, "nemo-desktop", left), app(3, right)}, 0}, screen, true, "nemo-desktop"},
        {"its desktop on the other screen only", {{wp, desktopOf(2, "pcmanfm", rightScreen)}, 0}, screen, false},
        {"a desktop without WM_CLASS", {{wp, desktopOf(2, "")}, 0}, screen, true, "another program"},
        {"on another desktop", {{wp, with(full, [](auto& w) { w.desktop = 1; })}, 0}, screen, false},
        {"on the current desktop", {{wp, with(full, [](auto& w) { w.desktop = 1; })}, 1}, screen, true},
        {"on every desktop", {{wp, with(full, [](auto& w) { w.desktop = StackedWindow::allDesktops; })}, 1}, screen, true},
        {"desktops unknown", {{wp, with(full, [](auto& w) { w.desktop = 3; })}, std::nullopt}, screen, true},
        {"below the wallpaper", {{full, wp}, 0}, screen, false},
        {"wallpaper not listed: all count", {{full}, 0}, screen, true},
        {"maximized below a panel", {{wp, with(app(2, {{0, 32}, {1920, 1048}}), [](auto& w) { w.maximized = true; })}, 0}, screen, true},
        {"the same size, not maximized", {{wp, app(2, {{0, 32}, {1920, 1048}})}, 0}, screen, false},
        {"full screen on the other screen", {{wp, with(app(2, rightScreen), [](auto& w) { w.fullscreen = true; })}, 0}, screen, false},
        {"the other screen's wallpaper under it", {{wp, with(app(2, rightScreen), [](auto& w) { w.fullscreen = true; })}, 0}, rightScreen, true},
        {"a window across both screens covers the left one only in part", {{wp, app(2, {{960, 0}, {2240, 1080}})}, 0}, screen, false},
        {"empty windows", {{wp, app(2, {{0, 0}, {0, 0}})}, 0}, screen, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        const Coverage coverage = screenCoverage(c.snapshot, wallpaper, c.screenRect);
        EXPECT_EQ(coverage.covered, c.covered) << c.what;
        EXPECT_EQ(coverage.desktopProgram, c.program) << c.what;
    }
}

TEST(OcclusionAnalysis, TheWallpaperGoesDownUnderEveryOtherDesktopBelowIt) {
    const StackedWindow wp = with(app(wallpaper, screen), [](auto& w) { w.applicationWindow = false; });
    const StackedWindow unmapped = with(desktopOf(3, "pcmanfm"), [](auto& w) { w.viewable = false; });
    struct Case {
        const char* what;
        std::vector<StackedWindow> windows;
        std::vector<std::uint32_t> below;
    };
    // clang-format off
    const Case cases[] = {
        {"alone", {wp}, {}},
        {"under the icons", {wp, desktopOf(2, "xfdesktop")}, {}},
        {"over the icons", {desktopOf(2, "xfdesktop"), wp}, {2}},
        {"over two, under an application", {desktopOf(2, "a"), desktopOf(4, "b"), wp, app(5, screen)}, {2, 4}},
        {"over an unmapped one", {unmapped, wp}, {}},
        {"not listed", {desktopOf(2, "xfdesktop")}, {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_EQ(desktopsBelow({c.windows, 0}, wallpaper), c.below) << c.what;
    }
}

} // namespace
} // namespace drovane::desktop
