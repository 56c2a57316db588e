#pragma once

#include "desktop/render/OpacityAnimation.h"
#include "desktop/render/software/LayerFeed.h"
#include "desktop/render/software/SoftwareLayerNode.h"
#include "platform/ObserverList.h"
#include "platform/Video.h"

#include <memory>

namespace drovane::desktop {

class QtPlayer;

// A player layer drawn by its window's SoftwareCompositor. Its player's frames go from the
// decoding thread straight to the compositor. It is ready for display once its window's
// compositor holds a frame of it that it can draw, so that a picture shows the moment its
// opacity rises. Main thread.
class SoftwarePlayerLayer final : public PlayerLayer,
                                  public SoftwareLayerNode,
                                  public std::enable_shared_from_this<SoftwarePlayerLayer> {
public:
    SoftwarePlayerLayer(std::shared_ptr<QtPlayer> player, Rect frame, VideoGravity gravity);
    ~SoftwarePlayerLayer() override;

    // Connects the player; separate from construction because it needs a weak self.
    void start();

    void addSublayer(std::shared_ptr<Layer> sublayer) override { addSublayerNode(std::move(sublayer)); }
    void removeFromSuperlayer() override { removeNodeFromSuperlayer(); }
    void setFrame(Rect frame) override { setNodeFrame(frame); }

    void setGravity(VideoGravity gravity) override;
    void detachPlayer() override;
    double opacity() const override { return m_opacity; }
    void setOpacity(double opacity) override;
    void animateOpacity(double target, double seconds, std::function<void()> completion) override;
    bool isReadyForDisplay() const override { return m_ready; }
    Subscription observeReadyForDisplay(std::function<void(bool ready)> handler) override;

protected:
    std::shared_ptr<LayerFeed> feed() const override { return m_feed; }
    bool followsSuperlayerSize() const override { return true; }

private:
    void showOpacity(double opacity);
    void setReady(bool ready);

    std::shared_ptr<QtPlayer> m_player;
    std::shared_ptr<LayerFeed> m_feed = std::make_shared<LayerFeed>();
    Subscription m_frames;
    double m_opacity = 1.0;
    OpacityAnimation m_animation{[this](double opacity) { showOpacity(opacity); }};
    bool m_ready = false;
    ObserverList<bool> m_readyHandlers;
};

} // namespace drovane::desktop
