// Wallpaper windows published as PipeWire streams, checked on a private daemon through a consumer
// process that takes the pictures as a desktop's wallpaper plugin does.

#include "desktop/render/stream/StreamWindowServer.h"

#include "desktop/ChildProcess.h"
#include "desktop/GuiTestSupport.h"
#include "desktop/MediaFixtures.h"
#include "desktop/render/software/SoftwareVideo.h"
#include "desktop/render/stream/StreamWallpaperWindow.h"
#include "fakes/CapturedLog.h"
#include "fakes/TempDir.h"

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

namespace drovane::desktop {
namespace {

using namespace testing;

constexpr Rect kFrame{{0, 0}, {320, 180}};

// PIPEWIRE_RUNTIME_DIR for this process while the object lives.
class PipeWireFolder {
public:
    explicit PipeWireFolder(const std::string& path) { ::setenv("PIPEWIRE_RUNTIME_DIR", path.c_str(), 1); }
    ~PipeWireFolder() { ::unsetenv("PIPEWIRE_RUNTIME_DIR"); }
};

struct Frame {
    int width = 0, height = 0, r = 0, g = 0, b = 0;
};

// The consumer's "frame W H R G B" lines so far.
std::vector<Frame> framesOf(ChildProcess& consumer) {
    std::vector<Frame> frames;
    for (const std::string& line : consumer.lines()) {
        std::istringstream in(line);
        std::string word;
        Frame f;
        if (in >> word && word == "frame" && in >> f.width >> f.height >> f.r >> f.g >> f.b) {
            frames.push_back(f);
        }
    }
    return frames;
}

class StreamWindowServerTest : public ::testing::Test {
protected:
    StreamWindowServerTest() : m_application(testApplication()), m_folder(m_dir.path()) {}

    bool startDaemon() {
        m_daemon = std::make_unique<ChildProcess>(
            std::vector<std::string>{"pipewire", "-c", PRIVATE_PIPEWIRE_CONF},
            std::map<std::string, std::string>{{"PIPEWIRE_RUNTIME_DIR", m_dir.path()}});
        return waitUntil([&] { return std::filesystem::exists(m_dir / "pipewire-0"); }, 10);
    }

    std::shared_ptr<QApplication> m_application;
    fakes::TempDir m_dir;
    PipeWireFolder m_folder;
    std::shared_ptr<fakes::CapturedLog> m_log = std::make_shared<fakes::CapturedLog>();
    std::unique_ptr<ChildProcess> m_daemon;
};

TEST_F(StreamWindowServerTest, WithoutADaemonOpeningFailsWithALine) {
    EXPECT_EQ(StreamWindowServer::open(m_log), nullptr);
    EXPECT_EQ(m_log->countStartingWith("Drovane: no PipeWire daemon to publish the wallpaper to"), 1u);
}

TEST_F(StreamWindowServerTest, AStreamCarriesTheFilmWhileAConsumerTakesItAndNothingWhileCovered) {
    if (!startDaemon()) {
        GTEST_SKIP() << "the pipewire daemon did not start: " << ::testing::PrintToString(m_daemon->lines());
    }
    const std::string film = m_dir / "red.mov";
    ASSERT_TRUE(
        fixtures::ffmpeg(fixtures::encodedAs(fixtures::Codec::H264,
                                             {"-f", "lavfi", "-i", "color=c=red:size=640x360:rate=30:d=30"}),
                         film));
    auto server = StreamWindowServer::open(m_log);
    ASSERT_NE(server, nullptr);
    std::vector<std::vector<ScreenStream>> told;
    server->onStreamsChanged = [&](std::vector<ScreenStream> streams) { told.push_back(std::move(streams)); };
    std::vector<const Window*> occlusionSenders;
    auto subscription = server->observeOcclusion([&](const Window* w) { occlusionSenders.push_back(w); });

    auto window = server->makeWallpaperWindow(kFrame);
    ASSERT_NE(window, nullptr);
    window->orderFront();
    SoftwareVideo video(m_log);
    auto player = video.makePlayer(Url::fromFilePath(film), 8);
    window->contentLayer()->addSublayer(
        video.makeLayer(player, Rect{{0, 0}, kFrame.size}, VideoGravity::ResizeAspectFill));
    player->setRate(1);

    ASSERT_TRUE(waitUntil([&] { return !told.empty(); }, 10));
    ASSERT_EQ(told.back().size(), 1u);
    EXPECT_EQ(told.back()[0].frame, kFrame);
    // Nobody takes the pictures yet: nobody sees the wallpaper.
    EXPECT_FALSE(window->isOccludedVisible());

    ChildProcess consumer({DROVANE_PIPEWIRE_FRAME_COUNTER, std::to_string(told.back()[0].nodeId)},
                          {{"PIPEWIRE_RUNTIME_DIR", m_dir.path()}});
    ASSERT_TRUE(waitUntil([&] { return framesOf(consumer).size() >= 10; }, 15))
        << ::testing::PrintToString(consumer.lines());
    EXPECT_TRUE(window->isOccludedVisible());
    EXPECT_EQ(occlusionSenders, std::vector<const Window*>{window.get()});
    const Frame last = framesOf(consumer).back();
    EXPECT_EQ(std::pair(last.width, last.height), std::pair(320, 180));
    EXPECT_TRUE(last.r > 180 && last.g < 70 && last.b < 70) << last.r << " " << last.g << " " << last.b;

    server->setCovered(kFrame, true);
    EXPECT_FALSE(window->isOccludedVisible());
    spin(0.3);
    const std::size_t whileCovered = framesOf(consumer).size();
    spin(1.0);
    EXPECT_EQ(framesOf(consumer).size(), whileCovered) << "a covered screen sends nothing";

    server->setCovered(kFrame, false);
    EXPECT_TRUE(waitUntil([&] { return framesOf(consumer).size() > whileCovered + 5; }, 5));

    window.reset();
    EXPECT_TRUE(waitUntil([&] { return told.back().empty(); }, 5));

    // The daemon going takes the streams with it: they leave the list, with a line.
    auto second = server->makeWallpaperWindow(Rect{{320, 0}, kFrame.size});
    second->orderFront();
    ASSERT_TRUE(waitUntil([&] { return told.back().size() == 1; }, 10));
    m_daemon.reset();
    EXPECT_TRUE(waitUntil([&] { return told.back().empty(); }, 10));
    EXPECT_EQ(m_log->countStartingWith("Drovane: the PipeWire daemon went away"), 1u);
}

} // namespace
} // namespace drovane::desktop
