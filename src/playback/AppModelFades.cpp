// The wallpaper never cuts: layers come in by fading in, a loop is a cross-fade to fresh
// players of the same film started shortly before the end, and a new film replaces the old one
// under a cross-fade.

#include "platform/MainQueue.h"
#include "playback/AppModel.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace drovane {

// A fade-in waiting for its layer's first frame. The readiness observer may call from any
// thread, so taking the observation out happens under a lock, at most once.
struct AppModel::FadeWait {
    std::mutex mutex;
    Subscription observation;
    bool taken = false;

    bool take() {
        std::lock_guard lock(mutex);
        return !std::exchange(taken, true);
    }
};

void AppModel::setUpLoop(const std::shared_ptr<Player>& player) {
    std::weak_ptr<AppModel> weakSelf = weak_from_this();
    std::weak_ptr<Player> weakPlayer = player;
    player->loadDuration([weakSelf, weakPlayer](std::optional<double> duration) {
        // Also refuses an undefined (NaN) duration.
        if (!duration || !(*duration > minimumLoopDuration)) {
            return;
        }
        auto self = weakSelf.lock();
        auto current = weakPlayer.lock();
        if (!self || !current || !self->contains(*current)) {
            return;
        }
        const double boundary =
            std::round((*duration - loopLeadTime) * boundaryTimeScale) / boundaryTimeScale;
        auto token = current->addBoundaryTimeObserver({boundary}, [weakSelf, weakPlayer] {
            auto model = weakSelf.lock();
            auto fired = weakPlayer.lock();
            if (model && fired) {
                model->loopBoundaryReached(fired);
            }
        });
        self->m_ends.emplace_back(current, std::move(token));
    });
}

void AppModel::loopBoundaryReached(const std::shared_ptr<Player>& player) {
    // With several screens every player has its own observer; the first to fire replaces all
    // players, and the others then find themselves no longer current.
    if (!contains(*player) || !videoURL) {
        return;
    }
    crossfade(*videoURL);
}

void AppModel::crossfade(const Url& film) {
    m_observers.clear();
    const VideoGravity gravity = gravityFor(film);

    std::vector<std::pair<std::shared_ptr<Player>, std::shared_ptr<PlayerLayer>>> old;
    for (std::size_t i = 0; i < std::min(players.size(), layers.size()); ++i) {
        old.emplace_back(players[i], layers[i]);
    }
    players.clear();
    layers.clear();

    std::weak_ptr<AppModel> weakSelf = weak_from_this();
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const auto& window = windows[i];
        auto [player, layer] = makePlayer(film, window->frame().size, gravity);
        if (auto content = window->contentLayer()) {
            content->addSublayer(layer);
        }
        players.push_back(player);
        layers.push_back(layer);
        if (i >= old.size()) {
            fadeIn(layer);
            continue;
        }
        fadeIn(layer, [weakSelf, oldPlayer = old[i].first, oldLayer = old[i].second] {
            if (auto self = weakSelf.lock()) {
                self->retire(oldPlayer);
            }
            oldLayer->detachPlayer();
            oldLayer->removeFromSuperlayer();
        });
    }
    observeOcclusion();
    updatePlayback();
}

void AppModel::fadeIn(const std::shared_ptr<PlayerLayer>& layer, std::function<void()> then) {
    layer->setOpacity(0);
    if (layer->isReadyForDisplay()) {
        m_mainQueue->post([layer, then = std::move(then)] { animateIn(layer, then); });
        return;
    }

    auto wait = std::make_shared<FadeWait>();
    std::weak_ptr<AppModel> weakSelf = weak_from_this();
    std::weak_ptr<PlayerLayer> weakLayer = layer;
    std::weak_ptr<MainQueue> weakQueue = m_mainQueue;
    std::weak_ptr<FadeWait> weakWait = wait;
    auto observation = layer->observeReadyForDisplay([=](bool ready) {
        auto pending = weakWait.lock();
        auto queue = weakQueue.lock();
        if (!ready || !pending || !queue || !pending->take()) {
            return;
        }
        queue->post([weakSelf, weakLayer, pending, then] {
            if (auto self = weakSelf.lock()) {
                auto& fades = self->m_fades;
                fades.erase(std::remove(fades.begin(), fades.end(), pending), fades.end());
            }
            if (auto l = weakLayer.lock()) {
                animateIn(l, then);
            }
        });
    });
    {
        std::lock_guard lock(wait->mutex);
        wait->observation = std::move(observation);
    }
    m_fades.push_back(std::move(wait));
}

void AppModel::animateIn(const std::shared_ptr<PlayerLayer>& layer, std::function<void()> then) {
    layer->animateOpacity(1.0, fadeInDuration, [then = std::move(then)] {
        if (then) {
            then();
        }
    });
}

void AppModel::retire(const std::shared_ptr<Player>& player) {
    player->pause();
    // Dropping the token ends the boundary observation.
    m_ends.erase(
        std::remove_if(m_ends.begin(), m_ends.end(), [&](const auto& e) { return e.first == player; }),
        m_ends.end());
}

} // namespace drovane
