#include "desktop/render/quick/QuickPlayerLayer.h"

#include "desktop/media/QtPlayer.h"

#include <QCoreApplication>
#include <QQuickWindow>
#include <QVideoFrame>
#include <QVideoSink>

namespace drovane::desktop {

namespace {

// VideoOutput.fillMode: Stretch, PreserveAspectFit, PreserveAspectCrop.
int fillMode(VideoGravity gravity) {
    return gravity == VideoGravity::Resize ? 0 : 2;
}

} // namespace

QuickPlayerLayer::QuickPlayerLayer(QQuickItem* item, std::shared_ptr<QtPlayer> player, Rect frame,
                                   VideoGravity gravity)
    : QuickLayerNode(item), m_context(std::make_unique<QObject>()), m_player(std::move(player)) {
    setNodeFrame(frame);
    setGravity(gravity);
    QMetaObject::invokeMethod(item, "videoSink", Qt::DirectConnection, Q_RETURN_ARG(QVideoSink*, m_sink));
}

QuickPlayerLayer::~QuickPlayerLayer() {
    stopWatchingRendering();
    QObject::disconnect(m_frameConnection);
    QObject::disconnect(m_windowConnection);
    QObject::disconnect(m_parentWidth);
    QObject::disconnect(m_parentHeight);
    m_context.reset();
    // No frame reaches the item once the subscription is gone, so it can go right after.
    m_frames.reset();
    m_player.reset();
    if (QQuickItem* item = m_item.data()) {
        item->setParentItem(nullptr);
        item->deleteLater();
    }
}

void QuickPlayerLayer::start() {
    if (!m_item || !m_sink) {
        return;
    }
    std::weak_ptr<QuickPlayerLayer> weakSelf = weak_from_this();
    // Queued behind the VideoOutput's own connection, so the item holds the frame when this runs.
    m_frameConnection = QObject::connect(
        m_sink, &QVideoSink::videoFrameChanged, m_context.get(),
        [weakSelf](const QVideoFrame& frame) {
            if (auto self = weakSelf.lock(); self && frame.isValid()) {
                self->frameArrived();
            }
        },
        Qt::QueuedConnection);
    m_windowConnection = QObject::connect(m_item, &QQuickItem::windowChanged, m_context.get(), [weakSelf] {
        auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        if (self->m_frameSeen && !self->m_ready) {
            self->watchRendering();
        }
    });
    if (m_player) {
        QVideoSink* sink = m_sink;
        m_frames = m_player->observeFrames([sink](const QVideoFrame& frame) { sink->setVideoFrame(frame); });
    }
}

void QuickPlayerLayer::frameArrived() {
    if (m_frameSeen) {
        return;
    }
    m_frameSeen = true;
    // Every later frame would cost a queued call for nothing.
    QObject::disconnect(m_frameConnection);
    watchRendering();
}

void QuickPlayerLayer::watchRendering() {
    QQuickWindow* window = m_item ? m_item->window() : nullptr;
    if (window == m_watchedWindow) {
        return;
    }
    stopWatchingRendering();
    if (!window) {
        return;
    }
    m_watchedWindow = window;
    m_synced->store(false);
    auto synced = m_synced;
    std::weak_ptr<QuickPlayerLayer> weakSelf = weak_from_this();
    // Both run on the render thread; they only set a flag and post to the main thread.
    m_syncConnection = QObject::connect(
        window, &QQuickWindow::afterSynchronizing, window, [synced] { synced->store(true); },
        Qt::DirectConnection);
    m_swapConnection = QObject::connect(
        window, &QQuickWindow::frameSwapped, window,
        [synced, weakSelf] {
            if (!synced->load()) {
                return;
            }
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [weakSelf] {
                    if (auto self = weakSelf.lock()) {
                        self->stopWatchingRendering();
                        self->setReady(true);
                    }
                },
                Qt::QueuedConnection);
        },
        Qt::DirectConnection);
    window->update();
}

void QuickPlayerLayer::stopWatchingRendering() {
    QObject::disconnect(m_syncConnection);
    QObject::disconnect(m_swapConnection);
    m_watchedWindow = nullptr;
}

void QuickPlayerLayer::setReady(bool ready) {
    if (m_ready == ready) {
        return;
    }
    m_ready = ready;
    m_readyHandlers.notify(ready);
}

Subscription QuickPlayerLayer::observeReadyForDisplay(std::function<void(bool ready)> handler) {
    return m_readyHandlers.add(std::move(handler));
}

void QuickPlayerLayer::superlayerChanged(QQuickItem* parent) {
    QObject::disconnect(m_parentWidth);
    QObject::disconnect(m_parentHeight);
    if (!parent || !m_item) {
        return;
    }
    // Width- and height-sizable: the distance to the superlayer's size is kept.
    m_margins = QSizeF(parent->width() - m_item->width(), parent->height() - m_item->height());
    auto follow = [this, parent] {
        if (m_item) {
            m_item->setSize(QSizeF(std::max(0.0, parent->width() - m_margins.width()),
                                   std::max(0.0, parent->height() - m_margins.height())));
        }
    };
    m_parentWidth = QObject::connect(parent, &QQuickItem::widthChanged, m_context.get(), follow);
    m_parentHeight = QObject::connect(parent, &QQuickItem::heightChanged, m_context.get(), follow);
}

void QuickPlayerLayer::setGravity(VideoGravity gravity) {
    if (m_item) {
        m_item->setProperty("fillMode", fillMode(gravity));
    }
}

void QuickPlayerLayer::detachPlayer() {
    if (!m_player) {
        return;
    }
    QObject::disconnect(m_frameConnection);
    QObject::disconnect(m_windowConnection);
    QObject::disconnect(m_parentWidth);
    QObject::disconnect(m_parentHeight);
    m_frames.reset();
    m_player.reset();
    // Nothing shows any more; the item stays, empty, until the layer goes.
    if (m_item) {
        m_item->setVisible(false);
    }
    stopWatchingRendering();
    setReady(false);
}

double QuickPlayerLayer::opacity() const {
    return m_item ? m_item->opacity() : 0.0;
}

void QuickPlayerLayer::setOpacity(double opacity) {
    m_animation.interrupt();
    if (m_item) {
        m_item->setOpacity(opacity);
    }
}

void QuickPlayerLayer::animateOpacity(double target, double seconds, std::function<void()> completion) {
    // Without an item there is nothing to move; the completion still comes.
    m_animation.run(opacity(), target, m_item ? seconds : 0, std::move(completion));
}

} // namespace drovane::desktop
