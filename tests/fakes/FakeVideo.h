#pragma once

#include "fakes/FakeMainQueue.h"
#include "platform/ObserverList.h"
#include "platform/Video.h"

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
               std::optional<double> picturesEnd = std::nullopt);

    void setRate(double rate) override;
    void pause() override;
    double rate() const override { return m_rate; }
    double currentTime() const override;
    void loadDuration(std::function<void(std::optional<double>)> completion) override;
    Subscription addBoundaryTimeObserver(std::vector<double> times, std::function<void()> handler) override;
    Subscription observeFailure(std::function<void(const std::string&)> handler) override;

    // Reports the film unplayable, as a backend does once (later calls do nothing).
    void fail(const std::string& reason);
    const Url& file() const { return m_file; }
    // Nothing for a film that cannot be decoded.
    const std::optional<double>& duration() const { return m_duration; }
    double forwardBufferSeconds() const { return m_forwardBufferSeconds; }
    std::size_t boundaryObserverCount() const { return m_observers.size(); }
    // Every boundary time observed now, in the order added.
    std::vector<double> boundaryTimes() const;

private:
    struct Observer {
        std::vector<double> times;
        std::function<void()> handler;
    };
    // Folds the time played so far into m_position.
    void settle();
    // Schedules the next boundary crossings and the end for the current rate.
    void rearm();
    // Where playback stops: the duration, or earlier where the pictures end.
    double end() const;

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
    FakePlayerLayer(std::shared_ptr<FakeMainQueue> mainQueue, std::shared_ptr<FakePlayer> player, Rect frame,
                    VideoGravity gravity);

    void setGravity(VideoGravity gravity) override { m_gravity = gravity; }
    void detachPlayer() override { m_player.reset(); }
    double opacity() const override;
    void setOpacity(double opacity) override;
    void animateOpacity(double target, double seconds, std::function<void()> completion) override;
    bool isReadyForDisplay() const override { return m_ready; }
    Subscription observeReadyForDisplay(std::function<void(bool ready)> handler) override;

    // Changes readiness and tells the observers, as a first rendered frame does.
    void setReadyForDisplay(bool ready);
    VideoGravity gravity() const { return m_gravity; }
    const std::shared_ptr<FakePlayer>& player() const { return m_player; }
    bool isAnimating() const { return m_animating; }
    std::size_t readyObserverCount() const { return m_readyObservers.size(); }

private:
    // Stops a running animation where it stands; its completion still runs.
    void stopAnimation();

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

    std::shared_ptr<Player> makePlayer(const Url& file, double forwardBufferSeconds) override;
    std::shared_ptr<PlayerLayer> makeLayer(std::shared_ptr<Player> player, Rect frame,
                                           VideoGravity gravity) override;

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
    std::vector<std::shared_ptr<FakePlayer>> livePlayers();
    std::vector<std::shared_ptr<FakePlayerLayer>> liveLayers();

private:
    std::optional<double> durationOf(const Url& file) const;
    const std::shared_ptr<FakeMainQueue> m_mainQueue;
};

} // namespace drovane::fakes
