#include "desktop/x11/X11OcclusionTracker.h"

#include "desktop/DesktopTestSupport.h"
#include "desktop/x11/XcbConnection.h"

#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

// (Which windows cover a wallpaper is the occlusion table's; the tracker following them on a real
// server, the wallpaper renderer's test and the desktop matrix's covered and fullscreen checks.)
// Every rebuild of the wallpapers untracks the old windows: one still followed would pile up.
TEST(X11OcclusionTracker, AnUntrackedWindowIsNeitherFollowedNorReported) {
    testing::ensureQtApplication();
    testing::PrivateXServer xvfb("640x480x24");
    ASSERT_FALSE(xvfb.display().empty()) << "Xvfb did not start";
    auto apps = XcbConnection::open(xvfb.display());
    ASSERT_TRUE(apps);
    const auto mapped = [&](Rect frame) {
        const xcb_window_t w = xcb_generate_id(apps->get());
        xcb_create_window(apps->get(), XCB_COPY_FROM_PARENT, w, apps->root(), int16_t(frame.minX()), 0,
                          uint16_t(frame.size.width), 480, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_map_window(apps->get(), w);
        std::free(xcb_get_input_focus_reply(apps->get(), xcb_get_input_focus(apps->get()), nullptr));
        return w;
    };
    const Rect left{{0, 0}, {320, 480}}, right{{320, 0}, {320, 480}};
    const xcb_window_t gone = mapped(left), kept = mapped(right);
    X11OcclusionTracker tracker(XcbConnection::open(xvfb.display()));
    std::vector<std::uint32_t> reported;
    tracker.onVisibilityChanged = [&](std::uint32_t window, bool) { reported.push_back(window); };
    tracker.track(gone, left);
    tracker.track(kept, right);
    tracker.untrack(gone);
    mapped({{0, 0}, {640, 480}}); // covers both
    ASSERT_TRUE(testing::waitFor([&] { return !tracker.isVisible(kept); }));
    testing::waitFor([] { return false; }, nullptr, 0.3);
    EXPECT_EQ(reported, std::vector<std::uint32_t>{kept});
    EXPECT_TRUE(tracker.isVisible(gone)) << "nothing is known of it any more";
}

} // namespace
} // namespace drovane::desktop
