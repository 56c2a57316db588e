#include "desktop/render/quick/QuickVideo.h"

#include "desktop/GuiTestSupport.h"
#include "desktop/media/QtPlayer.h"
#include "desktop/render/quick/QuickWallpaperWindow.h"
#include "desktop/render/quick/QuickWindowServer.h"
#include "desktop/runtime/StderrLog.h"
#include "fakes/TempDir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QQuickWindow>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

using namespace testing;

constexpr Rect kFrame{{0, 0}, {320, 180}};

class QuickVideoTest : public ::testing::Test {
protected:
    QuickVideoTest() : m_application(testApplication()) {}

    std::shared_ptr<WallpaperWindow> shownWindow() {
        auto window = m_server.makeWallpaperWindow(kFrame);
        window->orderFront();
        EXPECT_TRUE(waitUntil([&] { return window->isOccludedVisible(); }, 5));
        return window;
    }
    std::shared_ptr<PlayerLayer> addLayer(WallpaperWindow& window, const std::shared_ptr<Player>& player) {
        auto layer = m_video.makeLayer(player, kFrame, VideoGravity::ResizeAspectFill);
        window.contentLayer()->addSublayer(layer);
        return layer;
    }
    static QImage grab(WallpaperWindow& window) {
        return dynamic_cast<QuickWallpaperWindow&>(window).quickWindow().grabWindow();
    }
    std::string film(const std::string& name, const std::string& source, double seconds) {
        auto path = makeFilm(m_dir.path(), name, source, seconds);
        EXPECT_FALSE(path.empty()) << "ffmpeg could not make " << name;
        return path;
    }

    std::shared_ptr<QApplication> m_application;
    fakes::TempDir m_dir;
    QuickWindowServer m_server{m_application};
    QuickVideo m_video{m_application, std::make_shared<desktop::StderrLog>()};
};

TEST_F(QuickVideoTest, AGeneratedFilmRendersAndMoves) {
    const auto path = film("moving.mov", "testsrc2=size=320x180:rate=30", 6);
    auto window = shownWindow();
    auto player = m_video.makePlayer(Url::fromFilePath(path), 8);
    auto layer = addLayer(*window, player);
    player->setRate(1.0);
    ASSERT_TRUE(waitUntil([&] { return layer->isReadyForDisplay(); }, 10));

    const QImage first = grab(*window);
    EXPECT_GT(spread(first), 60) << "a test pattern is not one colour";
    QImage later;
    EXPECT_TRUE(waitUntil(
        [&] {
            later = grab(*window);
            return difference(first, later) > 2.0;
        },
        5))
        << "the picture changes while the film plays";
    EXPECT_GT(player->currentTime(), 0.0);

    const std::string png = m_dir / "snapshot.png";
    ASSERT_TRUE(window->snapshot(png));
    EXPECT_GT(spread(QImage(QString::fromStdString(png))), 60);
}

TEST_F(QuickVideoTest, AFilmPlaysInAWindowShownAfterItsLayerWasAdded) {
    // The order of a window build: layer into the window, the window on screen, then playback.
    const auto path = film("late.mov", "testsrc2=size=320x180:rate=30", 6);
    auto window = m_server.makeWallpaperWindow(kFrame);
    auto player = m_video.makePlayer(Url::fromFilePath(path), 8);
    auto layer = addLayer(*window, player);
    layer->setOpacity(0);
    window->orderFront();
    player->setRate(1.0);
    ASSERT_TRUE(waitUntil([&] { return layer->isReadyForDisplay(); }, 10));
    layer->setOpacity(1);
    const double start = player->currentTime();
    ASSERT_TRUE(waitUntil([&] { return player->currentTime() > start + 0.5; }, 5));
    EXPECT_GT(spread(grab(*window)), 60);
}

