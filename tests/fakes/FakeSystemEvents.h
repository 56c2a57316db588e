#pragma once

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

    bool isLowPowerModeEnabled() const override { return lowPower; }
    ThermalState thermalState() const override { return thermal; }
    void setWallpaperShown(bool shown) override { wallpaperShown = shown; }

    Subscription observeLowPowerModeChanges(std::function<void()> h) override {
        return add(Event::LowPower, h);
    }
    Subscription observeThermalStateChanges(std::function<void()> h) override {
        return add(Event::Thermal, h);
    }
    Subscription observeDisplaysSleep(std::function<void()> h) override {
        return add(Event::DisplaysSleep, h);
    }
    Subscription observeDisplaysWake(std::function<void()> h) override { return add(Event::DisplaysWake, h); }
    Subscription observeScreenLocked(std::function<void()> h) override { return add(Event::ScreenLocked, h); }
    Subscription observeScreenUnlocked(std::function<void()> h) override {
        return add(Event::ScreenUnlocked, h);
    }
    Subscription observeScreenSaverStarted(std::function<void()> h) override {
        return add(Event::ScreenSaverStarted, h);
    }
    Subscription observeScreenSaverStopped(std::function<void()> h) override {
        return add(Event::ScreenSaverStopped, h);
    }

    void setLowPower(bool on) {
        lowPower = on;
        fire(Event::LowPower);
    }
    void setThermal(ThermalState state) {
        thermal = state;
        fire(Event::Thermal);
    }
    // The displays, lock and screen saver have no current value to read; they are only told.
    void fire(Event event) {
        std::vector<std::function<void()>> handlers;
        for (const auto& [id, entry] : m_handlers) {
            if (entry.first == event) {
                handlers.push_back(entry.second);
            }
        }
        for (auto& h : handlers) {
            h();
        }
    }
    // The order in which kinds were subscribed.
    std::vector<Event> subscriptionOrder;
    std::size_t observerCount() const { return m_handlers.size(); }

    bool lowPower = false;
    bool wallpaperShown = false;
    ThermalState thermal = ThermalState::Nominal;

private:
    Subscription add(Event event, std::function<void()> handler) {
        const int id = m_nextId++;
        m_handlers[id] = {event, std::move(handler)};
        subscriptionOrder.push_back(event);
        return Subscription([this, id] { m_handlers.erase(id); });
    }

    int m_nextId = 0;
    std::map<int, std::pair<Event, std::function<void()>>> m_handlers;
};

} // namespace drovane::fakes
