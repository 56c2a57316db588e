#pragma once

#include "platform/Geometry.h"
#include "platform/Subscription.h"
#include "platform/Url.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace drovane {

// A player of one film file. Created paused; it never plays sound. Main thread only;
// every callback is posted to the main queue, never run inside a call of this interface.
class Player {
public:
    virtual ~Player() = default;

    // Plays at `rate` (> 0) from the current position, at once (no stall avoidance).
    virtual void setRate(double rate) = 0;
    // Stops advancing; the position is kept.
    virtual void pause() = 0;
    // The current rate; 0 while paused.
    virtual double rate() const = 0;
    // The current media time in seconds.
    virtual double currentTime() const = 0;
    // Loads the film's duration; `completion` receives it in seconds, or nothing when it
    // cannot be known (unreadable file). Called at most once, possibly after the player is gone.
    virtual void loadDuration(std::function<void(std::optional<double>)> completion) = 0;
    // Calls `handler` each time playback crosses one of the media `times` (seconds) going
    // forward. Reaching the end pauses on the last frame. A film whose pictures end before its
    // duration ends there: the times after that count as crossed when it stops.
    virtual Subscription addBoundaryTimeObserver(std::vector<double> times,
                                                 std::function<void()> handler) = 0;
    // Calls `handler` once with a short reason when the film turns out not to be playable
    // (unreadable, undecodable, or broken while streaming beyond recovery); a late observer of a
    // failed player is told too. Posted to the main queue.
    virtual Subscription observeFailure(std::function<void(const std::string& reason)> handler) = 0;
};

enum class VideoGravity { ResizeAspectFill, Resize };

// A rectangle in a window's layer tree. Main thread only.
class Layer {
public:
    virtual ~Layer() = default;

    // Places `sublayer` above the existing sublayers.
    virtual void addSublayer(std::shared_ptr<Layer> sublayer) = 0;
    // Detaches this layer from its superlayer (no effect when it has none).
    virtual void removeFromSuperlayer() = 0;
    virtual void setFrame(Rect frame) = 0;
};

// A layer that shows a player's current frame scaled by its gravity; it follows its
// superlayer's size.
class PlayerLayer : public Layer {
public:
    virtual void setGravity(VideoGravity gravity) = 0;
    // Detaches the player (nothing shows any more); null is the only value accepted.
    virtual void detachPlayer() = 0;
    virtual double opacity() const = 0;
    // Sets the opacity at once, without animation.
    virtual void setOpacity(double opacity) = 0;
    // Animates the opacity to `target` over `seconds`; `completion` runs on the main queue when
    // it has finished. Setting or animating the opacity again before then stops this animation
    // where it stands, and its completion still runs, soon.
    virtual void animateOpacity(double target, double seconds, std::function<void()> completion) = 0;
    // True once the first frame of the player has been rendered in this layer.
    virtual bool isReadyForDisplay() const = 0;
    // Calls `handler` whenever readiness for display changes (any thread).
    virtual Subscription observeReadyForDisplay(std::function<void(bool ready)> handler) = 0;
};

class Video {
public:
    virtual ~Video() = default;

    // A muted player for the file, forward buffer limited to `forwardBufferSeconds`. Main thread.
    virtual std::shared_ptr<Player> makePlayer(const Url& file, double forwardBufferSeconds) = 0;
    // A layer showing `player`, of the given frame and gravity. Main thread.
    virtual std::shared_ptr<PlayerLayer> makeLayer(std::shared_ptr<Player> player, Rect frame,
                                                   VideoGravity gravity) = 0;
};

} // namespace drovane
