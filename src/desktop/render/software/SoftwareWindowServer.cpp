#include "desktop/render/software/SoftwareWindowServer.h"

#include "desktop/render/software/SoftwareWallpaperWindow.h"
#include "desktop/x11/WindowOcclusion.h"

namespace drovane::desktop {

SoftwareWindowServer::SoftwareWindowServer(std::shared_ptr<QApplication> application,
                                           std::shared_ptr<WindowOcclusion> occlusion)
    : m_application(std::move(application)),
      m_occlusion(occlusion ? std::move(occlusion) : std::make_shared<WindowOcclusion>()),
      m_handlers(std::make_shared<ObserverList<const Window*>>()) {}

SoftwareWindowServer::~SoftwareWindowServer() = default;

std::shared_ptr<WallpaperWindow> SoftwareWindowServer::makeWallpaperWindow(Rect frame) {
    auto window = std::make_shared<SoftwareWallpaperWindow>(m_application, frame, m_occlusion);
    std::weak_ptr<ObserverList<const Window*>> weakHandlers = m_handlers;
    SoftwareWallpaperWindow* sender = window.get();
    window->onOcclusionChanged = [weakHandlers, sender] {
        if (auto handlers = weakHandlers.lock()) {
            handlers->notify(sender);
        }
    };
    return window;
}

Subscription SoftwareWindowServer::observeOcclusion(std::function<void(const Window* sender)> handler) {
    return m_handlers->add(std::move(handler));
}

} // namespace drovane::desktop
