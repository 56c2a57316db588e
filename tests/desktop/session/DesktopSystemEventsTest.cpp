#include "desktop/session/DesktopSystemEvents.h"

#include "desktop/DesktopTestSupport.h"
#include "desktop/session/dbus/LogindLockSource.h"
#include "fakes/FakePlatform.h"
#include "fakes/TempDir.h"

#include <QDBusArgument>
#include <gtest/gtest.h>
#include <memory>

namespace drovane::desktop {
namespace {

using testing::FakeObject;
using testing::PrivateBus;
using testing::waitFor;

const QString hadess = QStringLiteral("net.hadess.PowerProfiles");
const QString upower = QStringLiteral("org.freedesktop.UPower.PowerProfiles");
const QString login1 = QStringLiteral("org.freedesktop.login1");

// How often each kind of event reached the handlers.
struct Counts {
    int lowPower = 0, thermal = 0, sleep = 0, wake = 0, lock = 0, unlock = 0, saverStart = 0, saverStop = 0;
};

class DesktopSystemEventsTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::ensureQtApplication();
        ASSERT_FALSE(systemBus.address().empty()) << "dbus-daemon did not start";
        ASSERT_FALSE(sessionBus.address().empty()) << "dbus-daemon did not start";
        config.systemBusAddress = systemBus.address();
        config.sessionBusAddress = sessionBus.address();
        config.thermalClassDirectory = tree / "thermal";
        config.xDisplay.reset();
        config.processId = 4242;
        config.userId = 1000;
    }

    // The events object with a handler counting each kind, as the playback rule subscribes.
    void start() {
        events = std::make_unique<DesktopSystemEvents>(config, fake.mainQueue, fake.log);
        subscriptions.push_back(events->observeLowPowerModeChanges([this] { ++counts.lowPower; }));
        subscriptions.push_back(events->observeThermalStateChanges([this] { ++counts.thermal; }));
        subscriptions.push_back(events->observeDisplaysSleep([this] { ++counts.sleep; }));
        subscriptions.push_back(events->observeDisplaysWake([this] { ++counts.wake; }));
        subscriptions.push_back(events->observeScreenLocked([this] { ++counts.lock; }));
        subscriptions.push_back(events->observeScreenUnlocked([this] { ++counts.unlock; }));
        subscriptions.push_back(events->observeScreenSaverStarted([this] { ++counts.saverStart; }));
        subscriptions.push_back(events->observeScreenSaverStopped([this] { ++counts.saverStop; }));
    }

    bool waitUntil(const std::function<bool()>& done) { return waitFor(done, fake.mainQueue.get()); }

    // Lets replies and signals in flight arrive, for checks that something did not happen.
    void settle() {
        waitFor([] { return false; }, fake.mainQueue.get(), 0.3);
    }

    // A fake logind whose only session "c1" is at /org/freedesktop/login1/session/c1.
    std::unique_ptr<FakeObject> fakeLogind(QDBusConnection& service, const QString& sessionPath) {
        auto manager = std::make_unique<FakeObject>(service, QStringLiteral("/org/freedesktop/login1"),
                                                    QStringLiteral("org.freedesktop.login1.Manager"));
        manager->methods["GetSession"] = [sessionPath](const QDBusMessage& m) {
            if (m.arguments().value(0).toString() != QLatin1String("c1")) {
                return m.createErrorReply(QStringLiteral("org.freedesktop.login1.NoSuchSession"), "no");
            }
            return m.createReply(QVariant::fromValue(QDBusObjectPath(sessionPath)));
        };
        return manager;
    }

    fakes::FakePlatform fake;
    fakes::TempDir tree;
    PrivateBus systemBus{tree.path(), "system"};
    PrivateBus sessionBus{tree.path(), "session"};
    DesktopSystemEvents::Config config;
    std::unique_ptr<DesktopSystemEvents> events;
    std::vector<Subscription> subscriptions;
    Counts counts;
};

