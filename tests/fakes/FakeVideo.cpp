#include "fakes/FakeVideo.h"

#include "fakes/LiveObjects.h"

#include <algorithm>

namespace drovane::fakes {

FakePlayer::FakePlayer(std::shared_ptr<FakeMainQueue> mainQueue, Url file, double forwardBufferSeconds,
                       std::optional<double> duration, double durationLoadDelay,
                       std::optional<double> picturesEnd)
    : m_mainQueue(std::move(mainQueue)), m_file(std::move(file)),
      m_forwardBufferSeconds(forwardBufferSeconds), m_duration(duration),
      m_durationLoadDelay(durationLoadDelay), m_picturesEnd(picturesEnd),
      m_since(m_mainQueue->clock().now()) {}

double FakePlayer::end() const {
    return m_picturesEnd && m_duration ? std::min(*m_picturesEnd, *m_duration) : m_duration.value_or(0);
}

double FakePlayer::currentTime() const {
    double t = m_position + m_rate * m_mainQueue->clock().now().secondsSince(m_since);
    return m_duration ? std::min(t, end()) : m_position;
}

void FakePlayer::settle() {
    m_position = currentTime();
    m_since = m_mainQueue->clock().now();
}

void FakePlayer::setRate(double rate) {
    settle();
    // An undecodable film never moves.
    m_rate = m_duration && m_position < end() && !m_failure ? rate : 0;
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
            if (t <= m_position || t > end()) {
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
    m_mainQueue->postAfter((end() - m_position) / m_rate, [weak, generation] {
        auto self = weak.lock();
        if (!self || self->m_generation != generation) {
            return;
        }
        self->settle();
        self->m_rate = 0;
        ++self->m_generation;
        // Stopped short of the duration: what lies after counts as crossed.
        std::vector<std::function<void()>> crossed;
        for (const auto& [id, observer] : self->m_observers) {
            if (std::any_of(observer.times.begin(), observer.times.end(),
                            [&](double t) { return t > self->end() && t <= *self->m_duration; })) {
                crossed.push_back(observer.handler);
            }
        }
        for (auto& handler : crossed) {
            self->m_mainQueue->post(std::move(handler));
        }
    });
}

Subscription FakePlayer::observeFailure(std::function<void(const std::string&)> handler) {
    if (m_failure) {
        // Told later, unless the subscription has ended by then.
        auto live = std::make_shared<bool>(true);
        m_mainQueue->post(
            [handler = std::move(handler), reason = *m_failure, weakLive = std::weak_ptr(live)] {
                if (weakLive.lock()) {
                    handler(reason);
                }
            });
        return Subscription([live] {});
    }
    return m_failureObservers.add(std::move(handler));
}

void FakePlayer::fail(const std::string& reason) {
    if (m_failure) {
        return;
    }
    m_failure = reason;
    pause();
    std::weak_ptr<FakePlayer> weak = weak_from_this();
    m_mainQueue->post([weak, reason] {
        if (auto self = weak.lock()) {
            self->m_failureObservers.notify(reason);
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
    const std::string path = file.filePath().value_or(file.string());
    const auto ends = picturesEnd.find(path);
    auto player = std::make_shared<FakePlayer>(
        m_mainQueue, file, forwardBufferSeconds, durationOf(file), durationLoadDelay,
        ends == picturesEnd.end() ? std::nullopt : std::optional(ends->second));
    madePlayers.push_back(player);
    ++playersMade;
    if (!durationOf(file)) {
        std::weak_ptr<FakePlayer> weak = player;
        m_mainQueue->postAfter(durationLoadDelay, [weak] {
            if (auto p = weak.lock()) {
                p->fail("not a film that can be played");
            }
        });
    }
    return player;
}

std::shared_ptr<PlayerLayer> FakeVideo::makeLayer(std::shared_ptr<Player> player, Rect frame,
                                                  VideoGravity gravity) {
    auto fakePlayer = std::dynamic_pointer_cast<FakePlayer>(player);
    auto layer = std::make_shared<FakePlayerLayer>(m_mainQueue, fakePlayer, frame, gravity);
    madeLayers.push_back(layer);
    if (fakePlayer && durationOf(fakePlayer->file()) &&
        !withoutPicture.contains(fakePlayer->file().filePath().value_or(fakePlayer->file().string()))) {
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
