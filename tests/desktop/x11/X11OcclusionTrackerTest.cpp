#include "desktop/x11/X11OcclusionTracker.h"

#include "desktop/DesktopTestSupport.h"
#include "desktop/x11/XcbConnection.h"

#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

const Rect screenRect{{0, 0}, {1280, 800}};

// A private X server, plain windows made by the test's own connection standing for other
// applications (and, where a test says so, for the window manager and the compositor), and the
// tracker on a connection of its own.
class X11OcclusionTrackerTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::ensureQtApplication();
        ASSERT_FALSE(xvfb.display().empty()) << "Xvfb did not start";
        apps = XcbConnection::open(xvfb.display());
        connection = XcbConnection::open(xvfb.display());
        ASSERT_TRUE(apps && connection);
        tracker = std::make_unique<X11OcclusionTracker>(connection);
        tracker->onVisibilityChanged = [this](std::uint32_t window, bool visible) {
            changes.emplace_back(window, visible);
        };
        wallpaper = makeWindow(screenRect);
        mapAndWait(wallpaper);
    }

    xcb_window_t makeWindow(Rect frame) {
        const xcb_window_t w = xcb_generate_id(apps->get());
        xcb_create_window(apps->get(), XCB_COPY_FROM_PARENT, w, apps->root(), int16_t(frame.minX()),
                          int16_t(frame.minY()), uint16_t(frame.size.width), uint16_t(frame.size.height), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        return w;
    }

    void mapAndWait(xcb_window_t w) {
        xcb_map_window(apps->get(), w);
        sync();
    }

    void sync() {
        std::free(xcb_get_input_focus_reply(apps->get(), xcb_get_input_focus(apps->get()), nullptr));
    }

    void resize(xcb_window_t w, Rect frame) {
        const uint32_t values[] = {uint32_t(frame.minX()), uint32_t(frame.minY()), uint32_t(frame.size.width),
                                   uint32_t(frame.size.height)};
        const int all =
            XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT;
        xcb_configure_window(apps->get(), w, all, values);
        sync();
    }

    xcb_atom_t atom(const char* name) { return apps->atom(name); }

    void setProperty(xcb_window_t w, const char* name, xcb_atom_t type, std::vector<uint32_t> values) {
        xcb_change_property(apps->get(), XCB_PROP_MODE_REPLACE, w, atom(name), type, 32,
                            uint32_t(values.size()), values.data());
        sync();
    }

    // Stands in for an EWMH window manager with a compositor: the stack is the one given, and
    // the server's visibility events no longer count.
    void actAsComposingWindowManager(std::vector<uint32_t> stack) {
        const xcb_window_t owner = makeWindow({{0, 0}, {1, 1}});
        xcb_set_selection_owner(apps->get(), owner, atom("_NET_WM_CM_S0"), XCB_CURRENT_TIME);
        setProperty(apps->root(), "_NET_CURRENT_DESKTOP", XCB_ATOM_CARDINAL, {0});
        setProperty(apps->root(), "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW, std::move(stack));
    }

    bool waitVisible(bool visible) {
        return testing::waitFor([&] { return tracker->isVisible(wallpaper) == visible; });
    }

    testing::PrivateXServer xvfb{"1280x800x24"};
    std::shared_ptr<XcbConnection> apps;
    xcb_window_t wallpaper = 0;
    std::vector<std::pair<std::uint32_t, bool>> changes;
    std::shared_ptr<XcbConnection> connection;
    std::unique_ptr<X11OcclusionTracker> tracker;
};

TEST_F(X11OcclusionTrackerTest, ACoveringWindowHidesTheWallpaperUntilItShrinksOrGoes) {
    tracker->track(wallpaper, screenRect);
    EXPECT_TRUE(tracker->isVisible(wallpaper));

    // A splash screen is no application window, but without a compositor it hides what is below.
    const xcb_window_t cover = makeWindow(screenRect);
    setProperty(cover, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, {atom("_NET_WM_WINDOW_TYPE_SPLASH")});
    mapAndWait(cover);
    ASSERT_TRUE(waitVisible(false));
    resize(cover, {{100, 100}, {1000, 600}});
    ASSERT_TRUE(waitVisible(true));
    resize(cover, screenRect);
    ASSERT_TRUE(waitVisible(false));
    xcb_unmap_window(apps->get(), cover);
    sync();
    ASSERT_TRUE(waitVisible(true));
    EXPECT_EQ(changes, (std::vector<std::pair<std::uint32_t, bool>>{
                           {wallpaper, false}, {wallpaper, true}, {wallpaper, false}, {wallpaper, true}}));

    // An unmapped window is not visible; untracked ones are not reported.
    tracker->untrack(wallpaper);
    changes.clear();
    const xcb_window_t second = makeWindow(screenRect);
    tracker->track(second, screenRect);
    ASSERT_TRUE(testing::waitFor([&] { return !tracker->isVisible(second); }));
    mapAndWait(second);
    ASSERT_TRUE(testing::waitFor([&] { return tracker->isVisible(second); }));
    EXPECT_TRUE(tracker->isVisible(wallpaper));
    tracker->untrack(second);
    xcb_unmap_window(apps->get(), second);
    sync();
    testing::waitFor([] { return false; }, nullptr, 0.3);
    EXPECT_EQ(changes, (std::vector<std::pair<std::uint32_t, bool>>{{second, false}, {second, true}}));
}

TEST_F(X11OcclusionTrackerTest, UnderACompositorTheManagersStackAndStatesDecide) {
    const xcb_window_t app = makeWindow(screenRect);
    const xcb_window_t dock = makeWindow({{0, 0}, {1280, 32}});
    actAsComposingWindowManager({wallpaper, app, dock});
    setProperty(dock, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, {atom("_NET_WM_WINDOW_TYPE_DOCK")});
    setProperty(app, "_NET_WM_STATE", XCB_ATOM_ATOM, {atom("_NET_WM_STATE_HIDDEN")});
    mapAndWait(dock);
    mapAndWait(app); // minimized, yet mapped: only the manager's state says it is not shown
    tracker->track(wallpaper, screenRect);
    testing::waitFor([] { return false; }, nullptr, 0.3);
    EXPECT_TRUE(tracker->isVisible(wallpaper));

    setProperty(app, "_NET_WM_STATE", XCB_ATOM_ATOM, {atom("_NET_WM_STATE_FULLSCREEN")});
    ASSERT_TRUE(waitVisible(false));
    setProperty(app, "_NET_WM_DESKTOP", XCB_ATOM_CARDINAL, {1});
    ASSERT_TRUE(waitVisible(true));
    setProperty(apps->root(), "_NET_CURRENT_DESKTOP", XCB_ATOM_CARDINAL, {1});
    ASSERT_TRUE(waitVisible(false));

    // Maximized below the dock: the screen counts as covered, panel and all.
    setProperty(app, "_NET_WM_STATE", XCB_ATOM_ATOM,
                {atom("_NET_WM_STATE_MAXIMIZED_VERT"), atom("_NET_WM_STATE_MAXIMIZED_HORZ")});
    resize(app, {{0, 32}, {1280, 768}});
    testing::waitFor([] { return false; }, nullptr, 0.3);
    EXPECT_FALSE(tracker->isVisible(wallpaper));
    setProperty(app, "_NET_WM_STATE", XCB_ATOM_ATOM, {});
    ASSERT_TRUE(waitVisible(true));

    // Restacked below the wallpaper.
    setProperty(app, "_NET_WM_STATE", XCB_ATOM_ATOM, {atom("_NET_WM_STATE_FULLSCREEN")});
    ASSERT_TRUE(waitVisible(false));
    setProperty(apps->root(), "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW, {app, wallpaper, dock});
    ASSERT_TRUE(waitVisible(true));
}

} // namespace
} // namespace drovane::desktop
