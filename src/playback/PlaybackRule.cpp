#include "playback/PlaybackRule.h"

namespace drovane {

namespace {

bool tooHot(ThermalState state) {
    return state == ThermalState::Serious || state == ThermalState::Critical;
}

} // namespace

bool PlaybackRule::isThrottled(const Inputs& in) {
    return in.manualPaused || tooHot(in.thermal) || (in.lowPower && in.pauseOnLowPower) || in.displayAsleep ||
           in.lockActive || in.saverActive;
}

bool PlaybackRule::mayPlay(const Inputs& in, std::optional<bool> windowVisible) {
    return !isThrottled(in) && windowVisible.value_or(true);
}

PlaybackRule::Decision PlaybackRule::evaluate(const Inputs& in) {
    Decision decision;
    bool hidden;
    if (in.displayAsleep || in.lockActive) {
        hidden = true;
    } else if (m_wasHidden && !in.saverActive) {
        // Visible again: every layer comes back by fading in rather than appearing at once.
        decision.fadeInAgain = true;
        hidden = false;
    } else {
        hidden = in.saverActive;
    }
    m_wasHidden = hidden;

    const double rate = in.lowPower ? lowPowerRate : normalRate;
    decision.rates.reserve(in.windowVisible.size());
    for (const auto& visible : in.windowVisible) {
        decision.rates.push_back(mayPlay(in, visible) ? rate : 0.0);
    }
    decision.throttled = isThrottled(in);
    return decision;
}

} // namespace drovane
