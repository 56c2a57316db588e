#pragma once

#include "platform/WindowServer.h"

#include <functional>
#include <memory>

class QApplication;
class QWindow;

namespace drovane::desktop {

class SoftwareCompositor;
class SoftwareContentLayer;
class WindowOcclusion;

// A wallpaper window that Qt never paints: its pictures come from a SoftwareCompositor through
// X11 shared memory. Frameless, never focused, transparent for input, typed as the desktop and
// kept at the bottom of the stacking order on every workspace; black where no film shows.
class SoftwareWallpaperWindow final : public WallpaperWindow {
public:
    SoftwareWallpaperWindow(std::shared_ptr<QApplication> application, Rect frame,
                            std::shared_ptr<WindowOcclusion> occlusion);
    ~SoftwareWallpaperWindow() override;

    Rect frame() const override;
    bool isVisible() const override;
    bool isOccludedVisible() const override;
    bool snapshot(const std::string& path) override;
    void orderFront() override;
    void orderOut() override;
    void setFrame(Rect frame) override;
    std::shared_ptr<Layer> contentLayer() override;

    QWindow& qtWindow();
    // Pictures put on screen so far.
    long presentedFrames() const;
    // Called on the main thread when the window's visibility to the user may have changed.
    std::function<void()> onOcclusionChanged;

private:
    class Window;

    std::shared_ptr<QApplication> m_application;
    std::shared_ptr<WindowOcclusion> m_occlusion;
    std::shared_ptr<SoftwareCompositor> m_compositor;
    std::unique_ptr<Window> m_window;
    std::shared_ptr<SoftwareContentLayer> m_content;
    Subscription m_occlusionWatch;
};

} // namespace drovane::desktop
