#include "desktop/media/QtPlayer.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QMediaPlayer>
#include <QTimer>
#include <QUrl>
#include <QVideoFrame>
#include <QVideoSink>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <utility>

namespace drovane::desktop {

namespace {

// How often a playing player checks that it advances.
constexpr int kWatchdogMilliseconds = 1000;
// Checks in a row without progress before the player is restarted.
constexpr int kStalledChecksBeforeRecovery = 2;
// Streaming errors a player recovers from by loading its film again, before it gives up.
constexpr int kMaxRecoveries = 3;
// Restarts in a row that did not make a player advance, before it gives up: a film cut after its
// header loads and "plays" without a length or a picture.
constexpr int kMaxFruitlessRestarts = 3;

QUrl qtUrl(const Url& url) {
    if (auto path = url.filePath()) {
        return QUrl::fromLocalFile(QString::fromStdString(*path));
    }
    return QUrl(QString::fromStdString(url.string()));
}

} // namespace

QtPlayer::QtPlayer(const Url& file, double /*forwardBufferSeconds*/, std::shared_ptr<Log> log)
    : m_url(qtUrl(file)), m_context(std::make_unique<QObject>()), m_player(std::make_unique<QMediaPlayer>()),
      m_sink(std::make_unique<QVideoSink>()), m_forward(std::make_shared<Forward>()),
      m_observers(std::make_shared<std::map<int, Observer>>()), m_log(std::move(log)) {
    QObject* context = m_context.get();
    m_boundaryTimer = new QTimer(context);
    m_boundaryTimer->setSingleShot(true);
    m_boundaryTimer->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_boundaryTimer, &QTimer::timeout, context, [this] { checkBoundaries(); });

    m_watchdog = new QTimer(context);
    m_watchdog->setInterval(kWatchdogMilliseconds);
    QObject::connect(m_watchdog, &QTimer::timeout, context, [this] { checkProgress(); });

    QMediaPlayer* player = m_player.get();
    QObject::connect(player, &QMediaPlayer::mediaStatusChanged, context, [this] { mediaStatusChanged(); });
    QObject::connect(player, &QMediaPlayer::playbackStateChanged, context,
                     [this] { playbackStateChanged(); });
    QObject::connect(player, &QMediaPlayer::durationChanged, context, [this] { mediaStatusChanged(); });
    QObject::connect(player, &QMediaPlayer::positionChanged, context, [this] { checkBoundaries(); });
    QObject::connect(player, &QMediaPlayer::errorOccurred, context, [this] { errorOccurred(); });

    // Frames go to a sink of the player's own, which never learns a graphics context, and are
    // passed on to whichever renderer shows them. Qt 6.4 rebuilds a GStreamer sink when it
    // learns one: inside a running pipeline that leaves the demuxer's pad unlinked for a moment,
    // which stops the stream for good ("Internal data stream error"), and the rebuilt OpenGL
    // path keeps delivering frames, and the window redrawing, while the player is paused.
    auto forward = m_forward;
    QObject::connect(
        m_sink.get(), &QVideoSink::videoFrameChanged, m_sink.get(),
        [forward](const QVideoFrame& frame) {
            std::lock_guard lock(forward->mutex);
            forward->last = frame;
            for (auto& [id, receiver] : forward->receivers) {
                receiver(frame);
            }
        },
        Qt::DirectConnection);
    player->setVideoOutput(m_sink.get());
    if (m_url.isLocalFile()) {
        std::error_code error;
        const auto status = std::filesystem::status(m_url.toLocalFile().toStdString(), error);
        if (!std::filesystem::is_regular_file(status)) {
            fail(std::filesystem::exists(status) ? "not a regular file" : "no such file");
            return;
        }
    }
    // No audio output is ever set, so the backend builds no audio sink.
    player->setSource(m_url);
}

