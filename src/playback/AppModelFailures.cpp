// What the engine does with a film that cannot be played: it says so once, lets the players
// stand where they are, and tries again later, waiting longer after each failure in a row.

#include "platform/Log.h"
#include "platform/MainQueue.h"
#include "playback/AppModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace drovane {

std::string AppModel::filmPath(const Url& film) {
    return film.filePath().value_or(film.string());
}

std::string AppModel::seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", value);
    return text;
}

void AppModel::tooShortToLoop(const std::string& length) {
    if (m_log && videoURL && !std::exchange(m_shortReported, true)) {
        m_log->line("Drovane: cannot loop " + filmPath(*videoURL) + ": too short to loop (" + length +
                    "), it plays once");
    }
}

void AppModel::beginPlayers() {
    ++m_playerSet;
    m_failed = false;
    m_frameDeadlines.clear();
}

void AppModel::filmFailed(const Player& player, const std::string& reason) {
    if (m_failed || !contains(player) || !videoURL) {
        return;
    }
    m_failed = true;
    if (++m_failures == 1 && m_log) {
        m_log->line("Drovane: cannot play " + filmPath(*videoURL) + ": " + reason);
    }
    // Every screen plays the same film: its other players would only fail the same way.
    for (const auto& p : std::vector(players)) {
        retire(p);
    }
    m_frameDeadlines.clear();

    const double delay =
        std::min(maximumRetryDelay, retryDelay * std::pow(2.0, std::min(m_failures - 1, 30)));
    std::weak_ptr<AppModel> weakSelf = weak_from_this();
    m_mainQueue->postAfter(delay, [weakSelf, set = m_playerSet] {
        auto self = weakSelf.lock();
        if (self && self->m_playerSet == set && self->m_failed && self->videoURL) {
            self->crossfade(*self->videoURL);
        }
    });
}

void AppModel::watchFirstFrames() {
    std::erase_if(m_frameDeadlines, [&](const auto& deadline) {
        auto player = deadline.first.lock();
        // A paused player is not waiting for anything; it gets a new deadline when it plays.
        return !player || !contains(*player) || !(player->rate() > 0);
    });
    if (m_failed) {
        return;
    }
    std::weak_ptr<AppModel> weakSelf = weak_from_this();
    for (std::size_t i = 0; i < players.size() && i < layers.size(); ++i) {
        const auto& player = players[i];
        const bool watched =
            std::any_of(m_frameDeadlines.begin(), m_frameDeadlines.end(),
                        [&](const auto& deadline) { return deadline.first.lock() == player; });
        if (watched || !(player->rate() > 0) || layers[i]->isReadyForDisplay()) {
            continue;
        }
        const std::uint64_t token = ++m_nextFrameDeadline;
        m_frameDeadlines.emplace_back(player, token);
        std::weak_ptr<Player> weakPlayer = player;
        std::weak_ptr<PlayerLayer> weakLayer = layers[i];
        m_mainQueue->postAfter(firstFrameTimeout, [weakSelf, weakPlayer, weakLayer, token] {
            auto self = weakSelf.lock();
            auto p = weakPlayer.lock();
            auto layer = weakLayer.lock();
            if (!self || !p || !layer) {
                return;
            }
            // Only a deadline still standing counts: a pause or a new set of players ended it.
            const auto it = std::find_if(self->m_frameDeadlines.begin(), self->m_frameDeadlines.end(),
                                         [&](const auto& deadline) { return deadline.second == token; });
            if (it == self->m_frameDeadlines.end()) {
                return;
            }
            self->m_frameDeadlines.erase(it);
            if (!layer->isReadyForDisplay() && p->rate() > 0) {
                self->filmFailed(*p, "no picture after " + seconds(firstFrameTimeout));
            }
        });
    }
}

} // namespace drovane
