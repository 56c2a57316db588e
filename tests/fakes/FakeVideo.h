#pragma once

#include "fakes/FakeMainQueue.h"
#include "fakes/LiveObjects.h"
#include "platform/ObserverList.h"
#include "platform/Video.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace drovane::fakes {

class FakePlayerLayer;

// A player whose media time follows the virtual clock: it advances at its rate while playing,
// stops on the last frame at the end (or where its pictures end, crossing the times after it
// then), and fires its boundary observers through the main queue at the virtual moment
// playback crosses their times.
class FakePlayer final : public Player, public std::enable_shared_from_this<FakePlayer> {
public:
    FakePlayer(std::shared_ptr<FakeMainQueue> mainQueue, Url file, double forwardBufferSeconds,
               std::optional<double> duration, double durationLoadDelay,
               std::optional<double> picturesEnd = std::nullopt)
        : m_mainQueue(std::move(mainQueue)), m_file(std::move(file)),
          m_forwardBufferSeconds(forwardBufferSeconds), m_duration(duration),
          m_durationLoadDelay(durationLoadDelay), m_picturesEnd(picturesEnd),
          m_since(m_mainQueue->clock().now()) {}

    void setRate(double rate) override {
        settle();
        // An undecodable film never moves.
        m_rate = m_duration && m_position < end() && !m_failure ? rate : 0;
        rearm();
    }
    void pause() override {
        settle();
        m_rate = 0;
        rearm();
    }
    double rate() const override { return m_rate; }
    double currentTime() const override {
        double t = m_position + m_rate * m_mainQueue->clock().now().secondsSince(m_since);
        return m_duration ? std::min(t, end()) : m_position;
    }
    void loadDuration(std::function<void(std::optional<double>)> completion) override {
        m_mainQueue->postAfter(m_durationLoadDelay,
                               [completion = std::move(completion), d = m_duration] { completion(d); });
    }
    Subscription addBoundaryTimeObserver(std::vector<double> times, std::function<void()> handler) override {
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
    Subscription observeFailure(std::function<void(const std::string&)> handler) override {
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

    // Reports the film unplayable, as a backend does once (later calls do nothing).
    void fail(const std::string& reason) {
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
    const Url& file() const { return m_file; }
    // Nothing for a film that cannot be decoded.
    const std::optional<double>& duration() const { return m_duration; }
    double forwardBufferSeconds() const { return m_forwardBufferSeconds; }
    std::size_t boundaryObserverCount() const { return m_observers.size(); }
    // Every boundary time observed now, in the order added.
    std::vector<double> boundaryTimes() const {
        std::vector<double> all;
        for (const auto& [id, observer] : m_observers) {
            all.insert(all.end(), observer.times.begin(), observer.times.end());
        }
        return all;
    }

private:
    struct Observer {
        std::vector<double> times;
        std::function<void()> handler;
    };
    // Folds the time played so far into m_position.
    void settle() {
        m_position = currentTime();
        m_since = m_mainQueue->clock().now();
    }
    // Schedules the next boundary crossings and the end for the current rate.
    void rearm() {
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
    // Where playback stops: the duration, or earlier where the pictures end.
    double end() const {
        return m_picturesEnd && m_duration ? std::min(*m_picturesEnd, *m_duration) : m_duration.value_or(0);
    }

    const std::shared_ptr<FakeMainQueue> m_mainQueue;
    const Url m_file;
    const double m_forwardBufferSeconds;
    const std::optional<double> m_duration;
    const double m_durationLoadDelay;
    const std::optional<double> m_picturesEnd;
    std::optional<std::string> m_failure;
    ObserverList<const std::string&> m_failureObservers;
    double m_rate = 0;
    double m_position = 0;
    Date m_since;
    std::uint64_t m_generation = 0;
    int m_nextObserverId = 0;
    std::map<int, Observer> m_observers;
};

// A layer of a fake window's tree.
struct FakeLayerTree {
    virtual ~FakeLayerTree() = default;
    std::weak_ptr<Layer> superlayer;
    std::vector<std::shared_ptr<Layer>> sublayers;
    Rect frame;
};

// The tree operations every fake layer shares.
template <typename Base, typename Self>
class FakeLayerNode : public Base, public FakeLayerTree, public std::enable_shared_from_this<Self> {
public:
    void addSublayer(std::shared_ptr<Layer> sub) override {
        if (auto* node = dynamic_cast<FakeLayerTree*>(sub.get())) {
            sub->removeFromSuperlayer();
            node->superlayer = this->shared_from_this();
            sublayers.push_back(std::move(sub));
        }
    }
    void removeFromSuperlayer() override {
        const auto super = superlayer.lock();
        auto* parent = dynamic_cast<FakeLayerTree*>(super.get());
        superlayer.reset();
        if (parent)
            std::erase_if(parent->sublayers, [&](const auto& l) { return l.get() == this; });
    }
    void setFrame(Rect f) override { frame = f; }
};

class FakeLayer final : public FakeLayerNode<Layer, FakeLayer> {};

// A player layer whose opacity animations run on the virtual clock and whose readiness for
// display the fake video sets (or the test does).
class FakePlayerLayer final : public FakeLayerNode<PlayerLayer, FakePlayerLayer> {
public:
    FakePlayerLayer(std::shared_ptr<FakeMainQueue> mainQueue, std::shared_ptr<FakePlayer> player, Rect f,
                    VideoGravity gravity)
        : m_mainQueue(std::move(mainQueue)), m_player(std::move(player)), m_gravity(gravity) {
        frame = f;
    }

    void setGravity(VideoGravity gravity) override { m_gravity = gravity; }
    void detachPlayer() override { m_player.reset(); }
    double opacity() const override {
        if (!m_animating) {
            return m_opacity;
        }
        const double elapsed = m_mainQueue->clock().now().secondsSince(m_animationStart);
        const double progress =
            m_animationSeconds <= 0 ? 1.0 : std::clamp(elapsed / m_animationSeconds, 0.0, 1.0);
        return m_from + (m_to - m_from) * progress;
    }
    void setOpacity(double value) override {
        stopAnimation();
        m_opacity = value;
    }
    void animateOpacity(double target, double seconds, std::function<void()> completion) override {
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
    bool isReadyForDisplay() const override { return m_ready; }
    Subscription observeReadyForDisplay(std::function<void(bool ready)> handler) override {
        return m_readyObservers.add(std::move(handler));
    }

    // Changes readiness and tells the observers, as a first rendered frame does.
    void setReadyForDisplay(bool ready) {
        if (m_ready == ready) {
            return;
        }
        m_ready = ready;
        m_readyObservers.notify(ready);
    }
    VideoGravity gravity() const { return m_gravity; }
    const std::shared_ptr<FakePlayer>& player() const { return m_player; }
    bool isAnimating() const { return m_animating; }
    std::size_t readyObserverCount() const { return m_readyObservers.size(); }

private:
    // Stops a running animation where it stands; its completion still runs.
    void stopAnimation() {
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

    const std::shared_ptr<FakeMainQueue> m_mainQueue;
    std::shared_ptr<FakePlayer> m_player;
    VideoGravity m_gravity;
    double m_opacity = 1.0;
    bool m_animating = false;
    double m_from = 0;
    double m_to = 0;
    Date m_animationStart;
    double m_animationSeconds = 0;
    std::function<void()> m_completion;
    std::uint64_t m_generation = 0;
    bool m_ready = false;
    ObserverList<bool> m_readyObservers;
};

// Films by path: a known duration makes a decodable film, whose layers become ready for
// display `readyDelay` seconds after they are made; a film without one never shows a frame and
// its players fail when its duration would have come.
class FakeVideo final : public Video {
public:
    explicit FakeVideo(std::shared_ptr<FakeMainQueue> mainQueue) : m_mainQueue(std::move(mainQueue)) {}

    std::shared_ptr<Player> makePlayer(const Url& file, double forwardBufferSeconds) override {
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
    std::shared_ptr<PlayerLayer> makeLayer(std::shared_ptr<Player> player, Rect frame,
                                           VideoGravity gravity) override {
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

    // The duration of films not listed in `durations`.
    double defaultDuration = 20.0;
    // Per file path; nothing marks a film that cannot be decoded.
    std::map<std::string, std::optional<double>> durations;
    // Per file path, the media time where a film's pictures end before its duration.
    std::map<std::string, double> picturesEnd;
    // Paths of films that play but whose layers never show a frame, and nothing says why.
    std::set<std::string> withoutPicture;
    double readyDelay = 0.1;
    double durationLoadDelay = 0.05;

    // How many players were made in all.
    std::size_t playersMade = 0;
    // Every player and layer made so far, oldest first (weakly: tests see what the engine let go
    // of).
    std::vector<std::weak_ptr<FakePlayer>> madePlayers;
    std::vector<std::weak_ptr<FakePlayerLayer>> madeLayers;

    // The players and layers still alive, oldest first; forgets those that are gone.
    std::vector<std::shared_ptr<FakePlayer>> livePlayers() { return liveObjects(madePlayers); }
    std::vector<std::shared_ptr<FakePlayerLayer>> liveLayers() { return liveObjects(madeLayers); }

private:
    std::optional<double> durationOf(const Url& file) const {
        auto it = durations.find(file.filePath().value_or(file.string()));
        return it == durations.end() ? std::optional<double>(defaultDuration) : it->second;
    }
    const std::shared_ptr<FakeMainQueue> m_mainQueue;
};

} // namespace drovane::fakes
