#include "desktop/render/software/SoftwarePlayerLayer.h"

#include "desktop/media/QtPlayer.h"
#include "desktop/render/software/SoftwareCompositor.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>

namespace drovane::desktop {

namespace {

void wake(LayerFeed& feed) {
    std::shared_ptr<SoftwareCompositor> compositor;
    {
        std::lock_guard lock(feed.mutex);
        compositor = feed.compositor.lock();
    }
    if (compositor) {
        compositor->update();
    }
}

} // namespace

SoftwarePlayerLayer::SoftwarePlayerLayer(std::shared_ptr<QtPlayer> player, Rect frame, VideoGravity gravity)
    : m_player(std::move(player)), m_context(std::make_unique<QObject>()) {
    m_feed->gravity = gravity;
    setNodeFrame(frame);
}

SoftwarePlayerLayer::~SoftwarePlayerLayer() {
    m_context.reset();
    // After this no frame reaches the feed; the compositor may still hold it a moment.
    m_frames.reset();
    std::lock_guard lock(m_feed->mutex);
    m_feed->onShown = nullptr;
}

void SoftwarePlayerLayer::start() {
    std::weak_ptr<SoftwarePlayerLayer> weakSelf = weak_from_this();
    m_feed->onShown = [weakSelf] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weakSelf] {
                if (auto self = weakSelf.lock(); self && self->m_player) {
                    self->setReady(true);
                }
            },
            Qt::QueuedConnection);
    };
    if (!m_player) {
        return;
    }
    // On the decoding thread: keep the frame and wake the compositor, nothing more.
    std::weak_ptr<LayerFeed> weakFeed = m_feed;
    m_frames = m_player->observeFrames([weakFeed](const QVideoFrame& frame) {
        auto feed = weakFeed.lock();
        if (!feed || !frame.isValid()) {
            return;
        }
        std::shared_ptr<SoftwareCompositor> compositor;
        {
            std::lock_guard lock(feed->mutex);
            feed->frame = frame;
            ++feed->serial;
            compositor = feed->compositor.lock();
        }
        if (compositor) {
            compositor->update();
        }
    });
}

void SoftwarePlayerLayer::setGravity(VideoGravity gravity) {
    {
        std::lock_guard lock(m_feed->mutex);
        m_feed->gravity = gravity;
    }
    wake(*m_feed);
}

void SoftwarePlayerLayer::detachPlayer() {
    if (!m_player) {
        return;
    }
    m_frames.reset();
    m_player.reset();
    {
        std::lock_guard lock(m_feed->mutex);
        m_feed->frame = QVideoFrame();
        m_feed->shown = false;
    }
    wake(*m_feed);
    setReady(false);
}

void SoftwarePlayerLayer::setReady(bool ready) {
    if (m_ready == ready) {
        return;
    }
    m_ready = ready;
    m_readyHandlers.notify(ready);
}

Subscription SoftwarePlayerLayer::observeReadyForDisplay(std::function<void(bool ready)> handler) {
    return m_readyHandlers.add(std::move(handler));
}

void SoftwarePlayerLayer::showOpacity(double opacity) {
    m_opacity = std::clamp(opacity, 0.0, 1.0);
    {
        std::lock_guard lock(m_feed->mutex);
        m_feed->opacity = m_opacity;
    }
    wake(*m_feed);
}

void SoftwarePlayerLayer::interruptAnimation() {
    if (m_animation) {
        m_animation->stop();
    }
    // A replaced animation has ended too; its completion still runs, as a transaction's would.
    if (auto completion = std::exchange(m_animationCompletion, nullptr)) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(completion), Qt::QueuedConnection);
    }
}

void SoftwarePlayerLayer::setOpacity(double opacity) {
    interruptAnimation();
    showOpacity(opacity);
}

void SoftwarePlayerLayer::animateOpacity(double target, double seconds, std::function<void()> completion) {
    interruptAnimation();
    if (!(seconds > 0)) {
        showOpacity(target);
        if (completion) {
            QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(completion),
                                      Qt::QueuedConnection);
        }
        return;
    }
    if (!m_animation) {
        m_animation = new QTimer(m_context.get());
        m_animation->setTimerType(Qt::PreciseTimer);
        m_animation->setInterval(16);
        QObject::connect(m_animation, &QTimer::timeout, m_context.get(), [this] { stepAnimation(); });
    }
    m_animationCompletion = std::move(completion);
    m_animationFrom = m_opacity;
    m_animationTo = target;
    m_animationSeconds = seconds;
    m_animationClock.start();
    m_animation->start();
}

void SoftwarePlayerLayer::stepAnimation() {
    const double t = std::min(1.0, m_animationClock.nsecsElapsed() / 1e9 / m_animationSeconds);
    showOpacity(m_animationFrom + (m_animationTo - m_animationFrom) * t);
    if (t >= 1.0) {
        m_animation->stop();
        if (auto finished = std::exchange(m_animationCompletion, nullptr)) {
            finished();
        }
    }
}

} // namespace drovane::desktop