void QtPlayer::fail(const std::string& reason) {
    if (m_failed) {
        return;
    }
    m_failed = true;
    m_failure = reason;
    m_rate = 0;
    m_watchdog->stop();
    m_boundaryTimer->stop();
    if (m_player->playbackState() == QMediaPlayer::PlayingState) {
        m_player->pause();
    }
    finishDuration(std::nullopt);
    QMetaObject::invokeMethod(
        m_context.get(), [this, reason] { m_failureObservers.notify(reason); }, Qt::QueuedConnection);
}

Subscription QtPlayer::observeFailure(std::function<void(const std::string& reason)> handler) {
    if (m_failed) {
        // Told later, like every observer, unless the subscription ends first.
        auto live = std::make_shared<bool>(true);
        QMetaObject::invokeMethod(
            m_context.get(),
            [handler = std::move(handler), reason = m_failure, weakLive = std::weak_ptr(live)] {
                if (weakLive.lock()) {
                    handler(reason);
                }
            },
            Qt::QueuedConnection);
        return Subscription([live] {});
    }
    return m_failureObservers.add(std::move(handler));
}

void QtPlayer::errorOccurred() {
    streamingFailed(m_player->errorString().toStdString());
}

void QtPlayer::streamingFailed(const std::string& reason) {
    // The backend reports one breakage twice, as an error and as invalid media, in either order:
    // the second report must not count against the reload the first one started.
    if (m_failed || m_reloading) {
        return;
    }
    if (!m_duration || m_recoveries >= kMaxRecoveries) {
        // Never loaded: not a film; or it keeps breaking.
        fail(reason.empty() ? "not a film that can be played" : reason);
        return;
    }
    ++m_recoveries;
    m_reloading = true;
    if (m_log) {
        const QString film = m_url.isLocalFile() ? m_url.toLocalFile() : m_url.toString();
        m_log->line("Drovane: reloading " + film.toStdString() +
                    " after a streaming error: " + (reason.empty() ? "the stream broke" : reason));
    }
    // From the event loop, once the backend has finished reporting; a reload inside its report
    // would have the old pipeline's invalid status taken for the new one's.
    QTimer::singleShot(0, m_context.get(), [this] { reload(); });
}

void QtPlayer::reload() {
    m_reloading = false;
    if (m_failed) {
        return;
    }
    m_resumeAt = currentTime();
    m_rateApplied = false;
    m_player->setSource(QUrl());
    m_player->setSource(m_url);
}

QtPlayer::~QtPlayer() {
    QObject::disconnect(m_player.get(), nullptr, m_context.get(), nullptr);
    m_context.reset();
    // Duration requests still waiting learn that nothing will come.
    for (auto& waiter : m_durationWaiters) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [waiter = std::move(waiter)] { waiter(std::nullopt); },
            Qt::QueuedConnection);
    }
    // The pipeline first, then the sink it drew into.
    m_player.reset();
    {
        std::lock_guard lock(m_forward->mutex);
        m_forward->receivers.clear();
    }
    m_sink.reset();
}

bool QtPlayer::isLoaded() const {
    switch (m_player->mediaStatus()) {
    case QMediaPlayer::LoadedMedia:
    case QMediaPlayer::StalledMedia:
    case QMediaPlayer::BufferingMedia:
    case QMediaPlayer::BufferedMedia:
        return true;
    default:
        return false;
    }
}

Subscription QtPlayer::observeFrames(FrameReceiver receiver) {
    std::lock_guard lock(m_forward->mutex);
    if (m_forward->last.isValid()) {
        receiver(m_forward->last);
    }
    const int id = m_forward->nextReceiver++;
    m_forward->receivers.emplace(id, std::move(receiver));
    std::weak_ptr<Forward> weakForward = m_forward;
    return Subscription([weakForward, id] {
        if (auto forward = weakForward.lock()) {
            std::lock_guard held(forward->mutex);
            forward->receivers.erase(id);
        }
    });
}

void QtPlayer::setRate(double rate) {
    if (!(rate > 0)) {
        pause();
        return;
    }
    if (m_atEnd || m_failed) {
        // Failed, or standing on its last frame: as other players at the end of a film, it stays.
        return;
    }
    m_rate = rate;
    applyRate();
}

