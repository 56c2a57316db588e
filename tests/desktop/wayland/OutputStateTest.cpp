#include "desktop/wayland/OutputState.h"

#include <gtest/gtest.h>

namespace drovane::desktop::wayland {
namespace {

TEST(OutputStateTest, AnOutputsScreenIsItsLogicalGeometry) {
    const std::optional<Rect> none;
    const Rect xdgOutput{{-1920, 0}, {1920, 1200}};
    const struct {
        OutputInfo output;
        Rect frame;
    } rows[] = {
        // clang-format off
        // id, name, x, y, mode, transform, scale, xdg-output's rectangle; the screen
        {{0, "", 0, 0, 1920, 1080, 0, 1, none}, {{0, 0}, {1920, 1080}}},
        // A 200 % output covers half its pixels in logical units.
        {{0, "", 1920, 0, 3840, 2160, 0, 2, none}, {{1920, 0}, {1920, 1080}}},
        // Turned a quarter (90, 270, and their flipped forms): width and height swap.
        {{0, "", 0, 0, 1920, 1080, 1, 1, none}, {{0, 0}, {1080, 1920}}},
        {{0, "", 0, 0, 1920, 1080, 7, 1, none}, {{0, 0}, {1080, 1920}}},
        {{0, "", 0, 0, 1920, 1080, 2, 1, none}, {{0, 0}, {1920, 1080}}},
        // xdg-output knows better, fractional scales included; an empty one is ignored.
        {{0, "", 0, 0, 2880, 1800, 0, 2, xdgOutput}, xdgOutput},
        {{0, "", 0, 0, 2560, 1440, 0, 2, Rect{{5, 5}, {0, 0}}}, {{0, 0}, {1280, 720}}},
        // A broken scale does not divide by zero.
        {{0, "", 0, 0, 800, 600, 0, 0, none}, {{0, 0}, {800, 600}}},
        // clang-format on
    };
    for (const auto& row : rows) {
        EXPECT_EQ(screenFrame(row.output), row.frame) << "row " << &row - rows;
    }
}

TEST(OutputStateTest, TheActiveFullscreenOrMaximizedWindowCoversItsOutputs) {
    struct Row {
        const char* what;
        std::vector<ToplevelInfo> toplevels;
        std::set<std::uint32_t> covered;
    };
    // clang-format off
    const Row rows[] = {
        {"no windows", {}, {}},
        {"a normal active window", {{.activated = true, .outputs = {1}}}, {}},
        {"fullscreen and active", {{.activated = true, .fullscreen = true, .outputs = {1}}}, {1}},
        // Regression: a fullscreen window on a workspace not shown froze the visible wallpaper.
        {"fullscreen, inactive", {{.fullscreen = true, .outputs = {1}}}, {}},
        {"maximized and active", {{.maximized = true, .activated = true, .outputs = {2}}}, {2}},
        {"maximized behind another", {{.maximized = true, .outputs = {2}}}, {}},
        {"minimized fullscreen", {{.minimized = true, .fullscreen = true, .outputs = {1}}}, {}},
        {"fullscreen across two outputs", {{.activated = true, .fullscreen = true, .outputs = {1, 2}}}, {1, 2}},
        {"on no output yet", {{.activated = true, .fullscreen = true, .outputs = {}}}, {}},
        {"one output of two", {{.activated = true, .fullscreen = true, .outputs = {2}}, {.outputs = {1}}}, {2}},
    };
    // clang-format on
    for (const Row& row : rows) {
        EXPECT_EQ(coveredOutputs(row.toplevels), row.covered) << row.what;
    }
}

} // namespace
} // namespace drovane::desktop::wayland
