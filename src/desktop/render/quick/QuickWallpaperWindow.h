#pragma once

#include "platform/WindowServer.h"

#include <functional>
#include <memory>

class QApplication;
class QQuickWindow;

namespace drovane::desktop {

class QuickContentLayer;
class WindowOcclusion;

// A wallpaper window as a QQuickWindow: frameless, never focused, transparent for input,
// typed as the desktop and kept at the bottom of the stacking order on every workspace. Its
// content layer is the window's root item; its background is black where no film shows.
class QuickWallpaperWindow final : public WallpaperWindow {
public:
    QuickWallpaperWindow(std::shared_ptr<QApplication> application, Rect frame,
                         std::shared_ptr<WindowOcclusion> occlusion);
    ~QuickWallpaperWindow() override;

    Rect frame() const override;
    bool isVisible() const override;
    bool isOccludedVisible() const override;
    bool snapshot(const std::string& path) override;
    void orderFront() override;
    void orderOut() override;
    void setFrame(Rect frame) override;
    std::shared_ptr<Layer> contentLayer() override;

    QQuickWindow& quickWindow();
    // Called on the main thread when the window's visibility to the user may have changed.
    std::function<void()> onOcclusionChanged;

private:
    class Window;

    std::shared_ptr<QApplication> m_application;
    std::shared_ptr<WindowOcclusion> m_occlusion;
    std::unique_ptr<Window> m_window;
    std::shared_ptr<QuickContentLayer> m_content;
    Subscription m_occlusionWatch;
};

} // namespace drovane::desktop