void QtPlayer::pause() {
    m_rate = 0;
    m_watchdog->stop();
    m_boundaryTimer->stop();
    if (m_player->playbackState() == QMediaPlayer::PlayingState) {
        m_player->pause();
    }
    checkBoundaries();
}

double QtPlayer::currentTime() const {
    return static_cast<double>(m_player->position()) / 1000.0;
}

void QtPlayer::loadDuration(std::function<void(std::optional<double>)> completion) {
    if (m_duration || m_failed) {
        std::optional<double> known = m_duration;
        QMetaObject::invokeMethod(
            m_context.get(), [completion = std::move(completion), known] { completion(known); },
            Qt::QueuedConnection);
        return;
    }
    m_durationWaiters.push_back(std::move(completion));
}

void QtPlayer::finishDuration(std::optional<double> duration) {
    if (duration) {
        m_duration = duration;
    }
    auto waiters = std::move(m_durationWaiters);
    m_durationWaiters.clear();
    for (auto& waiter : waiters) {
        waiter(duration);
    }
}

Subscription QtPlayer::addBoundaryTimeObserver(std::vector<double> times, std::function<void()> handler) {
    std::sort(times.begin(), times.end());
    const int id = m_nextObserver++;
    (*m_observers)[id] = Observer{std::move(times), std::move(handler)};
    armBoundaryTimer(currentTime());
    std::weak_ptr<std::map<int, Observer>> weakObservers = m_observers;
    return Subscription([weakObservers, id] {
        if (auto observers = weakObservers.lock()) {
            observers->erase(id);
        }
    });
}

void QtPlayer::mediaStatusChanged() {
    const auto status = m_player->mediaStatus();
    if (status == QMediaPlayer::InvalidMedia) {
        streamingFailed(m_player->errorString().toStdString());
        return;
    }
    if (status == QMediaPlayer::EndOfMedia) {
        stopAtEnd();
        return;
    }
    if (isLoaded() && !m_duration && m_player->duration() > 0) {
        finishDuration(static_cast<double>(m_player->duration()) / 1000.0);
    }
    if (isLoaded() && m_resumeAt) {
        m_player->setPosition(static_cast<qint64>(*std::exchange(m_resumeAt, std::nullopt) * 1000.0));
    }
    applyRate();
}

void QtPlayer::playbackStateChanged() {
    if (m_player->playbackState() == QMediaPlayer::PlayingState &&
        m_player->mediaStatus() == QMediaPlayer::BufferedMedia) {
        // A resume of buffered media: the backend may have dropped the rate while paused.
        forceRate();
    }
    checkBoundaries();
}

void QtPlayer::forceRate() {
    m_rateApplied = true;
    if (!(m_rate > 0)) {
        return;
    }
    const double current = m_player->playbackRate();
    if (current != m_rate) {
        m_player->setPlaybackRate(m_rate);
    } else if (m_rate != 1.0) {
        // The backend keeps a rate it failed to apply and drops the same value as unchanged;
        // one ulp away is a new value. At 1.0 the pipeline's own rate is already right.
        m_player->setPlaybackRate(std::nextafter(m_rate, 2 * m_rate));
    }
}

void QtPlayer::applyRate() {
    if (!(m_rate > 0) || m_atEnd || m_failed) {
        return;
    }
    if (!m_watchdog->isActive()) {
        m_lastProgressPosition = -1;
        m_stalledChecks = 0;
        m_fruitlessRestarts = 0;
        m_watchdog->start();
    }
    if (!isLoaded()) {
        return;
    }
    if (m_player->playbackState() != QMediaPlayer::PlayingState) {
        // The rate goes on once the media is buffered (a rate set earlier is lost).
        m_rateApplied = false;
        m_player->play();
    } else if (m_player->mediaStatus() == QMediaPlayer::BufferedMedia &&
               (!m_rateApplied || std::abs(m_player->playbackRate() - m_rate) > 1e-6)) {
        forceRate();
    }
    checkBoundaries();
}

