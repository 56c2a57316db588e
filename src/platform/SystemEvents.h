#pragma once

#include "platform/Subscription.h"

#include <functional>

namespace drovane {

enum class ThermalState { Nominal = 0, Fair = 1, Serious = 2, Critical = 3 };

// The machine's state that the playback policy follows. Every handler is called on the main
// thread; a source the machine does not have simply never calls its handler.
class SystemEvents {
public:
    virtual ~SystemEvents() = default;

    // Low Power Mode is on now. Main thread.
    virtual bool isLowPowerModeEnabled() const = 0;
    // The thermal state now. Main thread.
    virtual ThermalState thermalState() const = 0;

    // Whether any wallpaper window is on screen. Sources that must poll (thermal zones, display
    // power) poll only while one is, at most once a second. Main thread.
    virtual void setWallpaperShown(bool shown) = 0;

    // Each observe call subscribes one handler; main thread.
    virtual Subscription observeLowPowerModeChanges(std::function<void()> handler) = 0;
    virtual Subscription observeThermalStateChanges(std::function<void()> handler) = 0;
    virtual Subscription observeDisplaysSleep(std::function<void()> handler) = 0;
    virtual Subscription observeDisplaysWake(std::function<void()> handler) = 0;
    virtual Subscription observeScreenLocked(std::function<void()> handler) = 0;
    virtual Subscription observeScreenUnlocked(std::function<void()> handler) = 0;
    virtual Subscription observeScreenSaverStarted(std::function<void()> handler) = 0;
    virtual Subscription observeScreenSaverStopped(std::function<void()> handler) = 0;
};

} // namespace drovane
