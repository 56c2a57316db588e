#include "desktop/render/software/SoftwarePlayerLayer.h"

#include "desktop/media/QtPlayer.h"
#include "desktop/render/software/SoftwareCompositor.h"

#include <QCoreApplication>
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
    : m_player(std::move(player)) {
    m_feed->gravity = gravity;
    setNodeFrame(frame);
}

SoftwarePlayerLayer::~SoftwarePlayerLayer() {
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

void SoftwarePlayerLayer::setOpacity(double opacity) {
    m_animation.interrupt();
    showOpacity(opacity);
}

void SoftwarePlayerLayer::animateOpacity(double target, double seconds, std::function<void()> completion) {
    m_animation.run(m_opacity, target, seconds, std::move(completion));
}

} // namespace drovane::desktop
