// The wallpaper never cuts: layers come in by fading in, a loop is a cross-fade to fresh
// players of the same film started shortly before the end, and a new film replaces the old one
// under a cross-fade.

#include "platform/MainQueue.h"
#include "playback/AppModel.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace drovane {

// A fade-in waiting for its layer's first frame. It is held by its own readiness handler, so
// it lives as long as the layer does, with or without the engine; the engine keeps a weak
// list to prune. The readiness observer may call from any thread, so taking it happens under
// a lock, at most once.
struct AppModel::FadeWait {
    std::mutex mutex;
    Subscription observation;
    std::weak_ptr<PlayerLayer> layer;
    bool taken = false;

    bool take() {
        std::lock_guard lock(mutex);
        return !std::exchange(taken, true);
    }
    void end() {
        Subscription ended;
        std::lock_guard lock(mutex);
        ended = std::move(observation);
    }
};

void AppModel::setUpLoop(const std::shared_ptr<Player>& player) {
    std::weak_ptr<AppModel> weakSelf = weak_from_this();
    std::weak_ptr<Player> weakPlayer = player;
    player->loadDuration([weakSelf, weakPlayer](std::optional<double> duration) {
        // An undefined (NaN) duration is no duration.
        if (!duration || std::isnan(*duration)) {
            return;
        }
        auto self = weakSelf.lock();
        auto current = weakPlayer.lock();
        if (!self || !current || !self->contains(*current)) {
            return;
        }
        if (!(*duration > minimumLoopDuration)) {
            self->tooShortToLoop(seconds(*duration));
            return;
        }
        const double boundary =
            std::round((*duration - loopLeadTime) * boundaryTimeScale) / boundaryTimeScale;
        auto token = current->addBoundaryTimeObserver({boundary}, [weakSelf, weakPlayer, boundary] {
            auto model = weakSelf.lock();
            auto fired = weakPlayer.lock();
            if (model && fired) {
                model->loopBoundaryReached(fired, boundary);
            }
        });
        self->m_ends.emplace_back(current, std::move(token));
    });
}

void AppModel::loopBoundaryReached(const std::shared_ptr<Player>& player, double boundary) {
    // With several screens every player has its own observer; the first to fire replaces all
    // players, and the others then find themselves no longer current.
    if (!contains(*player) || !videoURL) {
        return;
    }
    // A film whose pictures end before its duration says it is over early. Looping it at once
    // would make players as fast as they can end.
    const double reached = player->currentTime();
    if (reached < boundary - 1.0 / boundaryTimeScale) {
        if (reached < fadeInDuration) {
            filmFailed(*player, "too short to play (it ends after " + seconds(reached) + ")");
            return;
        }
        if (!(reached > minimumLoopDuration)) {
            tooShortToLoop("it ends after " + seconds(reached));
            for (const auto& p : std::vector(players)) {
                retire(p);
            }
            return;
        }
    } else {
        // A whole loop played: the film is sound again.
        m_failures = 0;
    }
    crossfade(*videoURL);
}

