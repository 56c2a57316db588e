#pragma once

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
    using Handlers = std::map<int, std::function<void(const Window*)>>;

    std::shared_ptr<QApplication> m_application;
    std::shared_ptr<WindowOcclusion> m_occlusion;
    std::shared_ptr<Handlers> m_handlers;
    int m_nextHandler = 0;
};

} // namespace drovane::desktop
