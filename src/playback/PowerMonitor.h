#pragma once

#include "platform/Subscription.h"

#include <memory>
#include <vector>

namespace drovane {

class AppModel;
class SystemEvents;

// Turns the machine's power, thermal, display-sleep, lock and screen-saver events into the
// engine's playback inputs, re-evaluating the playback rule after each. Owned by the engine;
// its subscriptions hold the engine weakly and last as long as it.
class PowerMonitor {
public:
    PowerMonitor(AppModel& engine, std::shared_ptr<SystemEvents> events)
        : model(engine), m_events(std::move(events)) {}
    PowerMonitor(const PowerMonitor&) = delete;
    PowerMonitor& operator=(const PowerMonitor&) = delete;

    // Reads the current power and thermal state, subscribes to every change, evaluates once.
    // Main thread; called once.
    void startPowerMonitoring();

    AppModel& model;

private:
    const std::shared_ptr<SystemEvents> m_events;
    std::vector<Subscription> m_subscriptions;
};

} // namespace drovane
