#include "desktop/media/QtPlayer.h"

#include "desktop/GuiTestSupport.h"
#include "desktop/MediaFixtures.h"
#include "fakes/CapturedLog.h"
#include "fakes/TempDir.h"

#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace drovane::desktop {
namespace {

using namespace testing;

class QtPlayerTest : public ::testing::Test {
protected:
    // A test pattern of `seconds` at 30 frames a second.
    std::string film(const std::string& name, double seconds, std::vector<std::string> extra = {}) {
        const std::string path = dir / name;
        EXPECT_TRUE(fixtures::patternFilm(path, fixtures::Codec::H264, 160, 90, seconds, std::move(extra)));
        return path;
    }
    static std::shared_ptr<QtPlayer> player(const std::string& path,
                                            std::shared_ptr<fakes::CapturedLog> log = nullptr) {
        return std::make_shared<QtPlayer>(Url::fromFilePath(path), 8, std::move(log));
    }

    std::shared_ptr<QApplication> application = testApplication();
    fakes::TempDir dir;
};

// What cannot be played fails its duration request and tells its failure observers why (the
// engine says it, once for all screens); a FIFO is never opened (it would block the pipeline, and
// the launch with it, for good). (A film that plays gives its duration: the loops of every test
// that plays the sample library need it.)
TEST_F(QtPlayerTest, AFilmThatCannotBePlayedFailsWithItsReasonAndAFifoIsNeverOpened) {
    const std::string junk = dir.write("junk.mov", std::string(4096, 'x'));
    const std::string fifo = dir / "fifo.mov";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string path;
        std::string reason; // empty: any reason
    } cases[] = {{junk, ""}, {fifo, "not a regular file"}, {dir / "missing.mov", "no such file"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto log = std::make_shared<fakes::CapturedLog>();
        auto broken = player(c.path, log);
        std::optional<std::optional<double>> duration;
        std::vector<std::string> failures;
        broken->loadDuration([&](std::optional<double> d) { duration = d; });
        auto watch = broken->observeFailure([&](const std::string& reason) { failures.push_back(reason); });
        // Another screen's player of the same film is told as well.
        auto fellow = player(c.path, log);
        bool fellowFailed = false;
        auto fellowWatch = fellow->observeFailure([&](const std::string&) { fellowFailed = true; });
        broken->setRate(1.0);
        ASSERT_TRUE(waitUntil([&] { return duration.has_value() && !failures.empty() && fellowFailed; }, 10));
        EXPECT_FALSE(duration->has_value());
        spin(0.2);
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_FALSE(failures[0].empty());
        EXPECT_TRUE(failures[0].starts_with(c.reason)) << failures[0];
        EXPECT_EQ(broken->rate(), 0.0);
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
TEST_F(QtPlayerTest, AFilmCutAfterItsHeaderStopsWhereItsPicturesEndOrFails) {
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

TEST_F(QtPlayerTest, PausingOrChangingTheRateNeverRunsABoundaryHandlerInsideTheCall) {
    auto reentry = player(film("reentry.mov", 4));
    for (const bool pausing : {true, false}) {
        SCOPED_TRACE(pausing ? "pause" : "setRate");
        bool insideCall = false;
        int fired = 0, firedInside = 0;
        const double from = reentry->currentTime();
        reentry->setRate(1.0);
        ASSERT_TRUE(waitUntil([&] { return reentry->currentTime() > from + 0.05; }, 10)) << "it plays";
        auto observer = reentry->addBoundaryTimeObserver({reentry->currentTime() + 0.4}, [&] {
            ++fired;
            firedInside += insideCall;
        });
        // The pipeline plays on past the boundary while the main thread cannot take its timer.
        QThread::msleep(700);
        insideCall = true;
        pausing ? reentry->pause() : reentry->setRate(0.5);
        insideCall = false;
        ASSERT_TRUE(waitUntil([&] { return fired == 1; }, 5));
        EXPECT_EQ(firedInside, 0);
    }
}

// Screens showing one film share one decode while they agree: players made together share it,
// even when the first was told to play before the next was made; another film, or a player made
// once the film has moved on (the next loop), gets one of its own.
// Low Power Mode plays at half rate; a loop's cross-fade still has to start at its media time.
TEST_F(QtPlayerTest, BoundariesFireAtTheirMediaTimeAtHalfRate) {
    auto clock = player(film("clock.mov", 8));
    QElapsedTimer moving;
    std::vector<std::pair<double, double>> fired; // media time, seconds since it moved
    auto observer = clock->addBoundaryTimeObserver(
        {0.5, 1.25}, [&] { fired.emplace_back(clock->currentTime(), moving.elapsed() / 1000.0); });
    clock->setRate(0.5);
    ASSERT_TRUE(waitUntil([&] { return clock->currentTime() > 0.02; }, 10));
    const double start = clock->currentTime();
    moving.start();
    ASSERT_TRUE(waitUntil([&] { return fired.size() == 2; }, 10));
    EXPECT_NEAR(fired[0].first, 0.5, 0.05);
    EXPECT_NEAR(fired[1].first, 1.25, 0.05);
    EXPECT_NEAR(fired[1].second, (1.25 - start) / 0.5, 0.35) << "media time runs at half speed";
}

TEST_F(QtPlayerTest, PlayersOfOneFilmMadeTogetherShareOneDecoder) {
    const std::string a = film("a.mov", 4), b = film("b.mov", 4);
    enum class First { Paused, ToldToPlay, MovedOn };
    const struct {
        std::string second;
        First first;
        bool shared;
    } cases[] = {
        // clang-format off
        {a, First::Paused, true},
        {a, First::ToldToPlay, true},
        {b, First::Paused, false},
        {a, First::MovedOn, false},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second + " " + std::to_string(int(c.first)));
        auto first = player(a);
        if (c.first != First::Paused) {
            first->setRate(1.0);
        }
        if (c.first == First::MovedOn) {
            ASSERT_TRUE(waitUntil([&] { return first->currentTime() > 0.2; }, 10));
        }
        auto second = player(c.second);
        EXPECT_EQ(first->decoderIdentity() == second->decoderIdentity(), c.shared);
        if (c.shared) {
            // Both move together once both play; a paused one stays where it is.
            second->setRate(1.0);
            ASSERT_TRUE(waitUntil([&] { return second->currentTime() > 0.3; }, 10));
            EXPECT_NEAR(first->currentTime(), c.first == First::Paused ? 0.0 : second->currentTime(), 0.05);
        }
    }
}

// A screen covered while the others play stands still on its frame, its boundaries unfired (and a
// removed one never fires); on
// playing again it shows the shared position, the times it skipped counting as crossed. A screen
// that has not had a picture yet still gets one while it waits. Each player of the shared decode
// keeps the engine's contract of its own to the end: its boundaries, the one inside the end guard
// too, and the end guard stopping it on the last frame.
TEST_F(QtPlayerTest, APlayerPausedWhileItsFellowPlaysStandsStillThenRejoinsTheSharedPositionToTheEnd) {
    const std::string path = film("shared.mov", 3.5);
    auto playing = player(path), covered = player(path), waiting = player(path);
    std::atomic<int> coveredFrames = 0, waitingFrames = 0;
    auto coveredFeed = covered->observeFrames([&](const QVideoFrame&) { ++coveredFrames; });
    auto waitingFeed = waiting->observeFrames([&](const QVideoFrame&) { ++waitingFrames; });
    int coveredCrossed = 0, playingCrossed = 0;
    auto boundary = covered->addBoundaryTimeObserver({2.0, 3.45}, [&] { ++coveredCrossed; });
    auto playingBoundary = playing->addBoundaryTimeObserver({3.45}, [&] { ++playingCrossed; });
    bool removedFired = false;
    covered->addBoundaryTimeObserver({1.0}, [&] { removedFired = true; }).reset();

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

    ASSERT_TRUE(waitUntil([&] { return playing->isAtEnd() && covered->isAtEnd(); }, 10));
    spin(0.2);
    EXPECT_EQ(coveredCrossed, 2);
    EXPECT_EQ(playingCrossed, 1);
    EXPECT_FALSE(removedFired) << "a removed observer stays silent";
    for (QtPlayer* each : {playing.get(), covered.get()}) {
        EXPECT_EQ(each->rate(), 0.0);
        each->setRate(1.0);
        EXPECT_EQ(each->rate(), 0.0) << "the end stays";
    }
}

} // namespace
} // namespace drovane::desktop
