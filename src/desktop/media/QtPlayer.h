#pragma once

#include "platform/ObserverList.h"
#include "platform/Video.h"

#include <QUrl>
#include <QVideoFrame>
#include <map>
#include <memory>
#include <mutex>
#include <string>

class QMediaPlayer;
class QObject;
class QTimer;
class QVideoSink;

namespace drovane {
class Log;
}

namespace drovane::desktop {

// A Player on QMediaPlayer (GStreamer backend) with no audio output at all, so no audio device
// is ever opened.
//
// Boundary times are not taken from QMediaPlayer's coarse position signal: a precise timer is
// armed for the next boundary from the pipeline's current position and rate, and re-armed on
// every change of rate, pause, seek and position report. The player stops itself just before
// the end so that its last frame stays on screen (GStreamer's end of stream would blank it).
//
// Qt 6.4's GStreamer backend loses a playback rate set before the media is buffered and after
// a resume, and now and then resumes without advancing: the rate is applied once the media is
// loaded and again after each resume, and a watchdog restarts a player that stands still.
//
// A film that played and then breaks while streaming is loaded again a few times, logged on
// `log`, before it counts as failed.
class QtPlayer final : public Player, public std::enable_shared_from_this<QtPlayer> {
public:
    // `forwardBufferSeconds` is advisory: QtMultimedia has no setting for it, and GStreamer's
    // decoding queues for a local file are bounded by their own limits (a few seconds).
    // A film that cannot be played (missing, not a regular file, unreadable) fails its duration
    // request and its failure observers. Anything but a regular file is never opened: a FIFO
    // named like a film would block the pipeline for good.
    QtPlayer(const Url& file, double forwardBufferSeconds, std::shared_ptr<Log> log);
    ~QtPlayer() override;

    void setRate(double rate) override;
    void pause() override;
    double rate() const override { return m_rate; }
    double currentTime() const override;
    void loadDuration(std::function<void(std::optional<double>)> completion) override;
    Subscription addBoundaryTimeObserver(std::vector<double> times, std::function<void()> handler) override;
    Subscription observeFailure(std::function<void(const std::string& reason)> handler) override;

    // Hands every decoded frame to `receiver`, starting with the current one when there is one
    // (a paused player shows its frame in a new output too). The receiver runs on the thread
    // that decodes, one frame at a time; once the subscription is reset it is never called
    // again, so a renderer can let go of its output right after. Main thread.
    using FrameReceiver = std::function<void(const QVideoFrame&)>;
    Subscription observeFrames(FrameReceiver receiver);
    // True once the player has stopped on its last frame.
    bool isAtEnd() const { return m_atEnd; }

    // How long before the film's end the player stops on its last frame.
    static constexpr double kEndGuardSeconds = 0.08;

private:
    void fail(const std::string& reason);

    struct Observer {
        std::vector<double> times;
        std::function<void()> handler;
    };

    void errorOccurred();
    // The pipeline broke: a film that has played is loaded again, anything else fails.
    void streamingFailed(const std::string& reason);
    void reload();
    void mediaStatusChanged();
    void playbackStateChanged();
    void finishDuration(std::optional<double> duration);
    void applyRate();
    void forceRate();
    void checkBoundaries();
    // Calls the observers of every boundary after the last one checked, up to position.
    void crossBoundariesUpTo(double position);
    void armBoundaryTimer(double position);
    void checkProgress();
    void stopAtEnd();
    bool isLoaded() const;

    const QUrl m_url;
    std::unique_ptr<QObject> m_context;
    std::unique_ptr<QMediaPlayer> m_player;
    int m_recoveries = 0;
    std::optional<double> m_resumeAt;
    QTimer* m_boundaryTimer = nullptr;
    QTimer* m_watchdog = nullptr;
    // Shared with GStreamer's streaming thread, which delivers the frames.
    struct Forward {
        std::mutex mutex;
        std::map<int, FrameReceiver> receivers;
        int nextReceiver = 0;
        QVideoFrame last;
    };
    std::unique_ptr<QVideoSink> m_sink;
    std::shared_ptr<Forward> m_forward;
    double m_rate = 0;
    bool m_atEnd = false;
    // The rate was applied since the last play().
    bool m_rateApplied = false;
    bool m_failed = false;
    std::string m_failure;
    ObserverList<const std::string&> m_failureObservers;
    // A reload after a streaming error is on its way.
    bool m_reloading = false;
    std::optional<double> m_duration;
    std::vector<std::function<void(std::optional<double>)>> m_durationWaiters;
    std::shared_ptr<std::map<int, Observer>> m_observers;
    std::shared_ptr<Log> m_log;
    int m_nextObserver = 0;
    double m_lastChecked = 0;
    double m_lastProgressPosition = -1;
    int m_stalledChecks = 0;
    int m_fruitlessRestarts = 0;
};

} // namespace drovane::desktop
