#pragma once

#include "desktop/render/DesktopWindowServer.h"

#include <memory>

class QQuickWindow;

namespace drovane::desktop {

class QuickContentLayer;

// A wallpaper window as a QQuickWindow. Its content layer is the window's root item; its
// background is black where no film shows.
class QuickWallpaperWindow final : public DesktopWallpaperWindow {
public:
    QuickWallpaperWindow(std::shared_ptr<QApplication> application, Rect frame,
                         std::shared_ptr<WindowOcclusion> occlusion);
    ~QuickWallpaperWindow() override;

    bool snapshot(const std::string& path) override;
    std::shared_ptr<Layer> contentLayer() override;

    QQuickWindow& quickWindow() const;

private:
    class Window;

    std::shared_ptr<QuickContentLayer> m_content;
};

// Wallpaper windows on Qt Quick; window pictures taken from the scene graph.
using QuickWindowServer = WallpaperWindowServer<QuickWallpaperWindow>;

} // namespace drovane::desktop
