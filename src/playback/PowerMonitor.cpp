#include "playback/PowerMonitor.h"

#include "platform/SystemEvents.h"
#include "playback/AppModel.h"

namespace drovane {

void PowerMonitor::startPowerMonitoring() {
    auto& events = *m_events;
    model.lowPower = events.isLowPowerModeEnabled();
    model.thermal = events.thermalState();

    std::weak_ptr<AppModel> weakModel = model.weak_from_this();
    // Each handler sets its input from the event, then re-evaluates.
    auto when = [weakModel](auto apply) {
        return [weakModel, apply] {
            if (auto m = weakModel.lock()) {
                apply(*m);
                m->updatePlayback();
            }
        };
    };
    std::weak_ptr<SystemEvents> weakEvents = m_events;
    m_subscriptions.push_back(events.observeLowPowerModeChanges(when([weakEvents](AppModel& m) {
        if (auto e = weakEvents.lock()) {
            m.lowPower = e->isLowPowerModeEnabled();
        }
    })));
    m_subscriptions.push_back(events.observeThermalStateChanges(when([weakEvents](AppModel& m) {
        if (auto e = weakEvents.lock()) {
            m.thermal = e->thermalState();
        }
    })));
    m_subscriptions.push_back(events.observeDisplaysSleep(when([](AppModel& m) { m.displayAsleep = true; })));
    m_subscriptions.push_back(events.observeDisplaysWake(when([](AppModel& m) { m.displayAsleep = false; })));
    m_subscriptions.push_back(events.observeScreenLocked(when([](AppModel& m) { m.lockActive = true; })));
    m_subscriptions.push_back(events.observeScreenUnlocked(when([](AppModel& m) { m.lockActive = false; })));
    m_subscriptions.push_back(
        events.observeScreenSaverStarted(when([](AppModel& m) { m.saverActive = true; })));
    m_subscriptions.push_back(
        events.observeScreenSaverStopped(when([](AppModel& m) { m.saverActive = false; })));

    model.updatePlayback();
}

} // namespace drovane
