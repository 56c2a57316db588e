#include "desktop/session/DpmsSource.h"

#include "fakes/FakePlatform.h"

#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

// The X server's answer, changed by the test; every reading is counted.
struct FakeServer {
    std::optional<bool> asleep = false;
    int readings = 0;
    DpmsSource::Reader reader() {
        return [this] {
            ++readings;
            return asleep;
        };
    }
};

TEST(DpmsSource, SleepAndWakeAreSeenWhileShownAndNotReadOtherwise) {
    fakes::FakePlatform fake;
    FakeServer server;
    DpmsSource source(fake.mainQueue, server.reader());
    int changes = 0;
    source.onChanged = [&] { ++changes; };

    fake.mainQueue->advance(60);
    EXPECT_EQ(server.readings, 0);

    source.setWallpaperShown(true);
    fake.mainQueue->drain();
    EXPECT_EQ(server.readings, 1);
    server.asleep = true;
    fake.mainQueue->advance(DpmsSource::pollInterval);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(source.isAsleep());

    // A reading that fails changes nothing; the wake after it is seen.
    server.asleep = std::nullopt;
    fake.mainQueue->advance(DpmsSource::pollInterval);
    EXPECT_TRUE(source.isAsleep());
    server.asleep = false;
    fake.mainQueue->advance(DpmsSource::pollInterval);
    EXPECT_EQ(changes, 2);
    EXPECT_FALSE(source.isAsleep());

    // Hidden, then shown again after the displays slept: read at once on showing.
    source.setWallpaperShown(false);
    const int before = server.readings;
    server.asleep = true;
    fake.mainQueue->advance(60);
    EXPECT_EQ(server.readings, before);
    source.setWallpaperShown(true);
    fake.mainQueue->drain();
    EXPECT_EQ(changes, 3);
    EXPECT_TRUE(source.isAsleep());
}

TEST(DpmsSource, ShowingAndHidingQuicklyKeepsOnePollGoingNeverFasterThanOnceASecond) {
    fakes::FakePlatform fake;
    FakeServer server;
    DpmsSource source(fake.mainQueue, server.reader(), 0.01);
    for (int i = 0; i < 5; ++i) {
        source.setWallpaperShown(true);
        source.setWallpaperShown(false);
    }
    source.setWallpaperShown(true);
    source.setWallpaperShown(true);
    fake.mainQueue->advance(10.5);
    EXPECT_EQ(server.readings, 11); // one at once, then one a second
}

// (A server without DPMS is met each time the program starts, end to end on Xvfb.)
TEST(DpmsSource, ADisplayThatCannotBeOpenedIsNotFollowed) {
    fakes::FakePlatform fake;
    EXPECT_FALSE(openDpmsReader(":59999", *fake.log));
    DpmsSource source(fake.mainQueue, {});
    source.setWallpaperShown(true);
    EXPECT_EQ(fake.mainQueue->pendingCount(), 0u);
}

} // namespace
} // namespace drovane::desktop
