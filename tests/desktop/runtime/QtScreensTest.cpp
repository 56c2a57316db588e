// Runs on the display of scripts/xvfb-two-screens: 1920x1080 on the left, 1280x720 on the right.

#include "desktop/runtime/QtScreens.h"

#include "desktop/GuiTestSupport.h"

#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

using namespace testing;

constexpr Rect kLeft{{0, 0}, {1920, 1080}};
constexpr Rect kRight{{1920, 0}, {1280, 720}};

void xrandr(const std::string& arguments) {
    ASSERT_EQ(std::system(("xrandr " + arguments + " >/dev/null").c_str()), 0) << arguments;
}

// Two monitors are two frames, the primary first; one burst of changes is one call.
TEST(QtScreensTest, OneBurstOfChangesIsOneCallAndUnplugging) {
    const auto application = testApplication();
    QtScreens screens(application, 0.2);
    EXPECT_EQ(screens.frames(), (std::vector<Rect>{kLeft, kRight}));
    int calls = 0;
    auto subscription = screens.observeChanges([&] { ++calls; });

    // The right monitor is replaced by a smaller one: a removal, an addition and geometry
    // changes arrive together.
    xrandr("--delmonitor DROVANE-2 --setmonitor DROVANE-3 1024/271x768/203+1920+0 none");
    ASSERT_TRUE(waitUntil([&] { return calls > 0; }, 5));
    spin(0.5);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(screens.frames(), (std::vector<Rect>{kLeft, Rect{{1920, 0}, {1024, 768}}}));

    // Unplugged.
    xrandr("--delmonitor DROVANE-3");
    ASSERT_TRUE(waitUntil([&] { return calls > 1; }, 5));
    spin(0.5);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(screens.frames(), (std::vector<Rect>{kLeft}));
}

} // namespace
} // namespace drovane::desktop
