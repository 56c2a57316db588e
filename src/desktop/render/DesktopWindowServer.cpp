#include "desktop/render/DesktopWindowServer.h"

#include "desktop/render/DesktopWallpaperWindow.h"
#include "desktop/x11/WindowOcclusion.h"

namespace drovane::desktop {

DesktopWindowServer::DesktopWindowServer(std::shared_ptr<QApplication> application,
                                         std::shared_ptr<WindowOcclusion> occlusion)
    : m_application(std::move(application)),
      m_occlusion(occlusion ? std::move(occlusion) : std::make_shared<WindowOcclusion>()),
      m_handlers(std::make_shared<ObserverList<const Window*>>()) {}

DesktopWindowServer::~DesktopWindowServer() = default;

std::shared_ptr<WallpaperWindow> DesktopWindowServer::makeWallpaperWindow(Rect frame) {
    auto window = makeWindow(m_application, frame, m_occlusion);
    std::weak_ptr<ObserverList<const Window*>> weakHandlers = m_handlers;
    const Window* sender = window.get();
    window->onOcclusionChanged = [weakHandlers, sender] {
        if (auto handlers = weakHandlers.lock()) {
            handlers->notify(sender);
        }
    };
    return window;
}

Subscription DesktopWindowServer::observeOcclusion(std::function<void(const Window* sender)> handler) {
    return m_handlers->add(std::move(handler));
}

std::string DesktopWindowServer::hidingProgram() const {
    return m_occlusion->hidingProgram();
}

} // namespace drovane::desktop
