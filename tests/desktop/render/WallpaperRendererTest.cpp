// The behaviour every wallpaper renderer owes the engine, checked on what the X server shows,
// for the OpenGL renderer and the software one alike.

#include "desktop/GuiTestSupport.h"
#include "desktop/MediaFixtures.h"
#include "desktop/render/DesktopWallpaperWindow.h"
#include "desktop/render/PixelGeometry.h"
#include "desktop/render/quick/QuickVideo.h"
#include "desktop/render/quick/QuickWallpaperWindow.h"
#include "desktop/render/software/SoftwareVideo.h"
#include "desktop/render/software/SoftwareWallpaperWindow.h"
#include "desktop/runtime/StderrLog.h"
#include "desktop/x11/X11Properties.h"
#include "desktop/x11/X11WindowOcclusion.h"
#include "desktop/x11/X11WindowPicture.h"
#include "fakes/TempDir.h"

#include <QApplication>
#include <QScreen>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <tuple>
#include <xcb/composite.h>
#include <xcb/xcb.h>

namespace drovane::desktop {
namespace {

using namespace testing;

constexpr Rect kFrame{{0, 0}, {320, 180}};

// One renderer: its window server and video, and what the tests read from its windows.
struct Renderer {
    std::string name;
    std::function<std::unique_ptr<WindowServer>(std::shared_ptr<WindowOcclusion>)> makeServer;
    std::function<std::unique_ptr<Video>()> makeVideo;
};

void PrintTo(const Renderer& renderer, std::ostream* out) {
    *out << renderer.name;
}

Renderer quickRenderer() {
    return {"Gl",
            [](auto occlusion) { return std::make_unique<QuickWindowServer>(testApplication(), occlusion); },
            [] { return std::make_unique<QuickVideo>(testApplication(), std::make_shared<StderrLog>()); }};
}

Renderer softwareRenderer() {
    return {
        "Software",
        [](auto occlusion) { return std::make_unique<SoftwareWindowServer>(testApplication(), occlusion); },
        [] { return std::make_unique<SoftwareVideo>(std::make_shared<StderrLog>()); }};
}

class WallpaperRendererTest : public ::testing::TestWithParam<Renderer> {
protected:
    WallpaperRendererTest()
        : m_application(testApplication()), m_occlusion(X11WindowOcclusion::open("")),
          m_server(GetParam().makeServer(m_occlusion)), m_video(GetParam().makeVideo()) {}

    // A wallpaper window whose pictures the server keeps apart (Composite), so that they can be
    // read whatever covers it.
    std::shared_ptr<WallpaperWindow> offscreen(Rect frame = kFrame) {
        auto window = m_server->makeWallpaperWindow(frame);
        xcb_composite_redirect_window(x11::connection(), nativeId(*window), XCB_COMPOSITE_REDIRECT_AUTOMATIC);
        return window;
    }
    std::shared_ptr<WallpaperWindow> shown(Rect frame = kFrame) {
        auto window = offscreen(frame);
        window->orderFront();
        EXPECT_TRUE(waitUntil([&] { return window->isOccludedVisible(); }, 5));
        return window;
    }
    std::shared_ptr<PlayerLayer> addLayer(WallpaperWindow& window, const std::shared_ptr<Player>& player,
                                          VideoGravity gravity = VideoGravity::ResizeAspectFill) {
        auto layer = m_video->makeLayer(player, Rect{{0, 0}, window.frame().size}, gravity);
        window.contentLayer()->addSublayer(layer);
        return layer;
    }
    std::shared_ptr<Player> player(const std::string& path) {
        return m_video->makePlayer(Url::fromFilePath(path), 8);
    }
    // What the X server holds as the window's picture, whatever drew it, in device pixels.
    QImage grab(WallpaperWindow& window) { return x11::windowPicture(qtWindow(window)); }
    static QWindow& qtWindow(WallpaperWindow& window) {
        return dynamic_cast<DesktopWallpaperWindow&>(window).qtWindow();
    }
    std::uint32_t nativeId(WallpaperWindow& window) { return x11::nativeWindow(qtWindow(window)); }
    std::string film(const std::string& name, const std::string& source, double seconds) {
        const std::string path = m_dir / name;
        EXPECT_TRUE(
            fixtures::ffmpeg(fixtures::encodedAs(fixtures::Codec::H264, {"-f", "lavfi", "-i", source, "-t",
                                                                         std::to_string(seconds)}),
                             path));
        return path;
    }