TEST_F(QuickVideoTest, DurationLoadsForAFilmAndIsAbsentForAnUnreadableFile) {
    const auto path = film("four.mov", "testsrc2=size=160x90:rate=30", 4);
    auto player = m_video.makePlayer(Url::fromFilePath(path), 8);
    std::optional<std::optional<double>> duration;
    player->loadDuration([&](std::optional<double> d) { duration = d; });
    ASSERT_TRUE(waitUntil([&] { return duration.has_value(); }, 10));
    ASSERT_TRUE(duration->has_value());
    EXPECT_NEAR(**duration, 4.0, 0.1);

    const std::string junk = m_dir.write("junk.mov", std::string(4096, 'x'));
    auto broken = m_video.makePlayer(Url::fromFilePath(junk), 8);
    std::optional<std::optional<double>> none;
    broken->loadDuration([&](std::optional<double> d) { none = d; });
    ASSERT_TRUE(waitUntil([&] { return none.has_value(); }, 10));
    EXPECT_FALSE(none->has_value());

    // The broken film's layer never gets a picture and stays transparent under a fade.
    auto window = shownWindow();
    auto layer = addLayer(*window, broken);
    layer->setOpacity(0);
    broken->setRate(1.0);
    spin(0.5);
    EXPECT_FALSE(layer->isReadyForDisplay());
}

TEST_F(QuickVideoTest, BoundaryObserversFireAtTheirMediaTime) {
    const auto path = film("boundaries.mov", "testsrc2=size=160x90:rate=30", 4);
    auto window = shownWindow();
    auto player = m_video.makePlayer(Url::fromFilePath(path), 8);
    auto layer = addLayer(*window, player);
    std::vector<double> firedAt;
    auto observer =
        player->addBoundaryTimeObserver({0.5, 1.25}, [&] { firedAt.push_back(player->currentTime()); });
    player->setRate(1.0);
    ASSERT_TRUE(waitUntil([&] { return firedAt.size() == 2; }, 10));
    EXPECT_NEAR(firedAt[0], 0.5, 0.05);
    EXPECT_NEAR(firedAt[1], 1.25, 0.05);

    // Paused across a boundary: nothing fires until playback moves on.
    std::vector<double> late;
    auto second = player->addBoundaryTimeObserver({player->currentTime() + 0.3},
                                                  [&] { late.push_back(player->currentTime()); });
    player->pause();
    spin(0.6);
    EXPECT_TRUE(late.empty());
    const double pausedAt = player->currentTime();
    player->setRate(1.0);
    ASSERT_TRUE(waitUntil([&] { return late.size() == 1; }, 5))
        << "paused at " << pausedAt << ", now at " << player->currentTime() << " rate " << player->rate();

    // A removed observer stays silent.
    bool removedFired = false;
    auto removed =
        player->addBoundaryTimeObserver({player->currentTime() + 0.2}, [&] { removedFired = true; });
    removed.reset();
    spin(0.5);
    EXPECT_FALSE(removedFired);
}

TEST_F(QuickVideoTest, PausingOrChangingTheRateNeverRunsABoundaryHandlerInsideTheCall) {
    const auto path = film("reentry.mov", "testsrc2=size=160x90:rate=30", 4);
    auto window = shownWindow();
    auto player = m_video.makePlayer(Url::fromFilePath(path), 8);
    auto layer = addLayer(*window, player);
    for (const bool pausing : {true, false}) {
        SCOPED_TRACE(pausing ? "pause" : "setRate");
        bool insideCall = false;
        int fired = 0, firedInside = 0;
        auto observer = player->addBoundaryTimeObserver({player->currentTime() + 0.4}, [&] {
            ++fired;
            firedInside += insideCall;
        });
        player->setRate(1.0);
        spin(0.1);
        // The pipeline plays on past the boundary while the main thread cannot take its timer.
        QThread::msleep(700);
        insideCall = true;
        pausing ? player->pause() : player->setRate(0.5);
        insideCall = false;
        ASSERT_TRUE(waitUntil([&] { return fired == 1; }, 5));
        EXPECT_EQ(firedInside, 0);
    }
}

