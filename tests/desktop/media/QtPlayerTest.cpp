#include "desktop/media/QtPlayer.h"

#include "desktop/GuiTestSupport.h"
#include "fakes/CapturedLog.h"
#include "fakes/TempDir.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace drovane::desktop {
namespace {

using namespace testing;

// What cannot be played fails its duration request with one line saying which film and why; a
// FIFO is never opened (it would block the pipeline, and the launch with it, for good).
TEST(QtPlayer, AFilmThatCannotBePlayedFailsWithOneLineAndAFifoIsNeverOpened) {
    auto application = testApplication();
    fakes::TempDir dir;
    const std::string junk = dir.write("junk.mov", std::string(4096, 'x'));
    const std::string fifo = dir / "fifo.mov";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string path;
        std::string reason; // empty: any reason
    };
    const Case cases[] = {{junk, ""}, {fifo, "not a regular file"}, {dir / "missing.mov", "no such file"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        auto log = std::make_shared<fakes::CapturedLog>();
        auto player = std::make_shared<QtPlayer>(Url::fromFilePath(c.path), 8, log);
        std::optional<std::optional<double>> duration;
        player->loadDuration([&](std::optional<double> d) { duration = d; });
        player->setRate(1.0);
        ASSERT_TRUE(waitUntil([&] { return duration.has_value(); }, 10));
        EXPECT_FALSE(duration->has_value());
        ASSERT_EQ(log->lines().size(), 1u);
        EXPECT_TRUE(log->lines()[0].starts_with("Drovane: cannot play " + c.path + ": " + c.reason))
            << log->lines()[0];
    }
    // Opening a FIFO for writing without blocking fails when nobody has it open for reading.
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    EXPECT_EQ(writer, -1);
    EXPECT_EQ(errno, ENXIO);
}

} // namespace
} // namespace drovane::desktop
