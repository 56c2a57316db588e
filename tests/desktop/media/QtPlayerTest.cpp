#include "desktop/media/QtPlayer.h"

#include "desktop/GuiTestSupport.h"
#include "desktop/MediaFixtures.h"
#include "fakes/CapturedLog.h"
#include "fakes/TempDir.h"

#include <atomic>
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
        // Another screen's player of the same film is told as well.
        auto fellow = std::make_shared<QtPlayer>(Url::fromFilePath(c.path), 8, log);
        bool fellowFailed = false;
        auto fellowWatch = fellow->observeFailure([&](const std::string&) { fellowFailed = true; });
        player->setRate(1.0);
        ASSERT_TRUE(waitUntil([&] { return duration.has_value() && !failures.empty() && fellowFailed; }, 10));
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

// Screens showing one film share one decode while they agree: players made together share it,
// even when the first was told to play before the next was made; another film, or a player made
// once the film has moved on (the next loop), gets one of its own.
TEST(QtPlayer, PlayersOfOneFilmMadeTogetherShareOneDecoder) {
    auto application = testApplication();
    fakes::TempDir dir;
    const std::string a = dir / "a.mov", b = dir / "b.mov";
    ASSERT_TRUE(fixtures::patternFilm(a, fixtures::Codec::H264, 160, 90, 4));
    ASSERT_TRUE(fixtures::patternFilm(b, fixtures::Codec::H264, 160, 90, 4));
    enum class First { Paused, ToldToPlay, MovedOn };
    struct Case {
        std::string second;
        First first;
        bool shared;
    };
    const Case cases[] = {{a, First::Paused, true},
                          {a, First::ToldToPlay, true},
                          {b, First::Paused, false},
                          {a, First::MovedOn, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.second + " " + std::to_string(int(c.first)));
        auto first = std::make_shared<QtPlayer>(Url::fromFilePath(a), 8, nullptr);
        if (c.first != First::Paused) {
            first->setRate(1.0);
        }
        if (c.first == First::MovedOn) {
            ASSERT_TRUE(waitUntil([&] { return first->currentTime() > 0.2; }, 10));
        }
        auto second = std::make_shared<QtPlayer>(Url::fromFilePath(c.second), 8, nullptr);
        EXPECT_EQ(first->decoderIdentity() == second->decoderIdentity(), c.shared);
        if (c.shared) {
            // Both move together once both play; a paused one stays where it is.
            second->setRate(1.0);
            ASSERT_TRUE(waitUntil([&] { return second->currentTime() > 0.3; }, 10));
            EXPECT_NEAR(first->currentTime(), c.first == First::Paused ? 0.0 : second->currentTime(), 0.05);
        }
    }
}

// A screen covered while the others play stands still on its frame, its boundaries unfired; on
// playing again it shows the shared position, the times it skipped counting as crossed. A screen
// that has not had a picture yet still gets one while it waits.
TEST(QtPlayer, APlayerPausedWhileItsFellowPlaysStandsStillThenRejoinsTheSharedPosition) {
    auto application = testApplication();
    fakes::TempDir dir;
    const std::string path = dir / "shared.mov";
    ASSERT_TRUE(fixtures::patternFilm(path, fixtures::Codec::H264, 160, 90, 6));
    auto playing = std::make_shared<QtPlayer>(Url::fromFilePath(path), 8, nullptr);
    auto covered = std::make_shared<QtPlayer>(Url::fromFilePath(path), 8, nullptr);
    auto waiting = std::make_shared<QtPlayer>(Url::fromFilePath(path), 8, nullptr);
    std::atomic<int> coveredFrames = 0, waitingFrames = 0;
    auto coveredFeed = covered->observeFrames([&](const QVideoFrame&) { ++coveredFrames; });
    auto waitingFeed = waiting->observeFrames([&](const QVideoFrame&) { ++waitingFrames; });
    int coveredCrossed = 0;
    auto boundary = covered->addBoundaryTimeObserver({2.0}, [&] { ++coveredCrossed; });

    playing->setRate(1.0);
    covered->setRate(1.0);
    ASSERT_TRUE(waitUntil([&] { return covered->currentTime() > 0.5; }, 10));
    covered->pause();
    const double stoodAt = covered->currentTime();
    const int framesWhenCovered = coveredFrames;
    ASSERT_TRUE(waitUntil([&] { return playing->currentTime() > 2.5; }, 10)) << "the other screen plays on";
    EXPECT_NEAR(covered->currentTime(), stoodAt, 0.001);
    EXPECT_LE(coveredFrames - framesWhenCovered, 1);
    EXPECT_EQ(coveredCrossed, 0);
    EXPECT_GE(waitingFrames, 1) << "a screen still waiting has a picture";
    EXPECT_LT(waiting->currentTime(), 0.1);

    covered->setRate(1.0);
    EXPECT_NEAR(covered->currentTime(), playing->currentTime(), 0.1);
    ASSERT_TRUE(waitUntil([&] { return coveredCrossed == 1; }, 2));
    ASSERT_TRUE(waitUntil([&] { return coveredFrames > framesWhenCovered + 5; }, 5));
    EXPECT_EQ(playing->decoderIdentity(), covered->decoderIdentity());
    EXPECT_EQ(covered->rate(), 1.0);
}

// Each player sharing a decode keeps the engine's contract of its own: its boundaries, and the
// end guard stopping on the last frame.
TEST(QtPlayer, EveryPlayerOfASharedDecodeCrossesItsBoundariesAndStopsAtTheEnd) {
    auto application = testApplication();
    fakes::TempDir dir;
    const std::string path = dir / "short.mov";
    ASSERT_TRUE(fixtures::patternFilm(path, fixtures::Codec::H264, 160, 90, 1.5));
    std::vector<std::shared_ptr<QtPlayer>> players;
    std::vector<Subscription> boundaries;
    std::vector<int> crossed(3, 0);
    for (int i = 0; i < 3; ++i) {
        players.push_back(std::make_shared<QtPlayer>(Url::fromFilePath(path), 8, nullptr));
        boundaries.push_back(
            players.back()->addBoundaryTimeObserver({0.5, 1.45}, [&crossed, i] { ++crossed[i]; }));
    }
    for (auto& player : players) {
        player->setRate(1.0);
    }
    ASSERT_TRUE(waitUntil([&] { return players[0]->isAtEnd() && players[2]->isAtEnd(); }, 10));
    spin(0.2);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(players[i]->isAtEnd());
        EXPECT_EQ(crossed[i], 2) << "each boundary, the one inside the end guard too";
        EXPECT_EQ(players[i]->rate(), 0.0);
        players[i]->setRate(1.0);
        EXPECT_EQ(players[i]->rate(), 0.0) << "the end stays";
    }
}

} // namespace
} // namespace drovane::desktop
