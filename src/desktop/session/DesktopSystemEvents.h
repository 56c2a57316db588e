#pragma once

#include "platform/ObserverList.h"
#include "platform/SystemEvents.h"

#include <memory>
#include <optional>
#include <string>

namespace drovane {
class Log;
class MainQueue;
} // namespace drovane

namespace drovane::desktop {

class DpmsSource;
class LogindLockSource;
class PowerProfilesSource;
class ScreenSaverSource;
class ThermalZonesSource;

// The machine's state on a Linux desktop, one source per signal:
//   Low Power Mode   power-profiles-daemon's "power-saver" profile (system bus)
//   thermal state    the kernel's thermal zones against their trip points, polled while a
//                    wallpaper is shown, raised to serious while power-profiles-daemon reports
//                    "high-operating-temperature"
//   displays asleep  the X server's DPMS level, polled while a wallpaper is shown
//   screen locked    logind's LockedHint of our session (system bus)
//   screen saver     ActiveChanged of the screen saver services (session bus)
// The sources start at the first subscription or setWallpaperShown, on the main thread inside
// the event loop, so nothing touches a bus before the application exists; until then the
// getters answer off and nominal. A source whose service is missing logs one line at start and
// never reports. Events are changes from what the playback rule assumes at launch (off,
// nominal, awake, unlocked, no screen saver), so a state already in force when we start is
// reported too, soon after the start.
class DesktopSystemEvents final : public SystemEvents {
public:
    struct Config {
        // The buses' addresses; empty for the machine's own system and session buses.
        std::string systemBusAddress;
        std::string sessionBusAddress;
        // Where the thermal zones are ("/sys/class/thermal" below the host's system root).
        std::string thermalClassDirectory = "/sys/class/thermal";
        // The X display ("" for $DISPLAY); nothing to leave display sleep unfollowed.
        std::optional<std::string> xDisplay = std::string();
        // The login session (XDG_SESSION_ID), the process and its user, to find our session.
        std::optional<std::string> sessionId;
        unsigned processId = 0;
        unsigned userId = 0;
        double thermalPollInterval = 5.0;
        double displayPollInterval = 2.0;
    };

    DesktopSystemEvents(Config config, std::shared_ptr<MainQueue> mainQueue, std::shared_ptr<Log> log);
    ~DesktopSystemEvents() override;

    bool isLowPowerModeEnabled() const override;
    ThermalState thermalState() const override;
    void setWallpaperShown(bool shown) override;

    Subscription observeLowPowerModeChanges(std::function<void()> handler) override;
    Subscription observeThermalStateChanges(std::function<void()> handler) override;
    Subscription observeDisplaysSleep(std::function<void()> handler) override;
    Subscription observeDisplaysWake(std::function<void()> handler) override;
    Subscription observeScreenLocked(std::function<void()> handler) override;
    Subscription observeScreenUnlocked(std::function<void()> handler) override;
    Subscription observeScreenSaverStarted(std::function<void()> handler) override;
    Subscription observeScreenSaverStopped(std::function<void()> handler) override;

private:
    void ensureStarted();
    void start();
    // Compares every source with what was last reported and tells the observers of each change.
    void report();

    Config m_config;
    const std::shared_ptr<MainQueue> m_mainQueue;
    const std::shared_ptr<Log> m_log;
    bool m_started = false;
    // Held weakly by work posted to the main queue.
    std::shared_ptr<int> m_alive = std::make_shared<int>();
    std::unique_ptr<PowerProfilesSource> m_powerProfiles;
    std::unique_ptr<ThermalZonesSource> m_thermalZones;
    std::unique_ptr<DpmsSource> m_dpms;
    std::unique_ptr<LogindLockSource> m_lock;
    std::unique_ptr<ScreenSaverSource> m_screenSaver;

    bool m_lowPower = false;
    ThermalState m_thermal = ThermalState::Nominal;
    bool m_asleep = false;
    bool m_locked = false;
    bool m_saverActive = false;

    ObserverList<> m_lowPowerHandlers;
    ObserverList<> m_thermalHandlers;
    ObserverList<> m_sleepHandlers;
    ObserverList<> m_wakeHandlers;
    ObserverList<> m_lockHandlers;
    ObserverList<> m_unlockHandlers;
    ObserverList<> m_saverStartHandlers;
    ObserverList<> m_saverStopHandlers;
};

} // namespace drovane::desktop
