#include "desktop/render/software/SoftwareLayerNode.h"

#include "desktop/render/software/SoftwareCompositor.h"

#include <algorithm>
#include <cassert>

namespace drovane::desktop {

SoftwareLayerNode::~SoftwareLayerNode() {
    for (auto& sublayer : m_sublayers) {
        if (auto* node = dynamic_cast<SoftwareLayerNode*>(sublayer.get())) {
            node->m_superlayer = nullptr;
        }
    }
}

SoftwareLayerNode* SoftwareLayerNode::root() {
    SoftwareLayerNode* node = this;
    while (node->m_superlayer) {
        node = node->m_superlayer;
    }
    return node;
}

void SoftwareLayerNode::addSublayerNode(std::shared_ptr<Layer> sublayer) {
    auto* node = dynamic_cast<SoftwareLayerNode*>(sublayer.get());
    assert(node && "only layers of this backend go into its layer tree");
    if (!node || node == this) {
        return;
    }
    auto keep = sublayer;
    if (node->m_superlayer) {
        node->removeNodeFromSuperlayer();
    }
    node->m_superlayer = this;
    m_sublayers.push_back(std::move(sublayer));
    treeChanged();
}

void SoftwareLayerNode::removeNodeFromSuperlayer() {
    SoftwareLayerNode* superlayer = std::exchange(m_superlayer, nullptr);
    if (!superlayer) {
        return;
    }
    // Released last: this may be the final reference to the layer.
    std::shared_ptr<Layer> self;
    auto& siblings = superlayer->m_sublayers;
    auto it = std::find_if(siblings.begin(), siblings.end(), [this](const std::shared_ptr<Layer>& layer) {
        return dynamic_cast<SoftwareLayerNode*>(layer.get()) == this;
    });
    if (it != siblings.end()) {
        self = std::move(*it);
        siblings.erase(it);
    }
    // Out of the window: its frames no longer wake the window's compositor.
    std::vector<std::shared_ptr<LayerFeed>> detached;
    collect(Point{}, nullptr, detached);
    superlayer->treeChanged();
}

void SoftwareLayerNode::setNodeFrame(Rect frame) {
    const Size grown{frame.size.width - m_frame.size.width, frame.size.height - m_frame.size.height};
    m_frame = frame;
    // Width- and height-sizable sublayers keep their distance to this layer's size.
    for (auto& sublayer : m_sublayers) {
        auto* node = dynamic_cast<SoftwareLayerNode*>(sublayer.get());
        if (node && node->followsSuperlayerSize()) {
            Rect followed = node->m_frame;
            followed.size.width = std::max(0.0, followed.size.width + grown.width);
            followed.size.height = std::max(0.0, followed.size.height + grown.height);
            node->m_frame = followed;
        }
    }
    treeChanged();
}

void SoftwareLayerNode::treeChanged() {
    SoftwareLayerNode* top = root();
    auto compositor = top->rootCompositor();
    if (!compositor) {
        return;
    }
    std::vector<std::shared_ptr<LayerFeed>> feeds;
    for (auto& sublayer : top->m_sublayers) {
        if (auto* node = dynamic_cast<SoftwareLayerNode*>(sublayer.get())) {
            node->collect(top->m_frame.origin, compositor, feeds);
        }
    }
    compositor->setFeeds(std::move(feeds));
}

void SoftwareLayerNode::collect(Point origin, const std::shared_ptr<SoftwareCompositor>& compositor,
                                std::vector<std::shared_ptr<LayerFeed>>& feeds) {
    const Point here{origin.x + m_frame.origin.x, origin.y + m_frame.origin.y};
    if (auto own = feed()) {
        std::lock_guard lock(own->mutex);
        own->place = Rect{here, m_frame.size};
        own->compositor = compositor;
        feeds.push_back(own);
    }
    for (auto& sublayer : m_sublayers) {
        if (auto* node = dynamic_cast<SoftwareLayerNode*>(sublayer.get())) {
            node->collect(here, compositor, feeds);
        }
    }
}

} // namespace drovane::desktop
