#include "desktop/render/quick/QuickWindowServer.h"

#include "desktop/render/quick/QuickWallpaperWindow.h"

namespace drovane::desktop {

std::shared_ptr<DesktopWallpaperWindow>
QuickWindowServer::makeWindow(const std::shared_ptr<QApplication>& application, Rect frame,
                              const std::shared_ptr<WindowOcclusion>& occlusion) {
    return std::make_shared<QuickWallpaperWindow>(application, frame, occlusion);
}

} // namespace drovane::desktop
