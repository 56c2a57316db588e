// Wallpaper windows published as PipeWire streams, checked on a private daemon.

#include "desktop/render/stream/StreamWindowServer.h"

#include "desktop/ChildProcess.h"
#include "desktop/GuiTestSupport.h"
#include "desktop/render/stream/StreamWallpaperWindow.h"
#include "fakes/CapturedLog.h"
#include "fakes/TempDir.h"

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

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

// (That the streams carry the film, and nothing while covered, the desktop matrix's Plasma cells
// check on a real Plasma through Drovane's wallpaper plugin.)
TEST_F(StreamWindowServerTest, AWindowsStreamIsListedWhileItLivesAndTheDaemonGoingTakesThemAll) {
    if (!startDaemon()) {
        GTEST_SKIP() << "the pipewire daemon did not start: " << ::testing::PrintToString(m_daemon->lines());
    }
    auto server = StreamWindowServer::open(m_log);
    ASSERT_NE(server, nullptr);
    std::vector<std::vector<ScreenStream>> told;
    server->onStreamsChanged = [&](std::vector<ScreenStream> streams) { told.push_back(std::move(streams)); };

    auto window = server->makeWallpaperWindow(kFrame);
    ASSERT_NE(window, nullptr);
    window->orderFront();
    ASSERT_TRUE(waitUntil([&] { return !told.empty(); }, 10));
    ASSERT_EQ(told.back().size(), 1u);
    EXPECT_EQ(told.back()[0].frame, kFrame);
    // Nobody takes the pictures yet: nobody sees the wallpaper.
    EXPECT_FALSE(window->isOccludedVisible());
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
