#include "desktop/render/quick/QuickWindowServer.h"

#include "desktop/GuiTestSupport.h"
#include "desktop/render/quick/QuickPlayerLayer.h"
#include "desktop/render/quick/QuickVideo.h"
#include "desktop/render/quick/QuickWallpaperWindow.h"
#include "desktop/runtime/StderrLog.h"
#include "desktop/x11/X11Properties.h"
#include "desktop/x11/X11WindowOcclusion.h"

#include <QApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <algorithm>
#include <gtest/gtest.h>
#include <xcb/shape.h>
#include <xcb/xcb.h>

namespace drovane::desktop {
namespace {

using namespace testing;

bool contains(const std::vector<std::uint32_t>& values, std::uint32_t value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

class QuickWindowServerTest : public ::testing::Test {
protected:
    std::shared_ptr<WallpaperWindow> shown(Rect frame) {
        auto window = m_server.makeWallpaperWindow(frame);
        window->orderFront();
        EXPECT_TRUE(waitUntil([&] { return window->isOccludedVisible(); }, 5));
        return window;
    }
    static std::uint32_t nativeId(WallpaperWindow& window) {
        return x11::nativeWindow(dynamic_cast<QuickWallpaperWindow&>(window).quickWindow());
    }

    std::shared_ptr<QApplication> m_application = testApplication();
    QuickWindowServer m_server{m_application};
};

TEST_F(QuickWindowServerTest, AWallpaperWindowIsTheDesktopOnEveryWorkspaceOutOfTaskbarAndPager) {
    ASSERT_NE(x11::connection(), nullptr) << "these tests run on X11 (Xvfb)";
    auto window = shown(Rect{{0, 0}, {640, 360}});
    const std::uint32_t id = nativeId(*window);

    const auto types = x11::readCardinals(id, "_NET_WM_WINDOW_TYPE");
    ASSERT_EQ(types.size(), 1u);
    EXPECT_EQ(types[0], x11::atom("_NET_WM_WINDOW_TYPE_DESKTOP"));

    const auto states = x11::readCardinals(id, "_NET_WM_STATE");
    for (const char* state : {"_NET_WM_STATE_STICKY", "_NET_WM_STATE_BELOW", "_NET_WM_STATE_SKIP_TASKBAR",
                              "_NET_WM_STATE_SKIP_PAGER"}) {
        EXPECT_TRUE(contains(states, x11::atom(state))) << state;
    }
    EXPECT_FALSE(contains(states, x11::atom("_NET_WM_STATE_ABOVE")));
    EXPECT_EQ(x11::readCardinals(id, "_NET_WM_DESKTOP"), std::vector<std::uint32_t>{0xFFFFFFFFu});

    // Never focused: the input hint is set and false.
    const auto hints = x11::readCardinals(id, "WM_HINTS");
    ASSERT_GE(hints.size(), 2u);
    EXPECT_TRUE(hints[0] & 1u);
    EXPECT_EQ(hints[1], 0u);

    // Mouse events pass through: the input shape is empty.
    xcb_connection_t* c = x11::connection();
    auto* reply =
        xcb_shape_get_rectangles_reply(c, xcb_shape_get_rectangles(c, id, XCB_SHAPE_SK_INPUT), nullptr);
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->rectangles_len, 0u);
    std::free(reply);

    EXPECT_EQ(window->frame(), (Rect{{0, 0}, {640, 360}}));
}

TEST_F(QuickWindowServerTest, AWallpaperWindowShownLaterStillLiesBelowANormalWindow) {
    QQuickWindow normal;
    normal.setGeometry(100, 100, 300, 200);
    normal.show();
    ASSERT_TRUE(waitUntil([&] { return normal.isExposed(); }, 5));

    auto window = shown(Rect{{0, 0}, {1920, 1080}});
    const std::uint32_t wallpaper = x11::topLevelAncestor(nativeId(*window));
    const std::uint32_t other = x11::topLevelAncestor(x11::nativeWindow(normal));
    // In the root's stacking order.
    auto wallpaperBelow = [&] {
        const auto order = x11::rootChildrenBottomFirst();
        auto w = std::find(order.begin(), order.end(), wallpaper);
        auto n = std::find(order.begin(), order.end(), other);
        return w != order.end() && n != order.end() && w < n;
    };
    ASSERT_TRUE(waitUntil(wallpaperBelow, 5)) << "the wallpaper window is below the normal one";

    // Shown again after hiding, it goes back to the bottom with its type intact.
    window->orderOut();
    ASSERT_TRUE(waitUntil([&] { return !window->isVisible(); }, 5));
    window->orderFront();
    ASSERT_TRUE(waitUntil([&] { return window->isOccludedVisible() && wallpaperBelow(); }, 5));
    EXPECT_EQ(x11::readCardinals(nativeId(*window), "_NET_WM_WINDOW_TYPE"),
              std::vector<std::uint32_t>{x11::atom("_NET_WM_WINDOW_TYPE_DESKTOP")});
}

TEST_F(QuickWindowServerTest, OcclusionObserversHearWindowsComeAndGo) {
    std::vector<const Window*> senders;
    auto subscription = m_server.observeOcclusion([&](const Window* sender) { senders.push_back(sender); });
    auto window = shown(Rect{{0, 0}, {320, 180}});
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(senders.empty());
    EXPECT_TRUE(
        std::all_of(senders.begin(), senders.end(), [&](const Window* w) { return w == window.get(); }));

    senders.clear();
    window->orderOut();
    ASSERT_TRUE(waitUntil([&] { return !senders.empty(); }, 5));
    EXPECT_FALSE(window->isOccludedVisible());

    subscription.reset();
    senders.clear();
    window->orderFront();
    ASSERT_TRUE(waitUntil([&] { return window->isOccludedVisible(); }, 5));
    EXPECT_TRUE(senders.empty());
}

TEST_F(QuickWindowServerTest, LayersStackInInsertionOrderAndFollowTheWindowsSize) {
    auto window = shown(Rect{{0, 0}, {320, 180}});
    auto& quick = dynamic_cast<QuickWallpaperWindow&>(*window).quickWindow();
    // Without films the window shows its black background.
    const QImage empty = quick.grabWindow();
    EXPECT_EQ(spread(empty), 0);
    EXPECT_EQ(meanColor(empty), QColor(Qt::black));

    QuickVideo video(m_application, std::make_shared<StderrLog>());
    auto lower = video.makeLayer(video.makePlayer(Url::fromFilePath("/nonexistent/a.mov"), 8),
                                 Rect{{0, 0}, {320, 180}}, VideoGravity::ResizeAspectFill);
    auto upper = video.makeLayer(video.makePlayer(Url::fromFilePath("/nonexistent/b.mov"), 8),
                                 Rect{{0, 0}, {320, 180}}, VideoGravity::Resize);
    auto root = window->contentLayer();
    root->addSublayer(lower);
    root->addSublayer(upper);
    auto* lowerItem = dynamic_cast<QuickPlayerLayer&>(*lower).item();
    auto* upperItem = dynamic_cast<QuickPlayerLayer&>(*upper).item();
    EXPECT_EQ(quick.contentItem()->childItems(), (QList<QQuickItem*>{lowerItem, upperItem}));
    EXPECT_EQ(lowerItem->property("fillMode").toInt(), 2) << "aspect fill crops";
    EXPECT_EQ(upperItem->property("fillMode").toInt(), 0) << "resize stretches";

    // Re-adding moves a layer to the top; removing takes it out of the window.
    root->addSublayer(lower);
    EXPECT_EQ(quick.contentItem()->childItems(), (QList<QQuickItem*>{upperItem, lowerItem}));
    upper->removeFromSuperlayer();
    EXPECT_EQ(quick.contentItem()->childItems(), (QList<QQuickItem*>{lowerItem}));

    // The window's new size reaches the layer through its root item.
    window->setFrame(Rect{{0, 0}, {480, 270}});
    ASSERT_TRUE(waitUntil([&] { return lowerItem->width() == 480; }, 5));
    EXPECT_EQ(lowerItem->height(), 270);
    EXPECT_EQ(window->frame(), (Rect{{0, 0}, {480, 270}}));

    EXPECT_FALSE(window->snapshot("/nonexistent-folder/x.png"));
}

// Another application's window, made on a connection of the test's own.
class OtherApplicationWindow {
public:
    explicit OtherApplicationWindow(Rect frame) : m_connection(xcb_connect(nullptr, nullptr)) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root,
                          static_cast<int16_t>(frame.minX()), static_cast<int16_t>(frame.minY()),
                          static_cast<uint16_t>(frame.size.width), static_cast<uint16_t>(frame.size.height),
                          0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    }
    ~OtherApplicationWindow() { xcb_disconnect(m_connection); }
    void map() {
        xcb_map_window(m_connection, m_window);
        xcb_flush(m_connection);
    }
    void unmap() {
        xcb_unmap_window(m_connection, m_window);
        xcb_flush(m_connection);
    }

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_window = 0;
};

TEST(QuickWindowServerOcclusionTest, AWindowCoveringTheWholeScreenHidesTheWallpaperUntilItGoes) {
    auto application = testApplication();
    auto occlusion = X11WindowOcclusion::open("");
    ASSERT_TRUE(occlusion) << "these tests run on X11 (Xvfb)";
    QuickWindowServer server(application, occlusion);
    std::vector<const Window*> senders;
    auto subscription = server.observeOcclusion([&](const Window* sender) { senders.push_back(sender); });
    const Rect area{{0, 0}, {800, 600}};
    auto window = server.makeWallpaperWindow(area);
    window->orderFront();
    ASSERT_TRUE(waitUntil([&] { return window->isOccludedVisible(); }, 5));

    OtherApplicationWindow whole(Rect{{0, 0}, {800, 600}});

    senders.clear();
    whole.map();
    ASSERT_TRUE(waitUntil([&] { return !window->isOccludedVisible(); }, 5));
    EXPECT_NE(std::find(senders.begin(), senders.end(), window.get()), senders.end())
        << "the observers heard it from the wallpaper window";

    whole.unmap();
    EXPECT_TRUE(waitUntil([&] { return window->isOccludedVisible(); }, 5));
}

} // namespace
} // namespace drovane::desktop