void AppModel::crossfade(const Url& film) {
    m_observers.clear();
    const VideoGravity gravity = gravityFor(film);

    // The old players stay the engine's until their successors have faded in, so that a
    // rebuild meanwhile still retires them.
    const std::uint64_t crossfade = ++m_crossfades;
    const bool failed = m_failed;
    std::vector<Outgoing> old;
    for (std::size_t i = 0; i < std::min(players.size(), layers.size()); ++i) {
        old.push_back(
            Outgoing{players[i], layers[i], i < windows.size() ? windows[i].get() : nullptr, crossfade});
        // A failed player that never showed a picture has nothing to cover: it goes at once, so
        // that retries of a film without pictures do not pile up players.
        if (failed && !layers[i]->isReadyForDisplay()) {
            old.back().player = nullptr;
            retire(players[i]);
            layers[i]->detachPlayer();
            layers[i]->removeFromSuperlayer();
        } else {
            m_outgoing.push_back(old.back());
        }
    }
    players.clear();
    layers.clear();
    beginPlayers();

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
        // Once the new layer shows, nothing under it can be seen again: neither the film it
        // replaces nor one that an earlier film without a picture left showing (whose own
        // successor never faded in). Held weakly: what another fade retires meanwhile must not
        // live on in a fade that may never end.
        fadeIn(layer, [weakSelf, window = window.get(), crossfade, replaced = std::weak_ptr(old[i].layer)] {
            if (auto self = weakSelf.lock()) {
                self->retireCovered(window, crossfade);
            }
            if (auto outgoing = replaced.lock()) {
                outgoing->detachPlayer();
                outgoing->removeFromSuperlayer();
            }
        });
    }
    // Old players without a window of their own any more have nothing to fade under.
    for (std::size_t i = windows.size(); i < old.size(); ++i) {
        if (!old[i].player) {
            continue;
        }
        retireOutgoing(old[i].player);
        old[i].layer->detachPlayer();
        old[i].layer->removeFromSuperlayer();
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

    pruneFades();
    auto wait = std::make_shared<FadeWait>();
    wait->layer = layer;
    std::weak_ptr<AppModel> weakSelf = weak_from_this();
    std::weak_ptr<MainQueue> weakQueue = m_mainQueue;
    // The handler holds the wait; the wait holds the observation, which the handler lives in.
    auto observation = layer->observeReadyForDisplay([wait, weakSelf, weakQueue, then](bool ready) {
        auto queue = weakQueue.lock();
        if (!ready || !queue || !wait->take()) {
            return;
        }
        queue->post([wait, weakSelf, then] {
            wait->end();
            if (auto self = weakSelf.lock()) {
                self->pruneFades();
            }
            // Once the layer shows a picture, its fade runs to the end, engine or not.
            if (auto l = wait->layer.lock()) {
                animateIn(l, then);
            }
        });
    });
    {
        std::lock_guard lock(wait->mutex);
        wait->observation = std::move(observation);
    }
    m_fades.push_back(wait);
}

void AppModel::pruneFades() {
    std::erase_if(m_fades, [](const std::weak_ptr<FadeWait>& weak) {
        auto wait = weak.lock();
        if (!wait || wait->layer.expired()) {
            return true;
        }
        std::lock_guard lock(wait->mutex);
        return wait->taken;
    });
}

void AppModel::animateIn(const std::shared_ptr<PlayerLayer>& layer, std::function<void()> then) {
    layer->animateOpacity(1.0, fadeInDuration, [then = std::move(then)] {
        if (then) {
            then();
        }
    });
}

void AppModel::retireCovered(const WallpaperWindow* window, std::uint64_t crossfade) {
    std::vector<Outgoing> covered;
    std::erase_if(m_outgoing, [&](const Outgoing& o) {
        const bool under = o.window == window && o.crossfade <= crossfade;
        if (under) {
            covered.push_back(o);
        }
        return under;
    });
    for (const Outgoing& o : covered) {
        retire(o.player);
        o.layer->detachPlayer();
        o.layer->removeFromSuperlayer();
    }
}

void AppModel::retireOutgoing(const std::shared_ptr<Player>& player) {
    retire(player);
    std::erase_if(m_outgoing, [&](const Outgoing& o) { return o.player == player; });
}

void AppModel::retire(const std::shared_ptr<Player>& player) {
    player->pause();
    // Dropping the token ends the boundary observation.
    m_ends.erase(
        std::remove_if(m_ends.begin(), m_ends.end(), [&](const auto& e) { return e.first == player; }),
        m_ends.end());
    // A retired player's failure no longer concerns the engine.
    std::erase_if(m_failureWatches,
                  [&](const auto& watch) { return watch.first.expired() || watch.first.lock() == player; });
}

} // namespace drovane
