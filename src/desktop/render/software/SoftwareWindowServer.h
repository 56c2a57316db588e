#pragma once

#include "desktop/render/DesktopWindowServer.h"

namespace drovane::desktop {

// Wallpaper windows drawn on the CPU and shown through X11 shared memory, for machines whose
// OpenGL is software.
class SoftwareWindowServer final : public DesktopWindowServer {
public:
    explicit SoftwareWindowServer(std::shared_ptr<QApplication> application,
                                  std::shared_ptr<WindowOcclusion> occlusion = nullptr)
        : DesktopWindowServer(std::move(application), std::move(occlusion)) {}

protected:
    std::shared_ptr<DesktopWallpaperWindow>
    makeWindow(const std::shared_ptr<QApplication>& application, Rect frame,
               const std::shared_ptr<WindowOcclusion>& occlusion) override;
};

} // namespace drovane::desktop
