// Applying the playback rule to the engine's players, and the occlusion subscription that
// re-evaluates it.

#include "platform/MainQueue.h"
#include "platform/Platform.h"
#include "playback/AppModel.h"
#include "support/Settings.h"

namespace drovane {

PlaybackRule::Inputs AppModel::playbackInputs() const {
    PlaybackRule::Inputs in;
    in.manualPaused = manualPaused;
    in.lowPower = lowPower;
    in.pauseOnLowPower = Settings::pauseOnLowPower();
    in.thermal = thermal;
    in.displayAsleep = displayAsleep;
    in.lockActive = lockActive;
    in.saverActive = saverActive;
    in.windowVisible.reserve(players.size());
    for (std::size_t i = 0; i < players.size(); ++i) {
        in.windowVisible.push_back(i < windows.size() ? std::optional<bool>(windows[i]->isOccludedVisible())
                                                      : std::nullopt);
    }
    return in;
}

bool AppModel::shouldPlay(const Player& player) const {
    const PlaybackRule::Inputs in = playbackInputs();
    for (std::size_t i = 0; i < players.size(); ++i) {
        if (players[i].get() == &player) {
            return PlaybackRule::mayPlay(in, in.windowVisible[i]);
        }
    }
    return PlaybackRule::mayPlay(in, std::nullopt);
}

void AppModel::updatePlayback() {
    const PlaybackRule::Decision decision = m_rule.evaluate(playbackInputs());
    if (decision.fadeInAgain) {
        for (const auto& layer : std::vector(layers)) {
            fadeIn(layer);
        }
    }
    const auto current = players;
    for (std::size_t i = 0; i < current.size() && i < decision.rates.size(); ++i) {
        if (decision.rates[i] > 0) {
            current[i]->setRate(decision.rates[i]);
        } else {
            current[i]->pause();
        }
    }
    watchFirstFrames();
    noteHidingProgram();
    if (onThrottledChanged) {
        onThrottledChanged(decision.throttled);
    }
    if (onStateChanged) {
        onStateChanged();
    }
}

std::string AppModel::hidingNotice(const std::string& program) {
    return program +
           " paints its own desktop over the wallpaper, so the film pauses while it does. "
           "To see the film, turn off " +
           program +
           "'s desktop; to match it, choose \u201cUse as Desktop Background\u201d when Drovane reminds you.";
}

void AppModel::noteHidingProgram() {
    const std::string program = windows.empty() ? std::string() : m_windowServer->hidingProgram();
    desktopNotice = program.empty() ? std::string() : hidingNotice(program);
    // Said once per program: the user learns it from the first line.
    if (!program.empty() && m_toldHiding.insert(program).second) {
        logLine("Drovane: " + desktopNotice);
    }
}

void AppModel::observeOcclusion() {
    std::weak_ptr<AppModel> weakSelf = weak_from_this();
    m_observers.push_back(m_windowServer->observeOcclusion([weakSelf](const Window* sender) {
        auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        if (sender && !sender->isOccludedVisible()) {
            // Covered: wait before pausing, so a window passing over does not stop the film.
            // Each notification schedules its own evaluation; nothing is coalesced.
            self->m_mainQueue->postAfter(occlusionDelay, [weakSelf] {
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