TEST_F(DesktopSystemEventsTest, PowerSaverProfileIsLowPowerModeAndHeatWarningIsSerious) {
    auto service = systemBus.connect("ppd");
    ASSERT_TRUE(service.registerService(hadess));
    FakeObject ppd(service, QStringLiteral("/net/hadess/PowerProfiles"), hadess);
    ppd.properties = {{"ActiveProfile", "balanced"}, {"PerformanceDegraded", ""}};

    start();
    settle();
    EXPECT_FALSE(events->isLowPowerModeEnabled());
    EXPECT_EQ(counts.lowPower, 0);

    ppd.setProperty("ActiveProfile", "power-saver");
    ASSERT_TRUE(waitUntil([&] { return counts.lowPower == 1; }));
    EXPECT_TRUE(events->isLowPowerModeEnabled());

    ppd.setProperty("PerformanceDegraded", "lap-detected,high-operating-temperature");
    ASSERT_TRUE(waitUntil([&] { return counts.thermal == 1; }));
    EXPECT_EQ(events->thermalState(), ThermalState::Serious);
    ppd.setProperty("PerformanceDegraded", "lap-detected");
    ASSERT_TRUE(waitUntil([&] { return counts.thermal == 2; }));
    EXPECT_EQ(events->thermalState(), ThermalState::Nominal);

    // Another profile ends Low Power Mode; so does the daemon quitting.
    ppd.setProperty("ActiveProfile", "performance");
    ASSERT_TRUE(waitUntil([&] { return counts.lowPower == 2; }));
    EXPECT_FALSE(events->isLowPowerModeEnabled());
    ppd.setProperty("ActiveProfile", "power-saver");
    ASSERT_TRUE(waitUntil([&] { return counts.lowPower == 3; }));
    service.unregisterService(hadess);
    ASSERT_TRUE(waitUntil([&] { return counts.lowPower == 4; }));
    EXPECT_FALSE(events->isLowPowerModeEnabled());
    EXPECT_EQ(fake.log->countStartingWith("Drovane: power-profiles-daemon"), 0u);
}

TEST_F(DesktopSystemEventsTest, LockedHintOfOurSessionLocksAndUnlocks) {
    auto service = systemBus.connect("logind");
    const QString path = QStringLiteral("/org/freedesktop/login1/session/c1");
    auto manager = fakeLogind(service, path);
    FakeObject session(service, path, QStringLiteral("org.freedesktop.login1.Session"));
    session.properties = {{"LockedHint", false}};
    FakeObject other(service, QStringLiteral("/org/freedesktop/login1/session/c2"),
                     QStringLiteral("org.freedesktop.login1.Session"));
    other.properties = {{"LockedHint", false}};
    ASSERT_TRUE(service.registerService(login1));
    config.sessionId = "c1";

    start();
    settle();
    EXPECT_EQ(counts.lock, 0);

    other.setProperty("LockedHint", true); // another user's session
    session.setProperty("LockedHint", true);
    ASSERT_TRUE(waitUntil([&] { return counts.lock == 1; }));
    session.setProperty("LockedHint", false);
    ASSERT_TRUE(waitUntil([&] { return counts.unlock == 1; }));
    settle();
    EXPECT_EQ(counts.lock, 1);

    // The session's Lock and Unlock requests count at once.
    session.emitSignal("Lock");
    ASSERT_TRUE(waitUntil([&] { return counts.lock == 2; }));
    session.emitSignal("Unlock");
    ASSERT_TRUE(waitUntil([&] { return counts.unlock == 2; }));

    // A Lock that no locker confirms through LockedHint does not keep the wallpaper paused.
    session.emitSignal("Lock");
    ASSERT_TRUE(waitUntil([&] { return counts.lock == 3; }));
    fake.mainQueue->advance(LogindLockSource::lockConfirmationSeconds);
    ASSERT_TRUE(waitUntil([&] { return counts.unlock == 3; }));
    // One that is confirmed stands.
    session.emitSignal("Lock");
    ASSERT_TRUE(waitUntil([&] { return counts.lock == 4; }));
    session.setProperty("LockedHint", true);
    fake.mainQueue->advance(LogindLockSource::lockConfirmationSeconds);
    settle();
    EXPECT_EQ(counts.unlock, 3);
    EXPECT_EQ(fake.log->countStartingWith("Drovane: no login session"), 0u);
}

TEST_F(DesktopSystemEventsTest,
       WithoutASessionOfItsOwnTheUsersDisplaySessionIsUsedAndLockAndSaverInForceAreReported) {
    auto service = systemBus.connect("logind");
    const QString path = QStringLiteral("/org/freedesktop/login1/session/c2");
    auto manager = fakeLogind(service, path);
    manager->methods["GetUser"] = [](const QDBusMessage& m) {
        if (m.arguments().value(0).toUInt() != 1000) {
            return m.createErrorReply(QStringLiteral("org.freedesktop.login1.NoSuchUser"), "no");
        }
        return m.createReply(QVariant::fromValue(QDBusObjectPath("/org/freedesktop/login1/user/_1000")));
    };
    FakeObject user(service, QStringLiteral("/org/freedesktop/login1/user/_1000"),
                    QStringLiteral("org.freedesktop.login1.User"));
    // logind's (so) reference to the session.
    QDBusArgument display;
    display.beginStructure();
    display << QStringLiteral("c2") << QDBusObjectPath(path);
    display.endStructure();
    user.properties["Display"] = QVariant::fromValue(display);
    FakeObject session(service, path, QStringLiteral("org.freedesktop.login1.Session"));
    session.properties = {{"LockedHint", true}};
    ASSERT_TRUE(service.registerService(login1));
    config.sessionId.reset();
    // A screen saver already running at the start is reported too.
    auto savers = sessionBus.connect("mate");
    FakeObject mate(savers, QStringLiteral("/org/mate/ScreenSaver"), QStringLiteral("org.mate.ScreenSaver"));
    mate.methods["GetActive"] = [](const QDBusMessage& m) { return m.createReply(true); };
    ASSERT_TRUE(savers.registerService(QStringLiteral("org.mate.ScreenSaver")));

    start();
    ASSERT_TRUE(waitUntil([&] { return counts.lock == 1 && counts.saverStart == 1; }));
    session.setProperty("LockedHint", false);
    ASSERT_TRUE(waitUntil([&] { return counts.unlock == 1; }));
}