TEST_F(QuickVideoTest, HalfRateMovesMediaTimeAtHalfSpeed) {
    const auto path = film("slow.mov", "testsrc2=size=160x90:rate=30", 5);
    auto window = shownWindow();
    auto player = m_video.makePlayer(Url::fromFilePath(path), 8);
    auto layer = addLayer(*window, player);
    double firedAfter = -1;
    QElapsedTimer clock;
    auto observer = player->addBoundaryTimeObserver({1.5}, [&] { firedAfter = clock.elapsed() / 1000.0; });
    player->setRate(0.5);
    ASSERT_TRUE(waitUntil([&] { return player->currentTime() > 0.05; }, 10));
    const double start = player->currentTime();
    clock.start();
    ASSERT_TRUE(waitUntil([&] { return firedAfter >= 0; }, 10));
    // 1.5 s of media from `start` at half rate.
    EXPECT_NEAR(firedAfter, (1.5 - start) / 0.5, 0.35);
}

TEST_F(QuickVideoTest, HalfRateSurvivesAPauseAndResume) {
    const auto path = film("resume.mov", "testsrc2=size=160x90:rate=30", 8);
    auto window = shownWindow();
    auto player = m_video.makePlayer(Url::fromFilePath(path), 8);
    auto layer = addLayer(*window, player);
    player->setRate(0.5);
    ASSERT_TRUE(waitUntil([&] { return player->currentTime() > 0.3; }, 10));
    player->pause();
    spin(0.3);
    const double pausedAt = player->currentTime();
    spin(0.3);
    EXPECT_NEAR(player->currentTime(), pausedAt, 0.02) << "a paused player keeps its position";

    player->setRate(0.5);
    EXPECT_DOUBLE_EQ(player->rate(), 0.5);
    ASSERT_TRUE(waitUntil([&] { return player->currentTime() > pausedAt + 0.05; }, 5));
    const double from = player->currentTime();
    QElapsedTimer clock;
    clock.start();
    spin(1.5);
    const double advanced = player->currentTime() - from;
    EXPECT_NEAR(advanced / (clock.elapsed() / 1000.0), 0.5, 0.12) << "media time per wall second";
}

// Regression: with the OpenGL upload path of Qt 6.4's GStreamer sink, a paused player went on
// delivering its frame and the window went on redrawing, costing a core while nothing moved.
TEST_F(QuickVideoTest, APausedPlayerLeavesItsWindowIdle) {
    const auto path = film("idle.mov", "testsrc2=size=320x180:rate=30", 6);
    auto window = shownWindow();
    auto player = m_video.makePlayer(Url::fromFilePath(path), 8);
    auto layer = addLayer(*window, player);
    player->setRate(1.0);
    ASSERT_TRUE(waitUntil([&] { return player->currentTime() > 0.5; }, 10));
    player->pause();
    spin(0.3);
    std::atomic<int> frames{0};
    auto& quick = dynamic_cast<QuickWallpaperWindow&>(*window).quickWindow();
    auto connection = QObject::connect(
        &quick, &QQuickWindow::frameSwapped, &quick, [&frames] { ++frames; }, Qt::DirectConnection);
    spin(1.0);
    QObject::disconnect(connection);
    EXPECT_LE(frames.load(), 2);
    EXPECT_GT(spread(grab(*window)), 60) << "the paused frame still shows";
}

TEST_F(QuickVideoTest, TheEndStopsOnTheLastFrame) {
    const auto path = film("short.mov", "testsrc2=size=160x90:rate=30", 1.5);
    auto window = shownWindow();
    auto player = m_video.makePlayer(Url::fromFilePath(path), 8);
    auto layer = addLayer(*window, player);
    bool endCrossed = false;
    auto observer = player->addBoundaryTimeObserver({1.49}, [&] { endCrossed = true; });
    player->setRate(1.0);
    auto* qtPlayer = dynamic_cast<QtPlayer*>(player.get());
    ASSERT_TRUE(waitUntil([&] { return qtPlayer->isAtEnd(); }, 10));
    EXPECT_TRUE(endCrossed) << "boundaries up to the end are crossed when the end is reached";
    EXPECT_EQ(player->rate(), 0.0);
    spin(0.5);
    EXPECT_GT(spread(grab(*window)), 60) << "the last frame stays on screen";
    EXPECT_GT(player->currentTime(), 1.3);
}

