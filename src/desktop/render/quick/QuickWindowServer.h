#pragma once

#include "desktop/render/DesktopWindowServer.h"

namespace drovane::desktop {

// Wallpaper windows on Qt Quick; window pictures taken from the scene graph.
class QuickWindowServer final : public DesktopWindowServer {
public:
    explicit QuickWindowServer(std::shared_ptr<QApplication> application,
                               std::shared_ptr<WindowOcclusion> occlusion = nullptr)
        : DesktopWindowServer(std::move(application), std::move(occlusion)) {}

protected:
    std::shared_ptr<DesktopWallpaperWindow>
    makeWindow(const std::shared_ptr<QApplication>& application, Rect frame,
               const std::shared_ptr<WindowOcclusion>& occlusion) override;
};

} // namespace drovane::desktop
