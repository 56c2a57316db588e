#include "desktop/media/QtPlayer.h"

#include "desktop/GuiTestSupport.h"
#include "desktop/MediaFixtures.h"
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

// What cannot be played fails its duration request and tells its failure observers why (the
// engine says it, once for all screens); a FIFO is never opened (it would block the pipeline, and
// the launch with it, for good).
TEST(QtPlayer, AFilmThatCannotBePlayedFailsWithItsReasonAndAFifoIsNeverOpened) {
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
        std::vector<std::string> failures;
        player->loadDuration([&](std::optional<double> d) { duration = d; });
        auto watch = player->observeFailure([&](const std::string& reason) { failures.push_back(reason); });
        player->setRate(1.0);
        ASSERT_TRUE(waitUntil([&] { return duration.has_value() && !failures.empty(); }, 10));
        EXPECT_FALSE(duration->has_value());
        spin(0.2);
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_FALSE(failures[0].empty());
        EXPECT_TRUE(failures[0].starts_with(c.reason)) << failures[0];
        EXPECT_EQ(player->rate(), 0.0);
        EXPECT_TRUE(log->lines().empty()) << log->lines()[0];
    }
    // Opening a FIFO for writing without blocking fails when nobody has it open for reading.
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    EXPECT_EQ(writer, -1);
    EXPECT_EQ(errno, ENXIO);
}

// A film cut after its header: the header promises twenty seconds, the pictures end almost at
// once. The player must not play on as if they went on: it stops where they end, counting the
// times after as crossed, or it fails; either within moments, never both.
TEST(QtPlayer, AFilmCutAfterItsHeaderStopsWhereItsPicturesEndOrFails) {
    auto application = testApplication();
    fakes::TempDir dir;
    const std::string whole = dir / "whole.mov";
    ASSERT_TRUE(
        fixtures::patternFilm(whole, fixtures::Codec::H264, 320, 180, 20, {"-movflags", "+faststart"}));
    for (const int kilobytes : {10, 20, 30}) {
        SCOPED_TRACE(kilobytes);
        const std::string cut = dir / ("cut" + std::to_string(kilobytes) + ".mov");
        std::filesystem::copy_file(whole, cut);
        std::filesystem::resize_file(cut, std::uintmax_t(kilobytes) * 1024);
        auto player = std::make_shared<QtPlayer>(Url::fromFilePath(cut), 8, nullptr);
        int crossed = 0;
        int failed = 0;
        Subscription boundary;
        // As the engine does: the loop's boundary once the duration is known.
        player->loadDuration([&](std::optional<double> d) {
            if (d) {
                boundary = player->addBoundaryTimeObserver({*d - 1.5}, [&] { ++crossed; });
            }
        });
        auto watch = player->observeFailure([&](const std::string&) { ++failed; });
        player->setRate(1.0);
        ASSERT_TRUE(waitUntil([&] { return crossed + failed > 0; }, 20));
        spin(0.5);
        EXPECT_EQ(crossed + failed, 1);
        EXPECT_LT(player->currentTime(), 1.5) << "it did not play on";
        EXPECT_EQ(player->rate(), 0.0);
    }
}

} // namespace
} // namespace drovane::desktop