    std::shared_ptr<QApplication> m_application;
    fakes::TempDir m_dir;
    std::shared_ptr<X11WindowOcclusion> m_occlusion;
    std::unique_ptr<WindowServer> m_server;
    std::unique_ptr<Video> m_video;
};

// (Its desktop type and layer under the icons, its absence from taskbars and pagers, clicks passing
// through it and windows covering it the desktop matrix checks on each desktop; the film moving on
// screen too.)
TEST_P(WallpaperRendererTest, AWallpaperWindowIsOnEveryWorkspaceNeverFocusedAndClickedThrough) {
    ASSERT_NE(x11::connection(), nullptr) << "these tests run on X11 (Xvfb)";
    auto window = shown(Rect{{0, 0}, {640, 360}});
    const std::uint32_t id = nativeId(*window);

    const auto states = x11::readCardinals(id, "_NET_WM_STATE");
    EXPECT_NE(std::ranges::find(states, x11::atom("_NET_WM_STATE_STICKY")), states.end());
    EXPECT_EQ(x11::readCardinals(id, "_NET_WM_DESKTOP"), std::vector<std::uint32_t>{0xFFFFFFFFu});

    // Never focused: the input hint is set and false.
    const auto hints = x11::readCardinals(id, "WM_HINTS");
    ASSERT_GE(hints.size(), 2u);
    EXPECT_TRUE(hints[0] & 1u);
    EXPECT_EQ(hints[1], 0u);

    // A film that cannot be read is never ready to show, and a snapshot that cannot be written fails.
    auto broken = player(m_dir.write("junk.mov", std::string(4096, 'x')));
    auto layer = addLayer(*window, broken);
    broken->setRate(1.0);
    spin(0.5);
    EXPECT_FALSE(layer->isReadyForDisplay());
    EXPECT_FALSE(window->snapshot("/nonexistent-folder/x.png"));
}

// As the engine loops, the next film's layer goes on top at opacity 0 and fades in. (When the
// fade starts and how it ends, the looping tests check on the engine, OpacityAnimationTest on the
// clock.)
TEST_P(WallpaperRendererTest, ALayerFadesInOverTheOneBelowBlendingBothMidway) {
    auto window = shown();
    auto below = player(film("red.mov", "color=c=red:size=320x180:rate=30", 3));
    auto above = player(film("blue.mov", "color=c=blue:size=320x180:rate=30", 3));
    auto belowLayer = addLayer(*window, below);
    auto aboveLayer = addLayer(*window, above);
    aboveLayer->setOpacity(0);
    below->setRate(1.0);
    above->setRate(1.0);
    ASSERT_TRUE(
        waitUntil([&] { return belowLayer->isReadyForDisplay() && aboveLayer->isReadyForDisplay(); }, 10));
    const auto shows = [&](auto red, auto blue) {
        return waitUntil(
            [&] {
                const QColor c = meanColor(grab(*window));
                return red(c.red()) && blue(c.blue());
            },
            5);
    };
    const auto high = [](int v) { return v > 200; };
    const auto low = [](int v) { return v < 40; };
    const auto between = [](int v) { return v > 50 && v < 205; };
    EXPECT_TRUE(shows(high, low)) << "a ready layer at opacity 0 shows nothing";
    bool done = false;
    aboveLayer->animateOpacity(0.5, 0.2, [&] { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }, 5));
    EXPECT_TRUE(shows(between, between)) << "both films show midway";
    aboveLayer->animateOpacity(1.0, 0.2, [] {});
    EXPECT_TRUE(shows(low, high)) << "the later layer lies on top";
}

TEST_P(WallpaperRendererTest, AFourByThreeFilmIsCroppedToFillOrStretchedAndFollowsTheWindowsSize) {
    // Red above green above blue, a quarter, a half and a quarter of the height: filling a 16:9
    // window crops an eighth of the height off both ends, stretching keeps all of it.
    const auto bands = film("bands.mov",
                            "color=c=red:s=240x45:r=30[a];color=c=lime:s=240x90:r=30[b];"
                            "color=c=blue:s=240x45:r=30[c];[a][b][c]vstack=inputs=3",
                            4);
    auto isRed = [](QColor c) { return c.red() > 180 && c.green() < 70; };
    auto isGreen = [](QColor c) { return c.green() > 180 && c.red() < 70 && c.blue() < 70; };
    auto isBlue = [](QColor c) { return c.blue() > 180 && c.green() < 70; };
    // The mean colour of the rows at 20 % and at 80 % of the height.
    const struct {
        VideoGravity gravity;
        bool (*at20)(QColor);
        bool (*at80)(QColor);
    } cases[] = {{VideoGravity::ResizeAspectFill, isGreen, isGreen}, {VideoGravity::Resize, isRed, isBlue}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.gravity == VideoGravity::Resize ? "stretch" : "fill");
        auto window = shown();
        auto banded = player(bands);
        auto layer = addLayer(*window, banded, c.gravity);
        banded->setRate(1.0);
        ASSERT_TRUE(waitUntil([&] { return layer->isReadyForDisplay(); }, 10));
        auto row = [&](const QImage& picture, double at) {
            return meanColor(picture.copy(0, int(at * picture.height()), picture.width(), 2));
        };
        QImage picture;
        ASSERT_TRUE(waitUntil(
            [&] {
                picture = grab(*window);
                return isRed(row(picture, 0.02)) && isBlue(row(picture, 0.97));
            },
            5));
        EXPECT_TRUE(c.at20(row(picture, 0.2))) << row(picture, 0.2).name().toStdString();
        EXPECT_TRUE(c.at80(row(picture, 0.8))) << row(picture, 0.8).name().toStdString();
        EXPECT_TRUE(isGreen(meanColor(picture.copy(0, 80, 4, 20)))) << "no bars at the sides";

        // A larger window: the film fills it all.
        window->setFrame(Rect{{0, 0}, {480, 270}});
        EXPECT_TRUE(waitUntil(
            [&] {
                picture = grab(*window);
                return picture.width() == 480 && isBlue(row(picture, 0.97)) &&
                       isGreen(meanColor(picture.copy(470, 125, 10, 20)));
            },
            5));
    }
}

