#include "desktop/wayland/OutputState.h"

#include <gtest/gtest.h>

namespace drovane::desktop::wayland {
namespace {

TEST(OutputStateTest, AnOutputsScreenIsItsLogicalGeometry) {
    const std::optional<Rect> none;
    struct Row {
        int x, y, modeWidth, modeHeight, transform, scale;
        std::optional<Rect> logical;
        Rect frame;
    };
    const Row rows[] = {
        {0, 0, 1920, 1080, 0, 1, none, {{0, 0}, {1920, 1080}}},
        // A 200 % output covers half its pixels in logical units.
        {1920, 0, 3840, 2160, 0, 2, none, {{1920, 0}, {1920, 1080}}},
        // Turned a quarter (90, 270, and their flipped forms): width and height swap.
        {0, 0, 1920, 1080, 1, 1, none, {{0, 0}, {1080, 1920}}},
        {0, 0, 1920, 1080, 7, 1, none, {{0, 0}, {1080, 1920}}},
        {0, 0, 1920, 1080, 2, 1, none, {{0, 0}, {1920, 1080}}},
        // xdg-output knows better, fractional scales included; an empty one is ignored.
        {0, 0, 2880, 1800, 0, 2, Rect{{-1920, 0}, {1920, 1200}}, {{-1920, 0}, {1920, 1200}}},
        {0, 0, 2560, 1440, 0, 2, Rect{{5, 5}, {0, 0}}, {{0, 0}, {1280, 720}}},
        // A broken scale does not divide by zero.
        {0, 0, 800, 600, 0, 0, none, {{0, 0}, {800, 600}}},
    };
    for (const Row& row : rows) {
        OutputInfo output;
        output.x = row.x;
        output.y = row.y;
        output.modeWidth = row.modeWidth;
        output.modeHeight = row.modeHeight;
        output.transform = row.transform;
        output.scale = row.scale;
        output.logical = row.logical;
        SCOPED_TRACE(std::to_string(row.modeWidth) + "x" + std::to_string(row.modeHeight) + " transform " +
                     std::to_string(row.transform) + " scale " + std::to_string(row.scale));
        EXPECT_EQ(screenFrame(output), row.frame);
    }
}

TEST(OutputStateTest, TheActiveFullscreenOrMaximizedWindowCoversItsOutputs) {
    struct Row {
        const char* what;
        std::vector<ToplevelInfo> toplevels;
        std::set<std::uint32_t> covered;
    };
    const auto window = [](bool maximized, bool minimized, bool activated, bool fullscreen,
                           std::set<std::uint32_t> outputs) {
        return ToplevelInfo{maximized, minimized, activated, fullscreen, std::move(outputs)};
    };
    const Row rows[] = {
        {"no windows", {}, {}},
        {"a normal active window", {window(false, false, true, false, {1})}, {}},
        {"fullscreen and active", {window(false, false, true, true, {1})}, {1}},
        // Regression: a fullscreen window on a workspace not shown froze the visible wallpaper.
        {"fullscreen, inactive", {window(false, false, false, true, {1})}, {}},
        {"maximized and active", {window(true, false, true, false, {2})}, {2}},
        {"maximized behind another", {window(true, false, false, false, {2})}, {}},
        {"minimized fullscreen", {window(false, true, false, true, {1})}, {}},
        {"fullscreen across two outputs", {window(false, false, true, true, {1, 2})}, {1, 2}},
        {"on no output yet", {window(false, false, true, true, {})}, {}},
        {"one output of two",
         {window(false, false, true, true, {2}), window(false, false, false, false, {1})},
         {2}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(coveredOutputs(row.toplevels), row.covered);
    }
}

} // namespace
} // namespace drovane::desktop::wayland
