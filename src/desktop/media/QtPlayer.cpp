#include "desktop/media/QtPlayer.h"

#include "desktop/media/SharedDecoder.h"

#include <QCoreApplication>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <utility>

namespace drovane::desktop {

namespace {

QUrl qtUrl(const Url& url) {
    if (auto path = url.filePath()) {
        return QUrl::fromLocalFile(QString::fromStdString(*path));
    }
    return QUrl(QString::fromStdString(url.string()));
}

} // namespace

QtPlayer::QtPlayer(const Url& file, double /*forwardBufferSeconds*/, std::shared_ptr<Log> log)
    : m_decoder(SharedDecoder::join(qtUrl(file), log)), m_context(std::make_unique<QObject>()),
      m_observers(std::make_shared<std::map<int, Observer>>()) {
    m_boundaryTimer = new QTimer(m_context.get());
    m_boundaryTimer->setSingleShot(true);
    m_boundaryTimer->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_boundaryTimer, &QTimer::timeout, m_context.get(), [this] { checkBoundaries(); });
    m_decoder->addMember(*this);
    if (m_decoder->rate() > 0) {
        // Joined a decoder about to play: this one waits at the start until it plays too.
        standStill();
    }
    m_duration = m_decoder->duration();
    if (m_decoder->hasFailed()) {
        fail(m_decoder->failure());
    }
}

QtPlayer::~QtPlayer() {
    m_decoder->removeMember(*this);
    m_context.reset();
    // Duration requests still waiting learn that nothing will come.
    for (auto& waiter : m_durationWaiters) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [waiter = std::move(waiter)] { waiter(std::nullopt); },
            Qt::QueuedConnection);
    }
}

void QtPlayer::fail(const std::string& reason) {
    if (m_failed) {
        return;
    }
    m_failed = true;
    m_failure = reason;
    m_rate = 0;
    m_boundaryTimer->stop();
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

Subscription QtPlayer::observeFrames(FrameReceiver receiver) {
    return m_decoder->observeFrames(*this, std::move(receiver));
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
    if (!m_following) {
        // Back to the shared position; the times passed meanwhile count as crossed.
        m_following = true;
        m_decoder->setFollowing(*this, true);
        if (m_decoder->isAtEnd()) {
            reachedEnd();
            return;
        }
    }
    m_rate = rate;
    m_decoder->play(*this, rate);
    checkBoundaries();
}

void QtPlayer::pause() {
    m_rate = 0;
    m_boundaryTimer->stop();
    if (m_following) {
        m_decoder->pauseFor(*this);
    }
    checkBoundaries();
}

void QtPlayer::standStill() {
    m_stoodAt = m_decoder->position();
    m_following = false;
    m_decoder->setFollowing(*this, false);
    m_boundaryTimer->stop();
}

double QtPlayer::currentTime() const {
    return m_following ? m_decoder->position() : m_stoodAt;
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

void QtPlayer::checkBoundaries() {
    const double position = currentTime();
    if (position + 0.001 < m_lastChecked) {
        // Moved backwards: nothing was crossed going forward.
        m_lastChecked = position;
    } else if (position > m_lastChecked) {
        crossBoundariesUpTo(position);
    }
    if (m_duration && !m_atEnd && m_following && m_rate > 0 && position >= *m_duration - kEndGuardSeconds) {
        m_decoder->stopAtEnd();
        return;
    }
    armBoundaryTimer(position);
}

void QtPlayer::armBoundaryTimer(double position) {
    if (!(m_rate > 0) || m_atEnd || !m_following || !m_decoder->isPlaying()) {
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

void QtPlayer::reachedEnd() {
    if (m_atEnd) {
        return;
    }
    m_atEnd = true;
    m_rate = 0;
    m_boundaryTimer->stop();
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
