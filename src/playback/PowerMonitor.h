#pragma once

#include "platform/Subscription.h"

#include <vector>

namespace drovane {

class AppModel;

// Turns the machine's power, thermal, display-sleep, lock and screen-saver events into the
// engine's playback inputs, re-evaluating the playback rule after each. Owned by the engine;
// its subscriptions hold the engine weakly and last as long as it.
class PowerMonitor {
public:
    explicit PowerMonitor(AppModel& engine) : model(engine) {}
    PowerMonitor(const PowerMonitor&) = delete;
    PowerMonitor& operator=(const PowerMonitor&) = delete;

    // Reads the current power and thermal state, subscribes to every change, evaluates once.
    // Main thread; called once.
    void startPowerMonitoring();

    AppModel& model;

private:
    std::vector<Subscription> m_subscriptions;
};

} // namespace drovane
