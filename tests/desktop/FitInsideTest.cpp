#include "desktop/FitInside.h"

#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

TEST(FitInside, ScalesDownKeepingProportionsAndNeverUp) {
    struct Case {
        double width, height;
        int maxWidth, maxHeight;
        PixelSize expected;
    };
    const Case cases[] = {
        {3840, 2160, 560, 560, {560, 315}},
        {2160, 3840, 560, 560, {315, 560}},
        {560, 560, 560, 560, {560, 560}},
        {561, 560, 560, 560, {560, 559}},
        {320, 180, 560, 560, {320, 180}},
        {768, 576, 560, 560, {560, 420}}, // non-square pixels already widened
        {10000, 1, 560, 560, {560, 1}},   // a sliver keeps one pixel
        {1, 10000, 560, 560, {1, 560}},
        {1000, 1000, 560, 300, {300, 300}}, // the tighter bound wins
        {0.4, 100, 560, 560, {1, 100}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fitInside(c.width, c.height, c.maxWidth, c.maxHeight), c.expected)
            << c.width << "x" << c.height << " in " << c.maxWidth << "x" << c.maxHeight;
    }
}

} // namespace
} // namespace drovane::desktop
