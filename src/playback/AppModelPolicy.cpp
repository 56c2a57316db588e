// The playback rule: which player may play, at what rate, and whether the wallpaper counts as
// throttled.

#include "platform/MainQueue.h"
#include "platform/Platform.h"
#include "platform/Settings.h"
#include "playback/AppModel.h"

namespace drovane {

namespace {

bool tooHot(ThermalState state) {
    return state == ThermalState::Serious || state == ThermalState::Critical;
}

} // namespace

bool AppModel::shouldPlay(const Player& player) const {
    if (manualPaused || tooHot(thermal) || (lowPower && Settings::pauseOnLowPower())) {
        return false;
    }
    if (displayAsleep || lockActive || saverActive) {
        return false;
    }
    for (std::size_t i = 0; i < players.size(); ++i) {
        if (players[i].get() == &player) {
            return i >= windows.size() || windows[i]->isOccludedVisible();
        }
    }
    return true;
}

void AppModel::updatePlayback() {
    bool hidden;
    if (displayAsleep || lockActive) {
        hidden = true;
    } else if (m_wasHidden && !saverActive) {
        // Visible again: every layer comes back by fading in rather than appearing at once.
        for (const auto& layer : std::vector(layers)) {
            fadeIn(layer);
        }
        hidden = false;
    } else {
        hidden = saverActive;
    }
    m_wasHidden = hidden;

    const double rate = lowPower ? lowPowerRate : normalRate;
    for (const auto& player : std::vector(players)) {
        if (shouldPlay(*player)) {
            player->setRate(rate);
        } else {
            player->pause();
        }
    }

    const bool throttled = manualPaused || tooHot(thermal) || (lowPower && Settings::pauseOnLowPower()) ||
                           displayAsleep || lockActive || saverActive;
    if (onThrottledChanged) {
        onThrottledChanged(throttled);
    }
    if (onStateChanged) {
        onStateChanged();
    }
}

void AppModel::observeOcclusion() {
    std::weak_ptr<AppModel> weakSelf = weak_from_this();
    m_observers.push_back(platform().windowServer->observeOcclusion([weakSelf](const Window* sender) {
        auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        if (sender && !sender->isOccludedVisible()) {
            // Covered: wait before pausing, so a window passing over does not stop the film.
            // Each notification schedules its own evaluation; nothing is coalesced.
            platform().mainQueue->postAfter(occlusionDelay, [weakSelf] {
                if (auto model = weakSelf.lock()) {
                    model->updatePlayback();
                }
            });
        } else {
            self->updatePlayback();
        }
    }));
}

} // namespace drovane