void QtPlayer::checkBoundaries() {
    const double position = currentTime();
    if (position + 0.001 < m_lastChecked) {
        // Moved backwards: nothing was crossed going forward.
        m_lastChecked = position;
    } else if (position > m_lastChecked) {
        crossBoundariesUpTo(position);
    }
    if (m_duration && !m_atEnd && m_rate > 0 && position >= *m_duration - kEndGuardSeconds) {
        stopAtEnd();
        return;
    }
    armBoundaryTimer(position);
}

void QtPlayer::armBoundaryTimer(double position) {
    if (!(m_rate > 0) || m_atEnd || m_player->playbackState() != QMediaPlayer::PlayingState) {
        m_boundaryTimer->stop();
        return;
    }
    double next = m_duration ? *m_duration - kEndGuardSeconds : INFINITY;
    for (const auto& [id, observer] : *m_observers) {
        auto it = std::upper_bound(observer.times.begin(), observer.times.end(), m_lastChecked);
        if (it != observer.times.end()) {
            next = std::min(next, *it);
        }
    }
    if (!std::isfinite(next)) {
        m_boundaryTimer->stop();
        return;
    }
    const double seconds = std::max(0.0, (next - position) / m_rate);
    m_boundaryTimer->start(std::clamp(static_cast<int>(std::ceil(seconds * 1000.0)), 1, 24 * 3600 * 1000));
}

void QtPlayer::checkProgress() {
    if (!(m_rate > 0) || m_atEnd || m_failed) {
        m_watchdog->stop();
        return;
    }
    if (!isLoaded()) {
        // Still loading: nothing to measure yet.
        m_lastProgressPosition = -1;
        return;
    }
    const double position = currentTime();
    if (m_lastProgressPosition >= 0 && std::abs(position - m_lastProgressPosition) < 0.001) {
        if (++m_stalledChecks >= kStalledChecksBeforeRecovery) {
            if (++m_fruitlessRestarts > kMaxFruitlessRestarts) {
                fail("it does not advance");
                return;
            }
            // A resume that does not advance (whatever state the backend reports): seek to
            // where it stands, which flushes the pipeline, and play again.
            m_stalledChecks = 0;
            m_rateApplied = false;
            m_player->pause();
            m_player->setPosition(static_cast<qint64>(position * 1000.0));
            m_player->play();
        }
    } else {
        m_stalledChecks = 0;
        if (m_lastProgressPosition >= 0) {
            m_fruitlessRestarts = 0;
        }
    }
    m_lastProgressPosition = position;
}

void QtPlayer::stopAtEnd() {
    if (m_atEnd) {
        return;
    }
    m_atEnd = true;
    m_rate = 0;
    m_watchdog->stop();
    m_boundaryTimer->stop();
    if (m_player->playbackState() == QMediaPlayer::PlayingState) {
        m_player->pause();
    }
    // Boundaries between here and the end are crossed as playback reaches it.
    crossBoundariesUpTo(m_duration.value_or(currentTime()));
}

void QtPlayer::crossBoundariesUpTo(double position) {
    std::vector<int> crossed;
    for (const auto& [id, observer] : *m_observers) {
        for (double t : observer.times) {
            if (t > m_lastChecked && t <= position) {
                crossed.push_back(id);
                break;
            }
        }
    }
    m_lastChecked = position;
    if (crossed.empty()) {
        return;
    }
    // Always from the event loop, never inside setRate() or pause(): a handler may start a
    // cross-fade, which must not happen in the middle of the caller's own work.
    std::weak_ptr<std::map<int, Observer>> weakObservers = m_observers;
    QMetaObject::invokeMethod(
        m_context.get(),
        [weakObservers, crossed] {
            for (int id : crossed) {
                // A handler may remove observers, this one included, or let go of the player.
                auto observers = weakObservers.lock();
                if (!observers) {
                    return;
                }
                if (auto it = observers->find(id); it != observers->end()) {
                    auto handler = it->second.handler;
                    handler();
                }
            }
        },
        Qt::QueuedConnection);
}

} // namespace drovane::desktop
