#pragma once

#include "desktop/render/software/LayerFeed.h"
#include "platform/Geometry.h"
#include "platform/Video.h"

#include <memory>
#include <vector>

namespace drovane::desktop {

class SoftwareCompositor;

// The layer tree of a software-drawn window: a sublayer paints above its earlier siblings and
// a superlayer keeps its sublayers alive until they are removed. Player layers follow their
// superlayer's size. Every change reaches the compositor of the window at the tree's root.
// Main thread.
class SoftwareLayerNode {
public:
    SoftwareLayerNode() = default;
    virtual ~SoftwareLayerNode();
    SoftwareLayerNode(const SoftwareLayerNode&) = delete;
    SoftwareLayerNode& operator=(const SoftwareLayerNode&) = delete;

    void addSublayerNode(std::shared_ptr<Layer> sublayer);
    void removeNodeFromSuperlayer();
    void setNodeFrame(Rect frame);

protected:
    // The feed this node draws with, if any.
    virtual std::shared_ptr<LayerFeed> feed() const { return nullptr; }
    virtual bool followsSuperlayerSize() const { return false; }
    // The compositor of the window whose root this node is; only a root has one.
    virtual std::shared_ptr<SoftwareCompositor> rootCompositor() const { return nullptr; }
    // Hands the tree's feeds, bottom first and placed in window coordinates, to the compositor.
    void treeChanged();

private:
    SoftwareLayerNode* root();
    void collect(Point origin, const std::shared_ptr<SoftwareCompositor>& compositor,
                 std::vector<std::shared_ptr<LayerFeed>>& feeds);

    Rect m_frame;
    SoftwareLayerNode* m_superlayer = nullptr;
    std::vector<std::shared_ptr<Layer>> m_sublayers;
};

} // namespace drovane::desktop
