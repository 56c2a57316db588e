#pragma once

#include "platform/ObserverList.h"
#include "platform/Video.h"

#include <QVideoFrame>
#include <map>
#include <memory>
#include <string>

class QObject;
class QTimer;

namespace drovane {
class Log;
}

namespace drovane::desktop {

class SharedDecoder;

// A Player on QMediaPlayer (GStreamer backend) with no audio output at all, so no audio device
// is ever opened. Players of one film created together (one per screen) share one decoder
// (SharedDecoder) while their positions agree; a player paused while the others play stands
// still, and when it plays again it rejoins the shared decoding at the shared position: what a
// covered screen shows on uncovering is where the other screens are, not where it stopped.
//
// Boundary times are not taken from QMediaPlayer's coarse position signal: a precise timer is
// armed for the next boundary from the decoder's current position and rate, and re-armed on
// every change of rate, pause, seek and position report. The player stops itself just before
// the end so that its last frame stays on screen (GStreamer's end of stream would blank it).
class QtPlayer final : public Player, public std::enable_shared_from_this<QtPlayer> {
public:
    // `forwardBufferSeconds` is advisory: QtMultimedia has no setting for it, and GStreamer's
    // decoding queues for a local file are bounded by their own limits (a few seconds).
    // A film that cannot be played (missing, not a regular file, unreadable) fails its duration
    // request and its failure observers. Anything but a regular file is never opened: a FIFO
    // named like a film would block the pipeline for good. Streaming errors are logged on `log`.
    QtPlayer(const Url& file, double forwardBufferSeconds, std::shared_ptr<Log> log);
    ~QtPlayer() override;

    void setRate(double rate) override;
    void pause() override;
    double rate() const override { return m_rate; }
    double currentTime() const override;
    void loadDuration(std::function<void(std::optional<double>)> completion) override;
    Subscription addBoundaryTimeObserver(std::vector<double> times, std::function<void()> handler) override;
    Subscription observeFailure(std::function<void(const std::string& reason)> handler) override;

    // Hands every frame this player shows to `receiver`, starting with the current one when
    // there is one (a paused player shows its frame in a new output too). The receiver runs on
    // the thread that decodes, one frame at a time; once the subscription is reset it is never
    // called again, so a renderer can let go of its output right after. Main thread.
    using FrameReceiver = std::function<void(const QVideoFrame&)>;
    Subscription observeFrames(FrameReceiver receiver);
    // True once the player has stopped on its last frame.
    bool isAtEnd() const { return m_atEnd; }
    // The decoder's identity, to tell which players share one.
    const void* decoderIdentity() const { return m_decoder.get(); }

    // How long before the film's end the player stops on its last frame.
    static constexpr double kEndGuardSeconds = 0.08;

private:
    friend class SharedDecoder;

    struct Observer {
        std::vector<double> times;
        std::function<void()> handler;
    };

    void fail(const std::string& reason);
    void finishDuration(std::optional<double> duration);
    // Another member plays on while this one is paused: it keeps its position and frame.
    void standStill();
    void reachedEnd();
    void checkBoundaries();
    // Calls the observers of every boundary after the last one checked, up to position.
    void crossBoundariesUpTo(double position);
    void armBoundaryTimer(double position);

    std::shared_ptr<SharedDecoder> m_decoder;
    std::unique_ptr<QObject> m_context;
    QTimer* m_boundaryTimer = nullptr;
    double m_rate = 0;
    bool m_following = true;
    double m_stoodAt = 0;
    bool m_atEnd = false;
    bool m_failed = false;
    std::string m_failure;
    ObserverList<const std::string&> m_failureObservers;
    std::optional<double> m_duration;
    std::vector<std::function<void(std::optional<double>)>> m_durationWaiters;
    std::shared_ptr<std::map<int, Observer>> m_observers;
    int m_nextObserver = 0;
    double m_lastChecked = 0;
};

} // namespace drovane::desktop
