#pragma once

#include "platform/ObserverList.h"
#include "platform/WindowServer.h"

#include <map>
#include <memory>
#include <vector>

class QApplication;

namespace drovane::desktop {

class QuickWallpaperWindow;
class WindowOcclusion;

// Wallpaper windows on Qt Quick, their occlusion as WindowOcclusion reports it, and window
// pictures taken from the scene graph.
class QuickWindowServer final : public WindowServer {
public:
    explicit QuickWindowServer(std::shared_ptr<QApplication> application,
                               std::shared_ptr<WindowOcclusion> occlusion = nullptr);
    ~QuickWindowServer() override;

    std::shared_ptr<WallpaperWindow> makeWallpaperWindow(Rect frame) override;
    Subscription observeOcclusion(std::function<void(const Window* sender)> handler) override;

private:
    std::shared_ptr<QApplication> m_application;
    std::shared_ptr<WindowOcclusion> m_occlusion;
    // Shared with the windows, which may outlive this server.
    std::shared_ptr<ObserverList<const Window*>> m_handlers;
};

} // namespace drovane::desktop
