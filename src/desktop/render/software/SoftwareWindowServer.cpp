#include "desktop/render/software/SoftwareWindowServer.h"

#include "desktop/render/software/SoftwareWallpaperWindow.h"

namespace drovane::desktop {

std::shared_ptr<DesktopWallpaperWindow>
SoftwareWindowServer::makeWindow(const std::shared_ptr<QApplication>& application, Rect frame,
                                 const std::shared_ptr<WindowOcclusion>& occlusion) {
    return std::make_shared<SoftwareWallpaperWindow>(application, frame, occlusion);
}

} // namespace drovane::desktop
