#include "EngineFixture.h"

namespace drovane {
namespace {

using testing::EngineFixture;
using LoopingTest = EngineFixture;

TEST_F(LoopingTest, ATwentySecondFilmLoopsAtEighteenAndAHalfOfMediaTimeOncePerLoop) {
    setScreens(2);
    model->switchVideo(addFilm("A", 20.0));
    settle(0.1);
    auto first = model->players[0];
    ASSERT_EQ(player(0).boundaryTimes(), std::vector<double>{18.5});

    std::optional<double> loopedAt;
    model->onStateChanged = [&] {
        if (model->players[0] != first && !loopedAt) {
            loopedAt = first->currentTime();
        }
    };
    fake.mainQueue->advance(18.3);
    EXPECT_EQ(model->players[0], first) << "not yet";
    fake.mainQueue->advance(0.2);
    ASSERT_NE(model->players[0], first) << "the next loop has begun";
    ASSERT_TRUE(loopedAt);
    EXPECT_NEAR(*loopedAt, 18.5, 1e-6);
    EXPECT_GT(first->rate(), 0) << "the old film plays on under the new layer";
    EXPECT_EQ(fake.video->madePlayers.size(), 4u) << "one crossfade: a new player per screen";
    // The boundary is in media time, so at half rate the loop comes after 37 s (that low power
    // halves the rate is the power monitor's test). That the new players play the same film and
    // the old layers go after the fade-in, the day of use checks throughout.
}

TEST_F(LoopingTest, OnlyFilmsLongerThanThreeSecondsLoop) {
    model->switchVideo(addFilm("SHORT", 3.0));
    settle(1);
    EXPECT_EQ(player(0).boundaryObserverCount(), 0u);
    auto shortPlayer = model->players[0];
    fake.mainQueue->advance(10);
    EXPECT_EQ(model->players[0], shortPlayer) << "a short film plays once";
    EXPECT_EQ(shortPlayer->currentTime(), 3.0) << "and stands on its last frame";
    EXPECT_EQ(shortPlayer->rate(), 0.0);

    model->switchVideo(addFilm("JUST", 3.01));
    settle(0.1);
    ASSERT_EQ(player(0).boundaryTimes().size(), 1u);
    EXPECT_NEAR(player(0).boundaryTimes()[0], 1.51, 1e-9);
    EXPECT_DOUBLE_EQ(player(0).boundaryTimes()[0] * 600, std::round(player(0).boundaryTimes()[0] * 600))
        << "boundary times are whole 1/600 s";

    const Url unknown = addFilm("UNKNOWN");
    fake.video->durations[*unknown.filePath()] = std::nullopt;
    model->switchVideo(unknown);
    settle(1);
    EXPECT_EQ(player(0).boundaryObserverCount(), 0u) << "no duration, no loop";
}

TEST_F(LoopingTest, ALoopNeverLeavesAScreenWithoutAPicture) {
    model->switchVideo(addFilm("A", 10.0));
    settle(2);
    // Step through the loop finely: the top-most picture is always fully opaque somewhere.
    for (int step = 0; step < 200; ++step) {
        fake.mainQueue->advance(0.05);
        double cover = 0;
        for (const auto& l : window(0).playerLayers()) {
            cover = 1 - (1 - cover) * (1 - l->opacity());
        }
        ASSERT_GT(cover, 0.999) << "at step " << step;
    }
}

TEST_F(LoopingTest, EachOldLayerGoesOnlyAfterItsSuccessorHasFadedIn) {
    const Url a = addFilm("A");
    const Url b = addFilm("B");
    const Url c = addFilm("C");
    model->switchVideo(a);
    settle(2);
    auto layerA = model->layers[0];
    auto playerA = model->players[0];

    model->switchVideo(b);
    auto layerB = model->layers[0];
    auto playerB = model->players[0];
    fake.mainQueue->advance(0.05);
    model->switchVideo(c);
    auto layerC = model->layers[0];
    EXPECT_EQ(window(0).playerLayers().size(), 3u);

    fake.mainQueue->advance(1.0);
    EXPECT_EQ(window(0).playerLayers().size(), 3u) << "nothing removed before a fade-in ends";
    EXPECT_GT(playerA->rate(), 0);

    fake.mainQueue->advance(0.57); // B's fade-in (from 2.1 s) has ended, C's (from 2.15 s) not yet
    auto remaining = window(0).playerLayers();
    ASSERT_EQ(remaining.size(), 2u);
    EXPECT_EQ(remaining[0], layerB);
    EXPECT_EQ(remaining[1], layerC);
    EXPECT_EQ(playerA->rate(), 0) << "A was retired";
    EXPECT_EQ(std::dynamic_pointer_cast<fakes::FakePlayerLayer>(layerA)->player(), nullptr);

    fake.mainQueue->advance(0.1);
    ASSERT_EQ(window(0).playerLayers().size(), 1u);
    EXPECT_EQ(window(0).playerLayers()[0], layerC);
    EXPECT_EQ(playerB->rate(), 0);
}

// A film without a frame never fades in (above); what it left showing goes once another film has
// faded in over it, which the day of use checks.
TEST_F(LoopingTest, ACrossfadeWhilePausedKeepsTheNewPlayersPausedAndRetiresTheOldAfterTheFade) {
    model->switchVideo(addFilm("A"));
    settle(2);
    model->manualPaused = true;
    model->updatePlayback();
    auto old = model->players[0];
    model->switchVideo(addFilm("B"));
    EXPECT_EQ(player(0).rate(), 0.0);
    EXPECT_EQ(window(0).playerLayers().size(), 2u);
    settle(2);
    EXPECT_EQ(window(0).playerLayers().size(), 1u);
    EXPECT_EQ(old->rate(), 0.0);
    EXPECT_EQ(player(0).rate(), 0.0);
}

// That a rebuild during a pending cross-fade retires the outgoing players, the day of use checks.
TEST_F(LoopingTest, AFadeInWhoseFirstFrameComesAfterTheEngineWentStillRunsToTheEnd) {
    fake.video->readyDelay = 1.0;
    model->switchVideo(addFilm("A"));
    auto layer = model->layers[0];
    model.reset();
    ASSERT_EQ(layer->opacity(), 0.0);
    settle(3);
    EXPECT_EQ(layer->opacity(), 1.0);
}

} // namespace
} // namespace drovane
