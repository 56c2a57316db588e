#include "desktop/render/quick/QuickWindowServer.h"

#include "desktop/render/quick/QuickWallpaperWindow.h"
#include "desktop/x11/WindowOcclusion.h"

namespace drovane::desktop {

QuickWindowServer::QuickWindowServer(std::shared_ptr<QApplication> application,
                                     std::shared_ptr<WindowOcclusion> occlusion)
    : m_application(std::move(application)),
      m_occlusion(occlusion ? std::move(occlusion) : std::make_shared<WindowOcclusion>()),
      m_handlers(std::make_shared<ObserverList<const Window*>>()) {}

QuickWindowServer::~QuickWindowServer() = default;

std::shared_ptr<WallpaperWindow> QuickWindowServer::makeWallpaperWindow(Rect frame) {
    auto window = std::make_shared<QuickWallpaperWindow>(m_application, frame, m_occlusion);
    std::weak_ptr<ObserverList<const Window*>> weakHandlers = m_handlers;
    QuickWallpaperWindow* sender = window.get();
    window->onOcclusionChanged = [weakHandlers, sender] {
        if (auto handlers = weakHandlers.lock()) {
            handlers->notify(sender);
        }
    };
    return window;
}

Subscription QuickWindowServer::observeOcclusion(std::function<void(const Window* sender)> handler) {
    return m_handlers->add(std::move(handler));
}

} // namespace drovane::desktop
