#include "EngineFixture.h"

namespace drovane {
namespace {

using testing::EngineFixture;
using AppModelTest = EngineFixture;

// That a film change keeps the windows and cross-fades to new players is the looping tests'; that
// it is announced, the reminder's at launch.
// That every screen has its window, player and layer, and nothing outlives a rebuild, the day of
// use checks throughout.
TEST_F(AppModelTest, ARebuildStartsTheFilmAgainWithAFadeInOnOneOcclusionSubscription) {
    setScreens(3);
    model->switchVideo(addFilm("A"));
    EXPECT_EQ(player(2).forwardBufferSeconds(), 8.0);
    EXPECT_NE(model->players[0], model->players[1]);
    settle(5);
    const auto old = model->windows;
    const auto oldPlayer = model->players[0];
    ASSERT_GT(oldPlayer->currentTime(), 1.0);
    setScreens(2);
    model->buildWindows(); // as the delegate does on a screen change
    ASSERT_EQ(model->windows.size(), 2u);
    for (const auto& w : old) {
        EXPECT_FALSE(w->isVisible()) << "the old windows are ordered out";
    }
    EXPECT_EQ(oldPlayer->rate(), 0.0);
    EXPECT_EQ(player(0).currentTime(), 0.0) << "the film starts again";
    EXPECT_EQ(layer(0).opacity(), 0.0);
    settle(2);
    EXPECT_EQ(layer(0).opacity(), 1.0) << "with a fade-in";
    EXPECT_EQ(fake.windowServer->occlusionObserverCount(), 1u) << "one occlusion subscription at a time";
}

TEST_F(AppModelTest, StretchedFilmsFillTheScreenAndOthersAreCropped) {
    const Url system =
        Url::fromFilePath(aerials.addSystemFilm("Hill/Hill Landscape.mov")); // always stretched
    model->switchVideo(system);
    EXPECT_EQ(layer(0).gravity(), VideoGravity::Resize);
    model->switchVideo(addFilm("A"));
    EXPECT_EQ(layer(0).gravity(), VideoGravity::ResizeAspectFill);
}

// Without a film the machine's state need not be followed: its pollers may rest.
TEST_F(AppModelTest, ClearingLetsThePollersRest) {
    model->switchVideo(addFilm("A"));
    EXPECT_TRUE(fake.systemEvents->wallpaperShown);
    model->clearVideo();
    EXPECT_FALSE(fake.systemEvents->wallpaperShown);
}

TEST_F(AppModelTest, AnotherProgramsDesktopOverTheWallpaperIsToldOnceAndShownWhileItLasts) {
    model->switchVideo(addFilm("A"));
    settle();
    EXPECT_EQ(model->desktopNotice, "");

    for (int round = 0; round < 2; ++round) {
        fake.windowServer->hiding = "xfdesktop";
        fake.windowServer->setCovered(window(0), true);
        settle(2);
        EXPECT_EQ(player(0).rate(), 0.0) << "paused as under any covering window";
        EXPECT_EQ(model->desktopNotice, AppModel::hidingNotice("xfdesktop"));
        fake.windowServer->hiding = "";
        fake.windowServer->setCovered(window(0), false);
        settle();
        EXPECT_EQ(model->desktopNotice, "");
        EXPECT_GT(player(0).rate(), 0.0);
    }
    EXPECT_EQ(fake.log->lines(), std::vector<std::string>{"Drovane: " + AppModel::hidingNotice("xfdesktop")})
        << "said once";
}

} // namespace
} // namespace drovane
