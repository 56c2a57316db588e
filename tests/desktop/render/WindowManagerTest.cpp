// Wallpaper windows under a real reparenting window manager (Openbox), on a display of their own:
// the manager's frame must not take the desktop's clicks, and other programs' desktops (icon
// programs) stay above the wallpaper whichever maps first.

#include "desktop/GuiTestSupport.h"
#include "desktop/render/software/SoftwareWallpaperWindow.h"
#include "desktop/x11/X11Properties.h"
#include "desktop/x11/X11WindowOcclusion.h"

#include <QApplication>
#include <QProcess>
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

namespace drovane::desktop {
namespace {

using namespace testing;

constexpr Rect kScreen{{0, 0}, {1920, 1080}};

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

bool run(const QString& program, const QStringList& arguments) {
    return QProcess::execute(program, arguments) == 0;
}

// The root's direct children that are mapped: frames, menus and pop-ups.
std::vector<std::uint32_t> mappedTopLevels() {
    xcb_connection_t* c = x11::connection();
    std::vector<std::uint32_t> found;
    for (std::uint32_t w : x11::rootChildrenBottomFirst()) {
        Reply<xcb_get_window_attributes_reply_t> a(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr), &std::free);
        if (a && a->map_state == XCB_MAP_STATE_VIEWABLE) {
            found.push_back(w);
        }
    }
    return found;
}

// A desktop window of another program, as an icon program makes one: typed as the desktop,
// with its own WM_CLASS and process id, on its own connection.
class ForeignDesktop {
public:
    explicit ForeignDesktop(const std::string& program) : m_c(xcb_connect(nullptr, nullptr)) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
        m_window = xcb_generate_id(m_c);
        const std::uint32_t white = screen->white_pixel;
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1920, 1080, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, &white);
        const std::uint32_t type = intern("_NET_WM_WINDOW_TYPE_DESKTOP");
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_window, intern("_NET_WM_WINDOW_TYPE"),
                            XCB_ATOM_ATOM, 32, 1, &type);
        const std::uint32_t pid = 1;
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_window, intern("_NET_WM_PID"), XCB_ATOM_CARDINAL,
                            32, 1, &pid);
        std::string wmClass = program + '\0' + program + '\0';
        wmClass[program.size() + 1] = static_cast<char>(std::toupper(wmClass[program.size() + 1]));
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            static_cast<std::uint32_t>(wmClass.size()), wmClass.data());
        xcb_map_window(m_c, m_window);
        xcb_flush(m_c);
    }
    ~ForeignDesktop() { xcb_disconnect(m_c); }
    std::uint32_t id() const { return m_window; }

private:
    std::uint32_t intern(const char* name) {
        Reply<xcb_intern_atom_reply_t> r(
            xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, std::uint16_t(std::strlen(name)), name),
                                  nullptr),
            &std::free);
        return r ? r->atom : 0;
    }
    xcb_connection_t* m_c;
    std::uint32_t m_window = 0;
};

class WindowManagerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        testApplication();
        s_manager = new QProcess;
        s_manager->start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        ASSERT_TRUE(s_manager->waitForStarted(5000)) << "openbox is missing (scripts/setup installs it)";
        ASSERT_TRUE(waitUntil(
            [] {
                const auto root = xcb_setup_roots_iterator(xcb_get_setup(x11::connection())).data->root;
                return !x11::readCardinals(root, "_NET_SUPPORTING_WM_CHECK").empty();
            },
            10));
        // The check window comes early in the manager's start; its redirection of the root a little later.
        spin(1.0);
    }
    static void TearDownTestSuite() {
        s_manager->terminate();
        s_manager->waitForFinished(5000);
        delete s_manager;
    }

    std::shared_ptr<WallpaperWindow> shown() {
        auto window = m_server.makeWallpaperWindow(kScreen);
        window->orderFront();
        EXPECT_TRUE(waitUntil([&] { return window->isVisible() && frameOf(*window) != id(*window); }, 5))
            << "managed (reparented) by the window manager";
        return window;
    }
    std::uint32_t id(WallpaperWindow& w) {
        return x11::nativeWindow(dynamic_cast<SoftwareWallpaperWindow&>(w).qtWindow());
    }
    std::uint32_t frameOf(WallpaperWindow& w) { return x11::topLevelAncestor(id(w)); }
    bool below(std::uint32_t lower, std::uint32_t upper) {
        const auto order = x11::rootChildrenBottomFirst();
        auto l = std::find(order.begin(), order.end(), x11::topLevelAncestor(lower));
        auto u = std::find(order.begin(), order.end(), x11::topLevelAncestor(upper));
        return l != order.end() && u != order.end() && l < u;
    }

    static inline QProcess* s_manager = nullptr;
    std::shared_ptr<X11WindowOcclusion> m_occlusion = X11WindowOcclusion::open("");
    SoftwareWindowServer m_server{testApplication(), m_occlusion};
};

