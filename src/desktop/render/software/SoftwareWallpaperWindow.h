#pragma once

#include "desktop/render/DesktopWindowServer.h"

#include <memory>

namespace drovane::desktop {

class SoftwareCompositor;
class SoftwareContentLayer;

// A wallpaper window that Qt never paints: its pictures come from a SoftwareCompositor through
// X11 shared memory; black where no film shows.
class SoftwareWallpaperWindow final : public DesktopWallpaperWindow {
public:
    SoftwareWallpaperWindow(std::shared_ptr<QApplication> application, Rect frame,
                            std::shared_ptr<WindowOcclusion> occlusion);
    ~SoftwareWallpaperWindow() override;

    void setFrame(Rect frame) override;
    bool snapshot(const std::string& path) override;
    std::shared_ptr<Layer> contentLayer() override;

    // Pictures put on screen so far.
    long presentedFrames() const;

protected:
    bool paintedByQt() const override { return false; }

private:
    class Window;

    // Gives the content layer the window's logical size and the compositor its size in pixels.
    void followSize();

    std::shared_ptr<SoftwareCompositor> m_compositor;
    std::shared_ptr<SoftwareContentLayer> m_content;
};

// Wallpaper windows drawn on the CPU and shown through X11 shared memory, for machines whose
// OpenGL is software.
using SoftwareWindowServer = WallpaperWindowServer<SoftwareWallpaperWindow>;

} // namespace drovane::desktop
