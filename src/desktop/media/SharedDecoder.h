#pragma once

#include "platform/Subscription.h"

#include <QUrl>
#include <QVideoFrame>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class QMediaPlayer;
class QObject;
class QTimer;
class QVideoSink;

namespace drovane {
class Log;
}

namespace drovane::desktop {

class QtPlayer;

// One QMediaPlayer (GStreamer) decoding a film for every QtPlayer that shows it at the same
// position: all screens play one film and loop together, so one decode feeds them all.
//
// A member either follows the decoder (its position is the decoder's, it gets every frame) or
// stands still where it was paused while other members play on. The decoder plays while a
// following member plays, at the rate last set; a paused member stops following when another
// one plays, and follows again (at the shared position) when it plays once more.
//
// Qt 6.4's GStreamer backend loses a playback rate set before the media is buffered and after
// a resume, and now and then resumes without advancing: the rate is applied once the media is
// loaded and again after each resume, and a watchdog restarts a decoder that stands still.
// A film that played and then breaks while streaming is loaded again a few times, logged on
// the log, before it fails for every member. Main thread, except the frame fan-out.
class SharedDecoder final {
public:
    using FrameReceiver = std::function<void(const QVideoFrame&)>;

    // The decoder a new player of `url` (paused at the start) shares: one still at the start, or
    // a new one.
    static std::shared_ptr<SharedDecoder> join(const QUrl& url, const std::shared_ptr<Log>& log);

    SharedDecoder(const QUrl& url, std::shared_ptr<Log> log);
    ~SharedDecoder();
    SharedDecoder(const SharedDecoder&) = delete;
    SharedDecoder& operator=(const SharedDecoder&) = delete;

    // Members register for life; a member follows from the start.
    void addMember(QtPlayer& member);
    void removeMember(QtPlayer& member);
    // Whether the member gets frames. One that stands still and has had none yet still gets the
    // next one, so that its layer has a picture.
    void setFollowing(const QtPlayer& member, bool following);
    // Hands the member's frames to `receiver`, starting with its current one. Runs on the
    // decoding thread; never again once the subscription is reset.
    Subscription observeFrames(const QtPlayer& member, FrameReceiver receiver);

    // `by` plays at `rate`: members that follow while paused stop following first.
    void play(const QtPlayer& by, double rate);
    // `by` pauses: it stops following when others play on, else the decoding stops.
    void pauseFor(QtPlayer& by);
    // Stops on the last frame for good; every following member is at the end.
    void stopAtEnd();

    double position() const;
    // The rate it plays at, or is about to once loaded; 0 while paused.
    double rate() const { return m_rate; }
    bool isPlaying() const;
    bool isAtEnd() const { return m_atEnd; }
    bool hasFailed() const { return m_failed; }
    const std::string& failure() const { return m_failure; }
    std::optional<double> duration() const { return m_duration; }

private:
    bool canBeJoined() const;
    std::vector<QtPlayer*> followers() const;
    void fail(const std::string& reason);
    void errorOccurred();
    // The pipeline broke: a film that has played is loaded again, anything else fails.
    void streamingFailed(const std::string& reason);
    void reload();
    void mediaStatusChanged();
    void playbackStateChanged();
    void applyRate();
    void forceRate();
    void moved();
    void checkProgress();
    bool isLoaded() const;

    struct Member {
        bool following = true;
        QVideoFrame last;
        std::map<int, FrameReceiver> receivers;
    };
    // Shared with GStreamer's streaming thread, which delivers the frames.
    struct Fanout {
        std::mutex mutex;
        std::map<const QtPlayer*, Member> members;
        QVideoFrame last;
        int nextReceiver = 0;
    };

    const QUrl m_url;
    const std::shared_ptr<Log> m_log;
    std::unique_ptr<QObject> m_context;
    std::unique_ptr<QMediaPlayer> m_player;
    std::unique_ptr<QVideoSink> m_sink;
    std::shared_ptr<Fanout> m_fanout = std::make_shared<Fanout>();
    std::vector<QtPlayer*> m_members;
    QTimer* m_watchdog = nullptr;
    double m_rate = 0;
    bool m_atEnd = false;
    bool m_failed = false;
    std::string m_failure;
    bool m_rateApplied = false;
    bool m_reloading = false;
    int m_recoveries = 0;
    std::optional<double> m_resumeAt;
    std::optional<double> m_duration;
    double m_lastProgressPosition = -1;
    int m_stalledChecks = 0;
    int m_fruitlessRestarts = 0;
};

} // namespace drovane::desktop
