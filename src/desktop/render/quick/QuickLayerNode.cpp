#include "desktop/render/quick/QuickLayerNode.h"

#include <algorithm>
#include <cassert>

namespace drovane::desktop {

QuickLayerNode::~QuickLayerNode() {
    for (auto& sublayer : m_sublayers) {
        if (auto* node = dynamic_cast<QuickLayerNode*>(sublayer.get())) {
            node->m_superlayer = nullptr;
        }
    }
}

void QuickLayerNode::addSublayerNode(std::shared_ptr<Layer> sublayer) {
    auto* node = dynamic_cast<QuickLayerNode*>(sublayer.get());
    assert(node && "only layers of this backend go into its layer tree");
    if (!node || node == this) {
        return;
    }
    if (node->m_superlayer) {
        // Keep it alive while it moves.
        auto keep = sublayer;
        node->removeNodeFromSuperlayer();
    }
    node->m_superlayer = this;
    m_sublayers.push_back(sublayer);
    if (node->m_item && m_item) {
        // A new child item goes last among its siblings, so it paints on top.
        node->m_item->setParentItem(m_item);
    }
    node->superlayerChanged(m_item);
}

void QuickLayerNode::removeNodeFromSuperlayer() {
    QuickLayerNode* superlayer = std::exchange(m_superlayer, nullptr);
    if (m_item) {
        m_item->setParentItem(nullptr);
    }
    superlayerChanged(nullptr);
    if (superlayer) {
        auto& siblings = superlayer->m_sublayers;
        // Released last: this may be the final reference to the layer.
        std::shared_ptr<Layer> self;
        auto it = std::find_if(siblings.begin(), siblings.end(), [this](const std::shared_ptr<Layer>& layer) {
            return dynamic_cast<QuickLayerNode*>(layer.get()) == this;
        });
        if (it != siblings.end()) {
            self = std::move(*it);
            siblings.erase(it);
        }
    }
}

void QuickLayerNode::setNodeFrame(Rect frame) {
    if (m_item) {
        m_item->setPosition(QPointF(frame.origin.x, frame.origin.y));
        m_item->setSize(QSizeF(frame.size.width, frame.size.height));
    }
}

} // namespace drovane::desktop
