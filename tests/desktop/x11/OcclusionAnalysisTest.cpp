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

TEST(OcclusionAnalysis, WhichWindowsCoverTheWallpapersScreen) {
    const StackedWindow wp = with(app(wallpaper, screen), [](auto& w) { w.applicationWindow = false; });
    const StackedWindow full = app(2, screen);
    struct Case {
        const char* what;
        StackSnapshot snapshot;
        Rect screenRect;
        bool covered;
    };
    // clang-format off
    const Case cases[] = {
        {"nothing above", {{wp}, 0}, screen, false},
        {"a window of the screen's size", {{wp, full}, 0}, screen, true},
        {"a larger one", {{wp, app(2, {{-10, -40}, {1950, 1130}})}, 0}, screen, true},
        {"one pixel short", {{wp, app(2, {{0, 0}, {1920, 1079}})}, 0}, screen, false},
        {"half the screen", {{wp, app(2, {{0, 0}, {960, 1080}})}, 0}, screen, false},
        {"two halves together", {{wp, app(2, {{0, 0}, {960, 1080}}), app(3, {{960, 0}, {960, 1080}})}, 0}, screen, true},
        {"three tiles with a gap", {{wp, app(2, {{0, 0}, {960, 1080}}), app(3, {{968, 0}, {952, 540}}), app(4, {{968, 540}, {952, 540}})}, 0}, screen, false},
        {"minimized", {{wp, with(full, [](auto& w) { w.hidden = true; })}, 0}, screen, false},
        {"unmapped", {{wp, with(full, [](auto& w) { w.viewable = false; })}, 0}, screen, false},
        {"rolled up", {{wp, with(full, [](auto& w) { w.shaded = true; })}, 0}, screen, false},
        {"see-through", {{wp, with(full, [](auto& w) { w.translucent = true; })}, 0}, screen, false},
        {"a dock", {{wp, with(full, [](auto& w) { w.applicationWindow = false; })}, 0}, screen, false},
        {"another program's desktop above", {{wp, desktopOf(2, "xfdesktop")}, 0}, screen, true},
        {"another program's desktop below", {{desktopOf(2, "xfdesktop"), wp}, 0}, screen, false},
        {"a see-through desktop with icons", {{wp, with(desktopOf(2, "ding"), [](auto& w) { w.translucent = true; })}, 0}, screen, false},
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
        EXPECT_EQ(isScreenCovered(c.snapshot, wallpaper, c.screenRect), c.covered) << c.what;
    }
}

TEST(OcclusionAnalysis, AnotherProgramsDesktopIsNamedWhenItTakesPartInHidingTheWallpaper) {
    const StackedWindow wp = with(app(wallpaper, screen), [](auto& w) { w.applicationWindow = false; });
    const Rect left{{0, 0}, {960, 1080}};
    const Rect right{{960, 0}, {960, 1080}};
    struct Case {
        const char* what;
        std::vector<StackedWindow> windows;
        bool covered;
        std::string program;
    };
    // clang-format off
    const Case cases[] = {
        {"its desktop over the whole screen", {wp, desktopOf(2, "pcmanfm")}, true, "pcmanfm"},
        {"one desktop over both screens", {wp, desktopOf(2, "xfdesktop", {{0, 0}, {3200, 1080}})}, true,"xfdesktop"},
        {"an application window over its desktop", {wp, desktopOf(2, "caja"), app(3, screen)}, true, "caja"},
        {"an application window alone", {wp, app(3, screen)}, true, ""},
        {"a full-screen window", {wp, with(app(3, screen), [](auto& w) { w.fullscreen = true; })}, true, ""},
        {"half its desktop, half a window", {wp, desktopOf(2, "nemo-desktop", left), app(3, right)}, true,"nemo-desktop"},
        {"its desktop on the other screen only", {wp, desktopOf(2, "pcmanfm", {{1920, 0}, {1280, 1024}})}, false,""},
        {"a desktop without WM_CLASS", {wp, desktopOf(2, "")}, true, "another program"},
    };
    // clang-format on
    for (const Case& c : cases) {
        const Coverage coverage = screenCoverage({c.windows, 0}, wallpaper, screen);
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

TEST(OcclusionAnalysis, UncoveredPartsAreWhatTheCoversLeave) {
    const Rect target{{0, 0}, {100, 100}};
    EXPECT_EQ(uncoveredParts(target, {}), std::vector<Rect>{target});
    EXPECT_TRUE(uncoveredParts(target, {{{-5, -5}, {200, 200}}}).empty());
    // A hole in the middle leaves a frame around it, of the same area.
    auto frame = uncoveredParts(target, {{{25, 25}, {50, 50}}});
    double area = 0;
    for (const Rect& r : frame) {
        area += r.size.width * r.size.height;
        EXPECT_TRUE(target.contains(r));
    }
    EXPECT_EQ(area, 100 * 100 - 50 * 50);
    // Many small covers that together cover it.
    std::vector<Rect> tiles;
    for (int x = 0; x < 100; x += 10) {
        for (int y = 0; y < 100; y += 10) {
            tiles.push_back({{double(x), double(y)}, {10, 10}});
        }
    }
    EXPECT_TRUE(uncoveredParts(target, tiles).empty());
    tiles.pop_back();
    EXPECT_EQ(uncoveredParts(target, tiles), (std::vector<Rect>{{{90, 90}, {10, 10}}}));
}

} // namespace
} // namespace drovane::desktop