TEST_F(QuickVideoTest, ACrossFadeGrabbedMidwayBlendsBothFilms) {
    const auto red = film("red.mov", "color=c=red:size=320x180:rate=30", 6);
    const auto blue = film("blue.mov", "color=c=blue:size=320x180:rate=30", 6);
    auto window = shownWindow();
    auto oldPlayer = m_video.makePlayer(Url::fromFilePath(red), 8);
    auto oldLayer = addLayer(*window, oldPlayer);
    oldPlayer->setRate(1.0);
    ASSERT_TRUE(waitUntil([&] { return oldLayer->isReadyForDisplay(); }, 10));
    const QColor before = meanColor(grab(*window));
    EXPECT_GT(before.red(), 200);
    EXPECT_LT(before.blue(), 40);

    auto newPlayer = m_video.makePlayer(Url::fromFilePath(blue), 8);
    auto newLayer = addLayer(*window, newPlayer);
    newLayer->setOpacity(0);
    newPlayer->setRate(1.0);
    ASSERT_TRUE(waitUntil([&] { return newLayer->isReadyForDisplay(); }, 10));
    EXPECT_LT(meanColor(grab(*window)).blue(), 40) << "a ready layer at opacity 0 shows nothing";

    bool faded = false;
    QElapsedTimer clock;
    clock.start();
    newLayer->animateOpacity(1.0, 1.5, [&] { faded = true; });
    ASSERT_TRUE(waitUntil([&] { return clock.elapsed() >= 700; }, 5));
    const QColor midway = meanColor(grab(*window));
    EXPECT_FALSE(faded);
    EXPECT_GT(midway.red(), 50) << "the old film still shows through";
    EXPECT_GT(midway.blue(), 50) << "the new film already shows";
    EXPECT_LT(midway.red(), 205);
    EXPECT_LT(midway.blue(), 205);

    ASSERT_TRUE(waitUntil([&] { return faded; }, 5));
    EXPECT_GE(clock.elapsed(), 1400);
    const QColor after = meanColor(grab(*window));
    EXPECT_GT(after.blue(), 200);
    EXPECT_LT(after.red(), 40);
    EXPECT_DOUBLE_EQ(newLayer->opacity(), 1.0);
}

TEST_F(QuickVideoTest, ALoopFadesInTheNextPlayerWithoutAnEmptyFrame) {
    // As the engine loops: 1.5 s before the end a new player of the same film fades in on top,
    // and the old one goes once the fade has finished.
    const double seconds = 3.5;
    const auto path = film("loop.mov", "testsrc2=size=320x180:rate=30", seconds);
    auto window = shownWindow();
    auto first = m_video.makePlayer(Url::fromFilePath(path), 8);
    auto firstLayer = addLayer(*window, first);
    std::shared_ptr<Player> second;
    std::shared_ptr<PlayerLayer> secondLayer;
    Subscription readiness;
    bool faded = false;
    auto loop = first->addBoundaryTimeObserver({seconds - 1.5}, [&] {
        second = m_video.makePlayer(Url::fromFilePath(path), 8);
        secondLayer = addLayer(*window, second);
        secondLayer->setOpacity(0);
        second->setRate(1.0);
        readiness = secondLayer->observeReadyForDisplay([&](bool ready) {
            if (ready) {
                secondLayer->animateOpacity(1.0, 1.5, [&] {
                    first->pause();
                    firstLayer->detachPlayer();
                    firstLayer->removeFromSuperlayer();
                    faded = true;
                });
            }
        });
    });
    first->setRate(1.0);
    ASSERT_TRUE(waitUntil([&] { return firstLayer->isReadyForDisplay(); }, 10));

    int grabs = 0;
    int emptyFrames = 0;
    ASSERT_TRUE(waitUntil(
        [&] {
            ++grabs;
            if (spread(grab(*window)) < 60) {
                ++emptyFrames;
            }
            return faded;
        },
        15));
    EXPECT_EQ(emptyFrames, 0) << "of " << grabs << " pictures taken across the loop";
    EXPECT_GT(grabs, 20);
    spin(0.3);
    EXPECT_GT(spread(grab(*window)), 60);
    EXPECT_GT(second->currentTime(), 1.0);
}

} // namespace
} // namespace drovane::desktop