TEST_F(WindowManagerTest, AClickOnTheWallpaperReachesTheRootWindow) {
    auto window = shown();
    EXPECT_EQ(x11::readCardinals(id(*window), "_NET_WM_WINDOW_TYPE"),
              std::vector<std::uint32_t>{x11::atom("_NET_WM_WINDOW_TYPE_DESKTOP")})
        << "still the desktop once managed";

    // Nothing under the pointer takes input: the server hands a click there to the root.
    xcb_connection_t* c = x11::connection();
    const auto root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_warp_pointer(c, XCB_NONE, root, 0, 0, 0, 0, 700, 500);
    std::uint32_t underPointer = 0;
    EXPECT_TRUE(waitUntil(
        [&] {
            Reply<xcb_query_pointer_reply_t> pointer(
                xcb_query_pointer_reply(c, xcb_query_pointer(c, root), nullptr), &std::free);
            underPointer = pointer ? pointer->child : 0;
            return pointer && pointer->child == XCB_NONE;
        },
        5))
        << "the window at the pointer: " << underPointer << ", the wallpaper's frame: " << frameOf(*window);

    // Openbox opens its desktop menu on a right click on the root window. A loaded machine can
    // hold the release back past the menu's hide delay, which closes it at once: a few tries.
    const auto before = mappedTopLevels();
    const auto menuOpens = [&] {
        return run(QStringLiteral("xdotool"),
                   {QStringLiteral("mousemove"), QStringLiteral("700"), QStringLiteral("500"),
                    QStringLiteral("click"), QStringLiteral("3")}) &&
               waitUntil([&] { return mappedTopLevels().size() > before.size(); }, 5);
    };
    EXPECT_TRUE(menuOpens() || menuOpens() || menuOpens()) << "the root menu opened";
    run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")});
    waitUntil([&] { return mappedTopLevels().size() == before.size(); }, 5);
}

TEST_F(WindowManagerTest, AnotherProgramsDesktopStaysAboveTheWallpaperWhicheverMapsFirst) {
    for (const bool wallpaperFirst : {true, false}) {
        SCOPED_TRACE(wallpaperFirst ? "the wallpaper first" : "the icons first");
        std::shared_ptr<WallpaperWindow> window;
        std::unique_ptr<ForeignDesktop> icons;
        if (wallpaperFirst) {
            window = shown();
            icons = std::make_unique<ForeignDesktop>("pcmanfm");
        } else {
            icons = std::make_unique<ForeignDesktop>("pcmanfm");
            spin(0.5); // managed and stacked first
            window = shown();
        }
        EXPECT_TRUE(waitUntil([&] { return below(id(*window), icons->id()); }, 5))
            << "the icons stay visible";
        EXPECT_TRUE(waitUntil(
            [&] { return !window->isOccludedVisible() && m_server.hidingProgram() == "pcmanfm"; }, 5))
            << "hidden by the icons' desktop, which is named";

        icons.reset();
        EXPECT_TRUE(
            waitUntil([&] { return window->isOccludedVisible() && m_server.hidingProgram().empty(); }, 5))
            << "the icons' desktop went";
    }
}

} // namespace
} // namespace drovane::desktop
