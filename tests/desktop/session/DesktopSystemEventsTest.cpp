#include "desktop/session/DesktopSystemEvents.h"

#include "desktop/DesktopTestSupport.h"
#include "desktop/session/dbus/LogindLockSource.h"
#include "fakes/FakePlatform.h"
#include "fakes/TempDir.h"

#include <QDBusArgument>
#include <algorithm>
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

using Heard = std::vector<std::string>;

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

    // The events object with a handler recording each kind, as the playback rule subscribes.
    void start() {
        events = std::make_unique<DesktopSystemEvents>(config, fake.mainQueue, fake.log);
        using E = DesktopSystemEvents;
        // clang-format off
        const std::pair<const char*, Subscription (E::*)(std::function<void()>)> kinds[] = {
            {"low power", &E::observeLowPowerModeChanges},
            {"thermal", &E::observeThermalStateChanges},
            {"sleep", &E::observeDisplaysSleep},
            {"wake", &E::observeDisplaysWake},
            {"lock", &E::observeScreenLocked},
            {"unlock", &E::observeScreenUnlocked},
            {"saver on", &E::observeScreenSaverStarted},
            {"saver off", &E::observeScreenSaverStopped},
        };
        // clang-format on
        for (const auto& [kind, observe] : kinds) {
            subscriptions.push_back((events.get()->*observe)([this, kind] { heard.push_back(kind); }));
        }
    }
    // The events heard since the last call, once there are at least `count`.
    Heard next(std::size_t count) {
        waitFor([&] { return heard.size() >= count; }, fake.mainQueue.get());
        return std::exchange(heard, {});
    }

    // Lets replies and signals in flight arrive, for checks that something did not happen.
    void settle() {
        waitFor([] { return false; }, fake.mainQueue.get(), 0.3);
    }

    // A fake logind whose only session "c1" is at /org/freedesktop/login1/session/c1.
    std::unique_ptr<FakeObject> fakeLogind(QDBusConnection& service, const QString& sessionPath) {
        auto manager = std::make_unique<FakeObject>(service, QStringLiteral("/org/freedesktop/login1"),
                                                    QStringLiteral("org.freedesktop.login1.Manager"));
        manager->methods["GetSession"] = [sessionPath](const QDBusMessage& m) {
            return m.arguments().value(0).toString() == QLatin1String("c1")
                       ? m.createReply(QVariant::fromValue(QDBusObjectPath(sessionPath)))
                       : m.createErrorReply(QStringLiteral("org.freedesktop.login1.NoSuchSession"), "no");
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
    Heard heard;
};

TEST_F(DesktopSystemEventsTest, PowerSaverProfileIsLowPowerModeAndHeatWarningIsSerious) {
    auto service = systemBus.connect("ppd");
    ASSERT_TRUE(service.registerService(hadess));
    FakeObject ppd(service, QStringLiteral("/net/hadess/PowerProfiles"), hadess);
    ppd.properties = {{"ActiveProfile", "balanced"}, {"PerformanceDegraded", ""}};

    start();
    ppd.setProperty("ActiveProfile", "power-saver");
    EXPECT_EQ(next(1), Heard{"low power"});
    EXPECT_TRUE(events->isLowPowerModeEnabled());

    ppd.setProperty("PerformanceDegraded", "lap-detected,high-operating-temperature");
    EXPECT_EQ(next(1), Heard{"thermal"});
    EXPECT_EQ(events->thermalState(), ThermalState::Serious);
    ppd.setProperty("PerformanceDegraded", "lap-detected");
    EXPECT_EQ(next(1), Heard{"thermal"});
    EXPECT_EQ(events->thermalState(), ThermalState::Nominal);

    // Another profile ends Low Power Mode; so does the daemon quitting.
    ppd.setProperty("ActiveProfile", "performance");
    EXPECT_EQ(next(1), Heard{"low power"});
    EXPECT_FALSE(events->isLowPowerModeEnabled());
    ppd.setProperty("ActiveProfile", "power-saver");
    EXPECT_EQ(next(1), Heard{"low power"});
    service.unregisterService(hadess);
    EXPECT_EQ(next(1), Heard{"low power"});
    EXPECT_FALSE(events->isLowPowerModeEnabled());
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
    EXPECT_EQ(next(0), Heard{});

    other.setProperty("LockedHint", true); // another user's session
    session.setProperty("LockedHint", true);
    EXPECT_EQ(next(1), Heard{"lock"});
    session.setProperty("LockedHint", false);
    EXPECT_EQ(next(1), Heard{"unlock"});

    // A Lock that no locker confirms through LockedHint does not keep the wallpaper paused.
    session.emitSignal("Lock");
    EXPECT_EQ(next(1), Heard{"lock"});
    fake.mainQueue->advance(LogindLockSource::lockConfirmationSeconds);
    EXPECT_EQ(next(1), Heard{"unlock"});
    // One that is confirmed stands.
    session.emitSignal("Lock");
    EXPECT_EQ(next(1), Heard{"lock"});
    session.setProperty("LockedHint", true);
    fake.mainQueue->advance(LogindLockSource::lockConfirmationSeconds);
    settle();
    EXPECT_EQ(next(0), Heard{});
}

TEST_F(DesktopSystemEventsTest,
       WithoutASessionOfItsOwnTheUsersDisplaySessionIsUsedAndLockAndSaverInForceAreReported) {
    auto service = systemBus.connect("logind");
    const QString path = QStringLiteral("/org/freedesktop/login1/session/c2");
    auto manager = fakeLogind(service, path);
    manager->methods["GetUser"] = [](const QDBusMessage& m) {
        return m.arguments().value(0).toUInt() == 1000
                   ? m.createReply(QVariant::fromValue(QDBusObjectPath("/org/freedesktop/login1/user/_1000")))
                   : m.createErrorReply(QStringLiteral("org.freedesktop.login1.NoSuchUser"), "no");
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
    Heard atStart = next(2);
    std::sort(atStart.begin(), atStart.end());
    EXPECT_EQ(atStart, (Heard{"lock", "saver on"}));
    session.setProperty("LockedHint", false);
    EXPECT_EQ(next(1), Heard{"unlock"});
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
    EXPECT_EQ(next(0), Heard{});

    gnome.emitSignal("ActiveChanged", {true});
    gnome.emitSignal("ActiveChanged", {false});
    EXPECT_EQ(next(2), (Heard{"saver on", "saver off"}));

    // Running while either says so.
    kde.emitSignal("ActiveChanged", {true});
    gnome.emitSignal("ActiveChanged", {true});
    kde.emitSignal("ActiveChanged", {false});
    settle();
    EXPECT_EQ(next(1), Heard{"saver on"});
    // A saver that quits while active no longer holds the wallpaper.
    service.unregisterService(QStringLiteral("org.gnome.ScreenSaver"));
    EXPECT_EQ(next(1), Heard{"saver off"});
}

TEST_F(DesktopSystemEventsTest, MissingServicesLogOneLineEachAndNeverReportUntilADaemonStarts) {
    start();
    ASSERT_TRUE(waitFor(
        [&] {
            return fake.log->countStartingWith("Drovane: no login session") == 1 &&
                   fake.log->countStartingWith("Drovane: no screen saver") == 1 &&
                   fake.log->countStartingWith("Drovane: power-profiles-daemon") == 1;
        },
        fake.mainQueue.get()));
    EXPECT_EQ(fake.log->countStartingWith("Drovane: no thermal zone"), 1u);
    events->setWallpaperShown(true);
    fake.mainQueue->advance(60);
    settle();
    EXPECT_EQ(fake.log->lines().size(), 3u + 1u);
    EXPECT_EQ(events->thermalState(), ThermalState::Nominal);
    EXPECT_EQ(next(0), Heard{});

    // A daemon starting later (0.20 and later), already in power-saver, is followed without
    // another line.
    auto service = systemBus.connect("ppd-late");
    FakeObject ppd(service, QStringLiteral("/org/freedesktop/UPower/PowerProfiles"), upower);
    ppd.properties = {{"ActiveProfile", "power-saver"}, {"PerformanceDegraded", ""}};
    ASSERT_TRUE(service.registerService(upower));
    EXPECT_EQ(next(1), Heard{"low power"});
    EXPECT_TRUE(events->isLowPowerModeEnabled());
    EXPECT_EQ(fake.log->countStartingWith("Drovane: power-profiles-daemon"), 1u);
}

} // namespace
} // namespace drovane::desktop
