#include "ui/WindowPlacement.h"

#include <cmath>
#include <gtest/gtest.h>

namespace drovane {
namespace {

TEST(WindowPlacementTest, AWindowAndItsTitleBarFitTheScreenItOpensOn) {
    const Size wanted{1100, 720}, least{1000, 680};
    const FrameMargins frame{0, 30, 0, 0};
    const double nan = std::nan("");
    struct Case {
        const char* name;
        Rect available;
        Size size;
        std::optional<Point> origin;
        WindowFit fit;
    };
    // Screens at scale 2 are the end-to-end test's, on a real window manager.
    // clang-format off
    const Case cases[] = {
        {"a large screen: centred as asked", {{0, 0}, {1920, 1080}}, wanted, {}, {{{410, 195}, wanted}, least}},
        {"beside a panel", {{0, 40}, {1920, 1040}}, wanted, {}, {{{410, 215}, wanted}, least}},
        {"a remembered frame stays", {{0, 0}, {1920, 1080}}, wanted, Point{100, 200}, {{{100, 200}, wanted}, least}},
        {"one remembered above the screen comes down", {{0, 0}, {1920, 1080}}, wanted, Point{-50, -400}, {{{0, 30}, wanted}, least}},
        {"one remembered beyond the edge comes in", {{0, 0}, {1920, 1080}}, wanted, Point{1800, 900}, {{{820, 360}, wanted}, least}},
        {"a size too small grows to the least", {{0, 0}, {1920, 1080}}, {10, 10}, {}, {{{460, 215}, least}, least}},
        {"a size not a number is the least", {{0, 0}, {1920, 1080}}, {nan, nan}, Point{nan, 0}, {{{460, 30}, least}, least}},
        {"a screen smaller than its frame", {{0, 0}, {20, 20}}, wanted, {}, {{{0, 30}, {20, 1}}, {20, 1}}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fitWindow(c.available, frame, c.size, least, c.origin), c.fit);
    }
}

} // namespace
} // namespace drovane
