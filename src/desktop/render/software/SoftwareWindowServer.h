#pragma once

#include "platform/ObserverList.h"
#include "platform/WindowServer.h"

#include <memory>

class QApplication;

namespace drovane::desktop {

class WindowOcclusion;

// Wallpaper windows drawn on the CPU and shown through X11 shared memory, for machines whose
// OpenGL is software; their occlusion as WindowOcclusion reports it.
class SoftwareWindowServer final : public WindowServer {
public:
    explicit SoftwareWindowServer(std::shared_ptr<QApplication> application,
                                  std::shared_ptr<WindowOcclusion> occlusion = nullptr);
    ~SoftwareWindowServer() override;

    std::shared_ptr<WallpaperWindow> makeWallpaperWindow(Rect frame) override;
    Subscription observeOcclusion(std::function<void(const Window* sender)> handler) override;

private:
    std::shared_ptr<QApplication> m_application;
    std::shared_ptr<WindowOcclusion> m_occlusion;
    // Shared with the windows, which may outlive this server.
    std::shared_ptr<ObserverList<const Window*>> m_handlers;
};

} // namespace drovane::desktop
