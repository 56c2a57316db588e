#pragma once

#include "desktop/render/OpacityAnimation.h"
#include "desktop/render/quick/QuickLayerNode.h"
#include "platform/ObserverList.h"
#include "platform/Video.h"

#include <QMetaObject>
#include <atomic>
#include <map>
#include <memory>

class QQuickWindow;
class QVideoSink;

namespace drovane::desktop {

class QtPlayer;

// A player layer as a QtMultimedia VideoOutput item. It is ready for display once its first
// frame has gone through a rendered frame of its window (the frame was synchronised into the
// scene graph and the window's buffers swapped); until then it may be transparent, and once
// ready it shows a picture the moment its opacity rises. It follows its superlayer's size.
class QuickPlayerLayer final : public PlayerLayer,
                               public QuickLayerNode,
                               public std::enable_shared_from_this<QuickPlayerLayer> {
public:
    // `item` is a VideoOutput that this layer owns from now on.
    QuickPlayerLayer(QQuickItem* item, std::shared_ptr<QtPlayer> player, Rect frame, VideoGravity gravity);
    ~QuickPlayerLayer() override;

    // Connects the player to the item; separate from construction because it needs a weak self.
    void start();

    void addSublayer(std::shared_ptr<Layer> sublayer) override { addSublayerNode(std::move(sublayer)); }
    void removeFromSuperlayer() override { removeNodeFromSuperlayer(); }
    void setFrame(Rect frame) override { setNodeFrame(frame); }

    void setGravity(VideoGravity gravity) override;
    void detachPlayer() override;
    double opacity() const override;
    void setOpacity(double opacity) override;
    void animateOpacity(double target, double seconds, std::function<void()> completion) override;
    bool isReadyForDisplay() const override { return m_ready; }
    Subscription observeReadyForDisplay(std::function<void(bool ready)> handler) override;

private:
    void superlayerChanged(QQuickItem* parent) override;
    void frameArrived();
    void watchRendering();
    void stopWatchingRendering();
    void setReady(bool ready);

    std::unique_ptr<QObject> m_context;
    std::shared_ptr<QtPlayer> m_player;
    Subscription m_frames;
    QVideoSink* m_sink = nullptr;
    OpacityAnimation m_animation{[this](double opacity) {
        if (m_item) {
            m_item->setOpacity(opacity);
        }
    }};
    bool m_ready = false;
    bool m_frameSeen = false;
    // Set on the render thread once a synchronisation followed the first frame.
    std::shared_ptr<std::atomic<bool>> m_synced = std::make_shared<std::atomic<bool>>(false);
    QQuickWindow* m_watchedWindow = nullptr;
    QMetaObject::Connection m_frameConnection, m_syncConnection, m_swapConnection, m_windowConnection;
    QMetaObject::Connection m_parentWidth, m_parentHeight;
    QSizeF m_margins;
    ObserverList<bool> m_readyHandlers;
};

} // namespace drovane::desktop
