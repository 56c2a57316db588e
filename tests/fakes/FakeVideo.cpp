#include "fakes/FakeVideo.h"

#include "fakes/LiveObjects.h"

#include <algorithm>

namespace drovane::fakes {

FakePlayer::FakePlayer(std::shared_ptr<FakeMainQueue> mainQueue, Url file, double forwardBufferSeconds,
                       std::optional<double> duration, double durationLoadDelay)
    : m_mainQueue(std::move(mainQueue)), m_file(std::move(file)),
      m_forwardBufferSeconds(forwardBufferSeconds), m_duration(duration),
      m_durationLoadDelay(durationLoadDelay), m_since(m_mainQueue->clock().now()) {}

double FakePlayer::currentTime() const {
    double t = m_position + m_rate * m_mainQueue->clock().now().secondsSince(m_since);
    return m_duration ? std::min(t, *m_duration) : m_position;
}

void FakePlayer::settle() {
    m_position = currentTime();
    m_since = m_mainQueue->clock().now();
}

void FakePlayer::setRate(double rate) {
    settle();
    // An undecodable film never moves.
    m_rate = m_duration && m_position < *m_duration ? rate : 0;
    rearm();
}

void FakePlayer::pause() {
    settle();
    m_rate = 0;
    rearm();
}

void FakePlayer::rearm() {
    const std::uint64_t generation = ++m_generation;
    if (m_rate <= 0 || !m_duration) {
        return;
    }
    std::weak_ptr<FakePlayer> weak = weak_from_this();
    for (const auto& [id, observer] : m_observers) {
        for (double t : observer.times) {
            if (t <= m_position || t > *m_duration) {
                continue;
            }
            m_mainQueue->postAfter((t - m_position) / m_rate, [weak, generation, id = id] {
                auto self = weak.lock();
                if (!self || self->m_generation != generation) {
                    return;
                }
                auto it = self->m_observers.find(id);
                if (it != self->m_observers.end()) {
                    auto handler = it->second.handler;
                    handler();
                }
            });
        }
    }
    m_mainQueue->postAfter((*m_duration - m_position) / m_rate, [weak, generation] {
        auto self = weak.lock();
        if (self && self->m_generation == generation) {
            self->settle();
            self->m_rate = 0;
            ++self->m_generation;
        }
    });
}

void FakePlayer::loadDuration(std::function<void(std::optional<double>)> completion) {
    m_mainQueue->postAfter(m_durationLoadDelay,
                           [completion = std::move(completion), d = m_duration] { completion(d); });
}

Subscription FakePlayer::addBoundaryTimeObserver(std::vector<double> times, std::function<void()> handler) {
    const int id = m_nextObserverId++;
    m_observers[id] = Observer{std::move(times), std::move(handler)};
    settle();
    rearm();
    std::weak_ptr<FakePlayer> weak = weak_from_this();
    return Subscription([weak, id] {
        if (auto self = weak.lock()) {
            self->m_observers.erase(id);
        }
    });
}

std::vector<double> FakePlayer::boundaryTimes() const {
    std::vector<double> all;
    for (const auto& [id, observer] : m_observers) {
        all.insert(all.end(), observer.times.begin(), observer.times.end());
    }
    return all;
}

FakePlayerLayer::FakePlayerLayer(std::shared_ptr<FakeMainQueue> mainQueue, std::shared_ptr<FakePlayer> player,
                                 Rect f, VideoGravity gravity)
    : m_mainQueue(std::move(mainQueue)), m_player(std::move(player)), m_gravity(gravity) {
    frame = f;
}

double FakePlayerLayer::opacity() const {
    if (!m_animating) {
        return m_opacity;
    }
    const double elapsed = m_mainQueue->clock().now().secondsSince(m_animationStart);
    const double progress =
        m_animationSeconds <= 0 ? 1.0 : std::clamp(elapsed / m_animationSeconds, 0.0, 1.0);
    return m_from + (m_to - m_from) * progress;
}

void FakePlayerLayer::stopAnimation() {
    if (!m_animating) {
        return;
    }
    m_opacity = opacity();
    m_animating = false;
    ++m_generation;
    if (auto completion = std::exchange(m_completion, nullptr)) {
        m_mainQueue->post(std::move(completion));
    }
}

void FakePlayerLayer::setOpacity(double value) {
    stopAnimation();
    m_opacity = value;
}

void FakePlayerLayer::animateOpacity(double target, double seconds, std::function<void()> completion) {
    stopAnimation();
    m_from = m_opacity;
    m_to = target;
    m_animationStart = m_mainQueue->clock().now();
    m_animationSeconds = seconds;
    m_completion = std::move(completion);
    m_animating = true;
    const std::uint64_t generation = ++m_generation;
    std::weak_ptr<FakePlayerLayer> weak = weak_from_this();
    m_mainQueue->postAfter(seconds, [weak, generation] {
        auto self = weak.lock();
        if (!self || self->m_generation != generation) {
            return;
        }
        self->m_animating = false;
        self->m_opacity = self->m_to;
        if (auto done = std::exchange(self->m_completion, nullptr)) {
            done();
        }
    });
}

Subscription FakePlayerLayer::observeReadyForDisplay(std::function<void(bool)> handler) {
    return m_readyObservers.add(std::move(handler));
}

void FakePlayerLayer::setReadyForDisplay(bool ready) {
    if (m_ready == ready) {
        return;
    }
    m_ready = ready;
    m_readyObservers.notify(ready);
}

std::optional<double> FakeVideo::durationOf(const Url& file) const {
    auto it = durations.find(file.filePath().value_or(file.string()));
    return it == durations.end() ? std::optional<double>(defaultDuration) : it->second;
}

std::shared_ptr<Player> FakeVideo::makePlayer(const Url& file, double forwardBufferSeconds) {
    auto player = std::make_shared<FakePlayer>(m_mainQueue, file, forwardBufferSeconds, durationOf(file),
                                               durationLoadDelay);
    madePlayers.push_back(player);
    return player;
}

std::shared_ptr<PlayerLayer> FakeVideo::makeLayer(std::shared_ptr<Player> player, Rect frame,
                                                  VideoGravity gravity) {
    auto fakePlayer = std::dynamic_pointer_cast<FakePlayer>(player);
    auto layer = std::make_shared<FakePlayerLayer>(m_mainQueue, fakePlayer, frame, gravity);
    madeLayers.push_back(layer);
    if (fakePlayer && durationOf(fakePlayer->file())) {
        std::weak_ptr<FakePlayerLayer> weak = layer;
        m_mainQueue->postAfter(readyDelay, [weak] {
            if (auto l = weak.lock()) {
                l->setReadyForDisplay(true);
            }
        });
    }
    return layer;
}

std::vector<std::shared_ptr<FakePlayer>> FakeVideo::livePlayers() {
    return liveObjects(madePlayers);
}

std::vector<std::shared_ptr<FakePlayerLayer>> FakeVideo::liveLayers() {
    return liveObjects(madeLayers);
}

} // namespace drovane::fakes
