#pragma once

#include "platform/Geometry.h"
#include "platform/Video.h"

#include <QPointer>
#include <QQuickItem>
#include <memory>
#include <vector>

namespace drovane::desktop {

// The layer tree on Qt Quick items: a layer is an item; a sublayer is a child item stacked
// above its earlier siblings. A superlayer keeps its sublayers alive until they are removed.
class QuickLayerNode {
public:
    explicit QuickLayerNode(QQuickItem* item) : m_item(item) {}
    virtual ~QuickLayerNode();
    QuickLayerNode(const QuickLayerNode&) = delete;
    QuickLayerNode& operator=(const QuickLayerNode&) = delete;

    QQuickItem* item() const { return m_item; }

    void addSublayerNode(std::shared_ptr<Layer> sublayer);
    void removeNodeFromSuperlayer();
    void setNodeFrame(Rect frame);

protected:
    // Called after the node got a superlayer (or lost it, with null).
    virtual void superlayerChanged(QQuickItem* /*parent*/) {}

    QPointer<QQuickItem> m_item;

private:
    QuickLayerNode* m_superlayer = nullptr;
    std::vector<std::shared_ptr<Layer>> m_sublayers;
};

// The plain layer of a window's root item.
class QuickContentLayer final : public Layer, public QuickLayerNode {
public:
    explicit QuickContentLayer(QQuickItem* item) : QuickLayerNode(item) {}

    void addSublayer(std::shared_ptr<Layer> sublayer) override { addSublayerNode(std::move(sublayer)); }
    void removeFromSuperlayer() override { removeNodeFromSuperlayer(); }
    void setFrame(Rect frame) override { setNodeFrame(frame); }
};

} // namespace drovane::desktop