// A film of `size` whose quarters are red, lime, blue and white.
std::string quartersFilm(const std::string& folder, QSize size) {
    QImage still(size, QImage::Format_RGB32);
    const int w = size.width(), h = size.height();
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(still.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const bool right = x >= w / 2, bottom = y >= h / 2;
            line[x] = !bottom && !right ? qRgb(255, 0, 0)
                      : !bottom         ? qRgb(0, 255, 0)
                      : !right          ? qRgb(0, 0, 255)
                                        : qRgb(255, 255, 255);
        }
    }
    const std::string name = "quarters-" + std::to_string(w) + "x" + std::to_string(h);
    const std::string png = folder + "/" + name + ".png", film = folder + "/" + name + ".mov";
    if (!still.save(QString::fromStdString(png)) ||
        !fixtures::ffmpeg({"-loop", "1", "-framerate", "10", "-i", png, "-t", "1", "-c:v", "libx264", "-crf",
                           "4", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-f", "mov"},
                          film)) {
        return {};
    }
    return film;
}

// Regression: under a scale factor the software renderer drew the film at the window's logical
// size into the top left part of its pixels, and at fractional factors a window the size of its
// screen was a pixel short of it (where it lands, PixelFrameTest checks at every factor). Runs at whatever
// factors the process has (QT_SCALE_FACTOR, QT_SCREEN_SCALE_FACTORS); the scaled rows below run it under
// each.
TEST_P(WallpaperRendererTest, EveryScreenShowsTheWholeFilmAtItsPixelSize) {
    const auto monitors = monitorPixels();
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect logical = screen->geometry();
        SCOPED_TRACE(screen->name().toStdString() + " at " + std::to_string(screen->devicePixelRatio()));
        // The monitor of the screen, else (no RandR monitors) the whole root window.
        const xcb_screen_t* root = xcb_setup_roots_iterator(xcb_get_setup(x11::connection())).data;
        QRect pixels(0, 0, root->width_in_pixels, root->height_in_pixels);
        for (const QRect& monitor : monitors) {
            if (monitor.topLeft() == logical.topLeft()) {
                pixels = monitor;
            }
        }
        const QSize filmSize(pixels.width() & ~1, pixels.height() & ~1);
        const auto path = quartersFilm(m_dir.path(), filmSize);
        ASSERT_FALSE(path.empty());

        auto window = shown(Rect{{double(logical.x()), double(logical.y())},
                                 {double(logical.width()), double(logical.height())}});
        auto film = player(path);
        auto layer = addLayer(*window, film);
        film->setRate(1.0);
        ASSERT_TRUE(waitUntil([&] { return layer->isReadyForDisplay(); }, 10));

        // The part of the window's picture on its screen, and the colours of the two pixels nearest
        // each corner both ways: each channel well on (1), well off (0), or neither (?), as a colour
        // mixed with the black of an edge left out is.
        QImage picture;
        auto corners = [&] {
            std::string channels;
            for (const QPoint at :
                 {QPoint(0, 0), QPoint(picture.width() - 2, 0), QPoint(0, picture.height() - 2),
                  QPoint(picture.width() - 2, picture.height() - 2)}) {
                const QColor c = meanColor(picture.copy(QRect(at, QSize(2, 2))));
                for (const int value : {c.red(), c.green(), c.blue()}) {
                    channels += value > 150 ? '1' : value < 100 ? '0' : '?';
                }
                channels += ' ';
            }
            return channels;
        };
        const std::string redGreenBlueWhite = "100 010 001 111 ";
        waitUntil(
            [&] {
                const QImage all = grab(*window);
                if (all.width() < pixels.width() || all.height() < pixels.height()) {
                    return false;
                }
                picture = all.copy(QRect(QPoint(0, 0), pixels.size()));
                return corners() == redGreenBlueWhite;
            },
            5);
        ASSERT_EQ(picture.size(), pixels.size());
        EXPECT_EQ(corners(), redGreenBlueWhite);
    }
}

