#include "desktop/render/PixelGeometry.h"

#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

// Regression: at fractional factors Qt scales a window's size alone and rounds it, so a window
// the size of a 1280x720 screen at 1.75 was 1279x719 pixels and one the size of a 1366x768
// screen 1367 pixels wide, a pixel over its neighbour.
TEST(PixelFrameTest, AWindowCoversThePixelsItsLogicalFrameCoversOnItsScreen) {
    // clang-format off
    const struct {
        const char* what;
        QRect frame, screen, screenPixels, expected;
    } rows[] = {
        {"unscaled", {0, 0, 1920, 1080}, {0, 0, 1920, 1080}, {0, 0, 1920, 1080}, {0, 0, 1920, 1080}},
        {"twice", {0, 0, 960, 540}, {0, 0, 960, 540}, {0, 0, 1920, 1080}, {0, 0, 1920, 1080}},
        {"1.75, short", {1920, 0, 731, 411}, {1920, 0, 731, 411}, {1920, 0, 1280, 720}, {1920, 0, 1280, 720}},
        {"1.75, over", {0, 0, 781, 439}, {0, 0, 781, 439}, {0, 0, 1366, 768}, {0, 0, 1366, 768}},
        {"1.5, a part", {10, 20, 100, 50}, {0, 0, 1280, 720}, {0, 0, 1920, 1080}, {15, 30, 150, 75}},
        {"twice, right screen", {2020, 10, 200, 100}, {1920, 0, 640, 360}, {1920, 0, 1280, 720}, {2120, 20, 400, 200}},
        {"beyond the screen", {-100, 0, 1060, 540}, {0, 0, 960, 540}, {0, 0, 1920, 1080}, {-200, 0, 2120, 1080}},
        {"empty frame", {5, 5, 0, 0}, {0, 0, 960, 540}, {0, 0, 1920, 1080}, {10, 10, 1, 1}},
        {"empty screen", {5, 6, 30, 40}, {0, 0, 0, 0}, {0, 0, 0, 0}, {5, 6, 30, 40}},
    };
    // clang-format on
    for (const auto& row : rows) {
        EXPECT_EQ(pixelFrame(row.frame, row.screen, row.screenPixels), row.expected) << row.what;
    }
}

// Qt paints a window at its rounded logical size times the ratio, rounded: 1280 pixels at 1.75
// are 731 units, painted as 1279 pixels.
TEST(PixelFrameTest, AWindowQtPaintsGrowsToTheNextLengthItPaintsWhole) {
    const struct {
        int pixels;
        double ratio;
        int expected;
    } rows[] = {
        {1920, 1, 1920},   {1920, 2, 1920},    {1280, 1.75, 1281}, {720, 1.75, 721}, {1920, 1.75, 1920},
        {1366, 1.5, 1367}, {1366, 1.25, 1366}, {1001, 2, 1002},    {0, 2, 0},        {5, 0, 5},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(paintedLength(row.pixels, row.ratio), row.expected) << row.pixels << " at " << row.ratio;
    }
}

} // namespace
} // namespace drovane::desktop
