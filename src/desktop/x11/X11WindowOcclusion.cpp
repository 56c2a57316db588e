#include "desktop/x11/X11WindowOcclusion.h"

#include "desktop/x11/X11OcclusionTracker.h"
#include "desktop/x11/XcbConnection.h"

#include <QWindow>

namespace drovane::desktop {

namespace {

std::uint32_t windowId(const QWindow& window) {
    return static_cast<std::uint32_t>(window.winId());
}

// The window's area in X root pixels (Qt's geometry is in device-independent pixels).
Rect nativeFrame(const QWindow& window) {
    const double ratio = window.devicePixelRatio();
    const QRect g = window.geometry();
    return Rect{{g.x() * ratio, g.y() * ratio}, {g.width() * ratio, g.height() * ratio}};
}

} // namespace

std::shared_ptr<X11WindowOcclusion> X11WindowOcclusion::open(const std::string& display) {
    auto connection = XcbConnection::open(display);
    if (!connection) {
        return nullptr;
    }
    return std::make_shared<X11WindowOcclusion>(std::move(connection));
}

X11WindowOcclusion::X11WindowOcclusion(std::shared_ptr<XcbConnection> connection)
    : m_connection(std::move(connection)), m_tracker(std::make_unique<X11OcclusionTracker>(m_connection)),
      m_watchers(std::make_shared<std::map<std::uint32_t, std::function<void()>>>()) {
    std::weak_ptr<std::map<std::uint32_t, std::function<void()>>> weakWatchers = m_watchers;
    m_tracker->onVisibilityChanged = [weakWatchers](std::uint32_t window, bool) {
        auto watchers = weakWatchers.lock();
        if (!watchers) {
            return;
        }
        auto it = watchers->find(window);
        if (it != watchers->end()) {
            auto changed = it->second;
            changed();
        }
    };
}

X11WindowOcclusion::~X11WindowOcclusion() = default;

bool X11WindowOcclusion::isVisible(const QWindow& window) const {
    return WindowOcclusion::isVisible(window) && m_tracker->isVisible(windowId(window));
}

bool X11WindowOcclusion::windowEvent(const QWindow& window) {
    if (window.isVisible()) {
        m_tracker->track(windowId(window), nativeFrame(window));
    } else {
        m_tracker->untrack(windowId(window));
    }
    return true;
}

Subscription X11WindowOcclusion::watch(const QWindow& window, std::function<void()> changed) {
    const std::uint32_t id = windowId(window);
    (*m_watchers)[id] = std::move(changed);
    // The watching window holds this occlusion, so it is still here when the watch ends.
    return Subscription([this, id] {
        m_watchers->erase(id);
        m_tracker->untrack(id);
    });
}

std::string X11WindowOcclusion::hidingProgram() const {
    return m_tracker->hidingProgram();
}

} // namespace drovane::desktop