TEST_F(DesktopSystemEventsTest, ScreenSaversOfEveryDesktopStartAndStop) {
    auto service = sessionBus.connect("savers");
    FakeObject gnome(service, QStringLiteral("/org/gnome/ScreenSaver"),
                     QStringLiteral("org.gnome.ScreenSaver"));
    gnome.methods["GetActive"] = [](const QDBusMessage& m) { return m.createReply(false); };
    // KDE also signals from /ScreenSaver.
    FakeObject kde(service, QStringLiteral("/ScreenSaver"), QStringLiteral("org.freedesktop.ScreenSaver"));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.gnome.ScreenSaver")));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));

    start();
    settle();
    EXPECT_EQ(counts.saverStart, 0);

    gnome.emitSignal("ActiveChanged", {true});
    ASSERT_TRUE(waitUntil([&] { return counts.saverStart == 1; }));
    gnome.emitSignal("ActiveChanged", {false});
    ASSERT_TRUE(waitUntil([&] { return counts.saverStop == 1; }));

    // Running while either says so.
    kde.emitSignal("ActiveChanged", {true});
    ASSERT_TRUE(waitUntil([&] { return counts.saverStart == 2; }));
    gnome.emitSignal("ActiveChanged", {true});
    kde.emitSignal("ActiveChanged", {false});
    settle();
    EXPECT_EQ(counts.saverStop, 1);
    // A saver that quits while active no longer holds the wallpaper.
    service.unregisterService(QStringLiteral("org.gnome.ScreenSaver"));
    ASSERT_TRUE(waitUntil([&] { return counts.saverStop == 2; }));
    EXPECT_EQ(fake.log->countStartingWith("Drovane: no screen saver"), 0u);
}

TEST_F(DesktopSystemEventsTest, MissingServicesLogOneLineEachAndNeverReportUntilADaemonStarts) {
    start();
    ASSERT_TRUE(waitUntil([&] {
        return fake.log->countStartingWith("Drovane: no login session") == 1 &&
               fake.log->countStartingWith("Drovane: no screen saver") == 1 &&
               fake.log->countStartingWith("Drovane: power-profiles-daemon") == 1;
    }));
    EXPECT_EQ(fake.log->countStartingWith("Drovane: no thermal zone"), 1u);
    events->setWallpaperShown(true);
    fake.mainQueue->advance(60);
    settle();
    EXPECT_EQ(fake.log->lines().size(), 3u + 1u);
    EXPECT_EQ(events->thermalState(), ThermalState::Nominal);
    EXPECT_EQ(counts.lowPower + counts.thermal + counts.sleep + counts.wake + counts.lock + counts.unlock +
                  counts.saverStart + counts.saverStop,
              0);

    // A daemon starting later (0.20 and later), already in power-saver, is followed without
    // another line.
    auto service = systemBus.connect("ppd-late");
    FakeObject ppd(service, QStringLiteral("/org/freedesktop/UPower/PowerProfiles"), upower);
    ppd.properties = {{"ActiveProfile", "power-saver"}, {"PerformanceDegraded", ""}};
    ASSERT_TRUE(service.registerService(upower));
    ASSERT_TRUE(waitUntil([&] { return counts.lowPower == 1; }));
    EXPECT_TRUE(events->isLowPowerModeEnabled());
    EXPECT_EQ(fake.log->countStartingWith("Drovane: power-profiles-daemon"), 1u);
}

TEST_F(DesktopSystemEventsTest, UnreachableBusesAreNotFollowed) {
    config.systemBusAddress = "unix:path=" + (tree / "no-such-socket");
    config.sessionBusAddress = "unix:path=" + (tree / "no-such-socket");
    start();
    EXPECT_EQ(fake.log->countStartingWith("Drovane: the system bus is not reachable"), 2u);
    EXPECT_EQ(fake.log->countStartingWith("Drovane: the session bus is not reachable"), 1u);
    EXPECT_FALSE(events->isLowPowerModeEnabled());
}

} // namespace
} // namespace drovane::desktop
