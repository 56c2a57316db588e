#include "EngineFixture.h"

#include <functional>

namespace drovane {
namespace {

using testing::EngineFixture;
using UnplayableFilmTest = EngineFixture;

// A truncated film once made players as fast as they could end, for good. Whatever makes a
// film unplayable, it is said once, and the engine makes players of it only after a back-off
// that grows with each failure in a row.
TEST_F(UnplayableFilmTest, ATruncatedOrBrokenFilmIsToldOnceAndRetriedOnlyAfterABackOff) {
    struct Case {
        const char* name;
        std::function<void(fakes::FakeVideo&, const std::string& path)> make;
        std::string reason;
    };
    // clang-format off
    const Case cases[] = {
        {"pictures end after 0.3 s of 20", [](auto& v, auto& p) { v.picturesEnd[p] = 0.3; },"too short to play (it ends after 0.30 s)"},
        {"no picture, nothing said", [](auto& v, auto& p) { v.withoutPicture.insert(p); },"no picture after 10.00 s"},
        {"undecodable", [](auto& v, auto& p) { v.durations[p] = std::nullopt; },"not a film that can be played"},
    };
    // clang-format on
    setScreens(2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Url film = addFilm(c.name);
        c.make(*fake.video, *film.filePath());
        fake.log->clear();
        const std::size_t before = fake.video->playersMade;
        model->switchVideo(film);

        std::size_t mostAlive = 0;
        for (int minute = 0; minute < 60; ++minute) {
            fake.mainQueue->advance(60);
            mostAlive = std::max(mostAlive, fake.video->livePlayers().size());
        }
        EXPECT_EQ(fake.log->lines(),
                  std::vector<std::string>{"Drovane: cannot play " + *film.filePath() + ": " + c.reason});
        // Retries after 10, 20, 40, ... 600 s: about a dozen in the hour, two players each.
        const std::size_t made = fake.video->playersMade - before;
        EXPECT_GE(made, 2u * 8) << "it tries again";
        EXPECT_LE(made, 2u * 14);
        EXPECT_LE(mostAlive, 4u) << "failed players do not pile up";
    }
}

TEST_F(UnplayableFilmTest, AFailureOfAGoodFilmIsRetriedSoonAndAWholeLoopEndsTheBackOff) {
    const Url film = addFilm("GOOD", 20.0);
    model->switchVideo(film);
    settle(5);
    const std::string line = "Drovane: cannot play " + *film.filePath() + ": the stream broke";
    for (int time = 0; time < 2; ++time) {
        SCOPED_TRACE(time);
        auto failed = model->players[0];
        player(0).fail("the stream broke");
        settle(0.1);
        EXPECT_EQ(failed->rate(), 0.0) << "it stands where it broke";
        EXPECT_EQ(window(0).playerLayers().back()->opacity(), 1.0) << "and shows its picture";
        fake.mainQueue->advance(AppModel::retryDelay - 0.2);
        EXPECT_EQ(model->players[0], failed);
        fake.mainQueue->advance(0.2);
        ASSERT_NE(model->players[0], failed) << "tried again after the first delay";
        EXPECT_GT(player(0).rate(), 0);
        fake.mainQueue->advance(20); // a whole loop
        EXPECT_EQ(fake.log->countStartingWith(line), static_cast<std::size_t>(time + 1));
    }
}

TEST_F(UnplayableFilmTest, AFilmWhosePicturesEndEarlyLoopsAtItsEndOnlyIfItIsLongEnoughToLoop) {
    for (const double end : {2.5, 10.0}) {
        SCOPED_TRACE(end);
        const Url film = addFilm("END" + std::to_string(static_cast<int>(end)), 20.0);
        fake.video->picturesEnd[*film.filePath()] = end;
        fake.log->clear();
        model->switchVideo(film);
        auto first = model->players[0];
        fake.mainQueue->advance(end + 0.3);
        EXPECT_EQ(model->players[0] != first, end > 3);
        EXPECT_EQ(first->currentTime(), end);
        fake.mainQueue->advance(60);
        const std::string line = "Drovane: cannot loop " + *film.filePath() +
                                 ": too short to loop (it ends after 2.50 s), it plays once";
        EXPECT_EQ(fake.log->lines(), std::vector<std::string>(end > 3 ? 0 : 1, line)) << "said once";
    }
}

TEST_F(UnplayableFilmTest, OnlyTimeSpentPlayingCountsTowardsTheFirstFrame) {
    const Url film = addFilm("DARK");
    fake.video->withoutPicture.insert(*film.filePath());
    model->switchVideo(film);
    fake.mainQueue->advance(5);
    model->manualPaused = true;
    model->updatePlayback();
    fake.mainQueue->advance(60);
    model->manualPaused = false;
    model->updatePlayback();
    fake.mainQueue->advance(9.9);
    EXPECT_TRUE(fake.log->lines().empty()) << "paused time does not count";
    fake.mainQueue->advance(0.2);
    EXPECT_EQ(fake.log->countStartingWith("Drovane: cannot play " + *film.filePath() + ": no picture"), 1u);
    EXPECT_EQ(player(0).rate(), 0.0);
}

} // namespace
} // namespace drovane
