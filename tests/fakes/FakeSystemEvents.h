#pragma once

#include "platform/ObserverList.h"
#include "platform/SystemEvents.h"

#include <map>
#include <vector>

namespace drovane::fakes {

// The machine's state, changed by the test; each change tells the observers of its kind at
// once, on the calling (main) thread.
class FakeSystemEvents final : public SystemEvents {
public:
    enum class Event {
        LowPower,
        Thermal,
        DisplaysSleep,
        DisplaysWake,
        ScreenLocked,
        ScreenUnlocked,
        ScreenSaverStarted,
        ScreenSaverStopped
    };

    using Handler = std::function<void()>;

    bool isLowPowerModeEnabled() const override { return lowPower; }
    ThermalState thermalState() const override { return thermal; }
    void setWallpaperShown(bool shown) override { wallpaperShown = shown; }

    Subscription observeLowPowerModeChanges(Handler h) override { return subscribe(Event::LowPower, h); }
    Subscription observeThermalStateChanges(Handler h) override { return subscribe(Event::Thermal, h); }
    Subscription observeDisplaysSleep(Handler h) override { return subscribe(Event::DisplaysSleep, h); }
    Subscription observeDisplaysWake(Handler h) override { return subscribe(Event::DisplaysWake, h); }
    Subscription observeScreenLocked(Handler h) override { return subscribe(Event::ScreenLocked, h); }
    Subscription observeScreenUnlocked(Handler h) override { return subscribe(Event::ScreenUnlocked, h); }
    Subscription observeScreenSaverStarted(Handler h) override {
        return subscribe(Event::ScreenSaverStarted, h);
    }
    Subscription observeScreenSaverStopped(Handler h) override {
        return subscribe(Event::ScreenSaverStopped, h);
    }

    void setLowPower(bool on) {
        lowPower = on;
        fire(Event::LowPower);
    }
    void setThermal(ThermalState state) {
        thermal = state;
        fire(Event::Thermal);
    }
    // The displays, lock and screen saver have no current value the program could read; it is
    // only told. The fields record what it was told last.
    void setDisplaysAsleep(bool on) {
        displaysAsleep = on;
        fire(on ? Event::DisplaysSleep : Event::DisplaysWake);
    }
    void setLocked(bool on) {
        locked = on;
        fire(on ? Event::ScreenLocked : Event::ScreenUnlocked);
    }
    void setSaverRunning(bool on) {
        saverRunning = on;
        fire(on ? Event::ScreenSaverStarted : Event::ScreenSaverStopped);
    }
    void fire(Event event) { m_handlers[event].notify(); }
    std::size_t observerCount() const {
        std::size_t count = 0;
        for (const auto& [event, list] : m_handlers) {
            count += list.size();
        }
        return count;
    }

    bool lowPower = false;
    bool wallpaperShown = false;
    ThermalState thermal = ThermalState::Nominal;
    bool displaysAsleep = false;
    bool locked = false;
    bool saverRunning = false;

private:
    Subscription subscribe(Event event, Handler handler) { return m_handlers[event].add(std::move(handler)); }

    std::map<Event, ObserverList<>> m_handlers;
};

} // namespace drovane::fakes