INSTANTIATE_TEST_SUITE_P(Renderers, WallpaperRendererTest,
                         ::testing::Values(quickRenderer(), softwareRenderer()),
                         [](const ::testing::TestParamInfo<Renderer>& each) { return each.param.name; });

// The test above in a process of its own on two monitors, under each row's scale factors.
struct Scaling {
    std::string name;
    std::vector<std::string> layout; // scripts/xvfb-two-screens options
    std::map<std::string, std::string> environment;
};

void PrintTo(const Scaling& scaling, std::ostream* out) {
    *out << scaling.name;
}

class ScaledRendererTest : public ::testing::TestWithParam<std::tuple<Renderer, Scaling>> {};

TEST_P(ScaledRendererTest, EveryScreenShowsTheWholeFilmAtItsPixelSize) {
    const auto& [renderer, scaling] = GetParam();
    std::vector<std::string> command{XVFB_TWO_SCREENS};
    command.insert(command.end(), scaling.layout.begin(), scaling.layout.end());
    command.push_back(std::filesystem::read_symlink("/proc/self/exe"));
    command.push_back(
        "--gtest_filter=Renderers/WallpaperRendererTest.EveryScreenShowsTheWholeFilmAtItsPixelSize/" +
        renderer.name);
    const fakes::TempDir dir;
    ChildProcess child(command, scaling.environment, {}, dir / "output");
    const auto status = child.waitForExit(std::chrono::minutes(2));
    const std::string output = fixtures::readBytes(dir / "output");
    EXPECT_EQ(status, 0) << output << ::testing::PrintToString(child.lines());
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

INSTANTIATE_TEST_SUITE_P(
    Scales, ScaledRendererTest,
    ::testing::Combine(::testing::Values(quickRenderer(), softwareRenderer()),
                       ::testing::Values(Scaling{"Twice", {}, {{"QT_SCALE_FACTOR", "2"}}},
                                         Scaling{"OddSizesPerScreen",
                                                 {"--left", "1366x768", "--right", "1001x667"},
                                                 {{"QT_SCREEN_SCALE_FACTORS", "1.75;1.25"}}})),
    [](const ::testing::TestParamInfo<std::tuple<Renderer, Scaling>>& each) {
        return std::get<0>(each.param).name + "_" + std::get<1>(each.param).name;
    });

} // namespace
} // namespace drovane::desktop
