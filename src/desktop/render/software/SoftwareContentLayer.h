#pragma once

#include "desktop/render/software/SoftwareLayerNode.h"

#include <memory>

namespace drovane::desktop {

// The root layer of a software-drawn window; its tree goes to the window's compositor.
class SoftwareContentLayer final : public Layer, public SoftwareLayerNode {
public:
    explicit SoftwareContentLayer(std::weak_ptr<SoftwareCompositor> compositor)
        : m_compositor(std::move(compositor)) {}

    void addSublayer(std::shared_ptr<Layer> sublayer) override { addSublayerNode(std::move(sublayer)); }
    void removeFromSuperlayer() override {}
    void setFrame(Rect frame) override { setNodeFrame(frame); }

protected:
    std::shared_ptr<SoftwareCompositor> rootCompositor() const override { return m_compositor.lock(); }

private:
    std::weak_ptr<SoftwareCompositor> m_compositor;
};

} // namespace drovane::desktop
