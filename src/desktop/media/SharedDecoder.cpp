#include "desktop/media/SharedDecoder.h"

#include "desktop/media/PipelineTuning.h"
#include "desktop/media/QtPlayer.h"
#include "platform/Log.h"

#include <QCoreApplication>
#include <QMediaPlayer>
#include <QTimer>
#include <QVideoSink>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <malloc.h>

namespace drovane::desktop {

namespace {

// How often a playing decoder checks that it advances.
constexpr int kWatchdogMilliseconds = 1000;
// Checks in a row without progress before the decoder is restarted.
constexpr int kStalledChecksBeforeRecovery = 2;
// Streaming errors a decoder recovers from by loading its film again, before it gives up.
constexpr int kMaxRecoveries = 3;
// Restarts in a row that did not make a decoder advance, before it gives up: a film cut after its
// header loads and "plays" without a length or a picture.
constexpr int kMaxFruitlessRestarts = 3;

// Every decoder alive, for new players to join. Main thread.
std::vector<std::weak_ptr<SharedDecoder>>& decoders() {
    static std::vector<std::weak_ptr<SharedDecoder>> all;
    return all;
}

// The pipeline's bounds are in place before its first element is made.
std::unique_ptr<QMediaPlayer> tunedPlayer() {
    tunePlaybackPipelines();
    return std::make_unique<QMediaPlayer>();
}

} // namespace

std::shared_ptr<SharedDecoder> SharedDecoder::join(const QUrl& url, const std::shared_ptr<Log>& log) {
    auto& all = decoders();
    std::erase_if(all, [](const auto& weak) { return weak.expired(); });
    for (const auto& weak : all) {
        if (auto decoder = weak.lock(); decoder && decoder->m_url == url && decoder->canBeJoined()) {
            return decoder;
        }
    }
    auto decoder = std::make_shared<SharedDecoder>(url, log);
    all.push_back(decoder);
    return decoder;
}

SharedDecoder::SharedDecoder(const QUrl& url, std::shared_ptr<Log> log)
    : m_url(url), m_log(std::move(log)), m_context(std::make_unique<QObject>()), m_player(tunedPlayer()),
      m_sink(std::make_unique<QVideoSink>()) {
    QObject* context = m_context.get();
    m_watchdog = new QTimer(context);
    m_watchdog->setInterval(kWatchdogMilliseconds);
    QObject::connect(m_watchdog, &QTimer::timeout, context, [this] { checkProgress(); });

    QMediaPlayer* player = m_player.get();
    QObject::connect(player, &QMediaPlayer::mediaStatusChanged, context, [this] { mediaStatusChanged(); });
    QObject::connect(player, &QMediaPlayer::playbackStateChanged, context,
                     [this] { playbackStateChanged(); });
    QObject::connect(player, &QMediaPlayer::durationChanged, context, [this] { mediaStatusChanged(); });
    QObject::connect(player, &QMediaPlayer::positionChanged, context, [this] { moved(); });
    QObject::connect(player, &QMediaPlayer::errorOccurred, context, [this] { errorOccurred(); });

    // Frames go to a sink of the decoder's own, which never learns a graphics context, and are
    // passed on to whichever renderers show them. Qt 6.4 rebuilds a GStreamer sink when it
    // learns one: inside a running pipeline that leaves the demuxer's pad unlinked for a moment,
    // which stops the stream for good ("Internal data stream error"), and the rebuilt OpenGL
    // path keeps delivering frames, and the window redrawing, while the player is paused.
    auto fanout = m_fanout;
    QObject::connect(
        m_sink.get(), &QVideoSink::videoFrameChanged, m_sink.get(),
        [fanout](const QVideoFrame& frame) {
            std::lock_guard lock(fanout->mutex);
            fanout->last = frame;
            for (auto& [key, member] : fanout->members) {
                if (member.following || !member.last.isValid()) {
                    member.last = frame;
                    for (auto& [id, receiver] : member.receivers) {
                        receiver(frame);
                    }
                }
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

SharedDecoder::~SharedDecoder() {
    QObject::disconnect(m_player.get(), nullptr, m_context.get(), nullptr);
    m_context.reset();
    // The pipeline first, then the sink it drew into.
    m_player.reset();
    {
        std::lock_guard lock(m_fanout->mutex);
        m_fanout->members.clear();
        m_fanout->last = QVideoFrame();
    }
    m_sink.reset();
    // A pipeline's threads leave many small freed blocks in the heap's arenas: their pages go
    // back once it has wound down, so that a day of loops does not keep them.
    if (QCoreApplication* application = QCoreApplication::instance()) {
        QTimer::singleShot(500, application, [] { malloc_trim(0); });
    }
}

bool SharedDecoder::canBeJoined() const {
    // Still at the start, though perhaps told to play: the screens of one film start together
    // even when each starts its own as soon as it is made.
    return !m_atEnd && !m_failed && !m_reloading && m_player->position() == 0;
}

void SharedDecoder::addMember(QtPlayer& member) {
    m_members.push_back(&member);
    std::lock_guard lock(m_fanout->mutex);
    m_fanout->members[&member].last = m_fanout->last;
}

void SharedDecoder::removeMember(QtPlayer& member) {
    std::erase(m_members, &member);
    {
        std::lock_guard lock(m_fanout->mutex);
        m_fanout->members.erase(&member);
    }
    // Nobody watches a decoder whose players are gone.
    if (m_rate > 0 && followers().empty()) {
        m_rate = 0;
        m_watchdog->stop();
        m_player->pause();
    }
}

void SharedDecoder::setFollowing(const QtPlayer& member, bool following) {
    std::lock_guard lock(m_fanout->mutex);
    if (auto it = m_fanout->members.find(&member); it != m_fanout->members.end()) {
        it->second.following = following;
    }
}

Subscription SharedDecoder::observeFrames(const QtPlayer& member, FrameReceiver receiver) {
    std::lock_guard lock(m_fanout->mutex);
    auto it = m_fanout->members.find(&member);
    if (it == m_fanout->members.end()) {
        return {};
    }
    if (it->second.last.isValid()) {
        receiver(it->second.last);
    }
    const int id = m_fanout->nextReceiver++;
    it->second.receivers.emplace(id, std::move(receiver));
    std::weak_ptr<Fanout> weakFanout = m_fanout;
    const QtPlayer* key = &member;
    return Subscription([weakFanout, key, id] {
        if (auto fanout = weakFanout.lock()) {
            std::lock_guard held(fanout->mutex);
            if (auto found = fanout->members.find(key); found != fanout->members.end()) {
                found->second.receivers.erase(id);
            }
        }
    });
}

std::vector<QtPlayer*> SharedDecoder::followers() const {
    std::vector<QtPlayer*> following;
    for (QtPlayer* member : m_members) {
        if (member->m_following) {
            following.push_back(member);
        }
    }
    return following;
}

void SharedDecoder::play(const QtPlayer& by, double rate) {
    if (m_atEnd || m_failed) {
        return;
    }
    for (QtPlayer* member : followers()) {
        if (member != &by && !(member->m_rate > 0)) {
            member->standStill();
        }
    }
    m_rate = rate;
    applyRate();
}

void SharedDecoder::pauseFor(QtPlayer& by) {
    for (QtPlayer* member : followers()) {
        if (member != &by && member->m_rate > 0) {
            by.standStill();
            return;
        }
    }
    m_rate = 0;
    m_watchdog->stop();
    if (m_player->playbackState() == QMediaPlayer::PlayingState) {
        m_player->pause();
    }
}

void SharedDecoder::stopAtEnd() {
    if (m_atEnd) {
        return;
    }
    m_atEnd = true;
    m_rate = 0;
    m_watchdog->stop();
    if (m_player->playbackState() == QMediaPlayer::PlayingState) {
        m_player->pause();
    }
    for (QtPlayer* member : followers()) {
        member->reachedEnd();
    }
}

double SharedDecoder::position() const {
    return static_cast<double>(m_player->position()) / 1000.0;
}

bool SharedDecoder::isPlaying() const {
    return m_player->playbackState() == QMediaPlayer::PlayingState;
}

bool SharedDecoder::isLoaded() const {
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

void SharedDecoder::fail(const std::string& reason) {
    if (m_failed) {
        return;
    }
    m_failed = true;
    m_failure = reason;
    m_rate = 0;
    m_watchdog->stop();
    if (m_player->playbackState() == QMediaPlayer::PlayingState) {
        m_player->pause();
    }
    for (QtPlayer* member : std::vector(m_members)) {
        member->fail(reason);
    }
}

void SharedDecoder::errorOccurred() {
    streamingFailed(m_player->errorString().toStdString());
}

void SharedDecoder::streamingFailed(const std::string& reason) {
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

void SharedDecoder::reload() {
    m_reloading = false;
    if (m_failed) {
        return;
    }
    m_resumeAt = position();
    m_rateApplied = false;
    m_player->setSource(QUrl());
    m_player->setSource(m_url);
}

void SharedDecoder::mediaStatusChanged() {
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
        m_duration = static_cast<double>(m_player->duration()) / 1000.0;
        for (QtPlayer* member : std::vector(m_members)) {
            member->finishDuration(m_duration);
        }
    }
    if (isLoaded() && m_resumeAt) {
        m_player->setPosition(static_cast<qint64>(*std::exchange(m_resumeAt, std::nullopt) * 1000.0));
    }
    applyRate();
    moved();
}

void SharedDecoder::playbackStateChanged() {
    if (m_player->playbackState() == QMediaPlayer::PlayingState &&
        m_player->mediaStatus() == QMediaPlayer::BufferedMedia) {
        // A resume of buffered media: the backend may have dropped the rate while paused.
        forceRate();
    }
    moved();
}

void SharedDecoder::moved() {
    for (QtPlayer* member : followers()) {
        member->checkBoundaries();
    }
}

void SharedDecoder::forceRate() {
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

void SharedDecoder::applyRate() {
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
}

void SharedDecoder::checkProgress() {
    if (!(m_rate > 0) || m_atEnd || m_failed) {
        m_watchdog->stop();
        return;
    }
    if (!isLoaded()) {
        // Still loading: nothing to measure yet.
        m_lastProgressPosition = -1;
        return;
    }
    const double now = position();
    if (m_lastProgressPosition >= 0 && std::abs(now - m_lastProgressPosition) < 0.001) {
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
            m_player->setPosition(static_cast<qint64>(now * 1000.0));
            m_player->play();
        }
    } else {
        m_stalledChecks = 0;
        if (m_lastProgressPosition >= 0) {
            m_fruitlessRestarts = 0;
        }
    }
    m_lastProgressPosition = now;
}

} // namespace drovane::desktop
