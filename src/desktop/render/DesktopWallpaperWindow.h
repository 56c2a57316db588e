#pragma once

#include "platform/WindowServer.h"

#include <functional>
#include <memory>

class QApplication;
class QEvent;
class QWindow;

namespace drovane::desktop {

class WindowOcclusion;

// What a wallpaper window is to the desktop, whatever draws into it: frameless, never focused,
// transparent for input, typed as the desktop and kept at the bottom of the stacking order on
// every workspace, and watched for its visibility to the user.
class DesktopWallpaperWindow : public WallpaperWindow {
public:
    ~DesktopWallpaperWindow() override;

    Rect frame() const override;
    bool isVisible() const override;
    bool isOccludedVisible() const override;
    void orderFront() override;
    void orderOut() override;
    void setFrame(Rect frame) override;

    QWindow& qtWindow() const { return *m_window; }
    // Called on the main thread when the window's visibility to the user may have changed.
    std::function<void()> onOcclusionChanged;

protected:
    // `window` must not have its platform window yet; it is owned from now on and goes last.
    DesktopWallpaperWindow(std::shared_ptr<QApplication> application,
                           std::shared_ptr<WindowOcclusion> occlusion, std::unique_ptr<QWindow> window);

    // Gives the window its flags, title and frame, then its platform window typed as the desktop.
    // Separate from construction so that whatever the window's events reach exists by then.
    void createPlatformWindow(Rect frame);
    // Follows the window's visibility to the user from now on.
    void watchOcclusion();
    // Stops following it; a subclass calls this first when it goes, before what it draws with.
    void stopWatchingOcclusion();
    // For the window's event handler, after Qt's: tells the occlusion watch what changed.
    void windowEvent(const QEvent& event);
    // Whether Qt paints the window, at its logical size times its pixel ratio.
    virtual bool paintedByQt() const { return true; }

private:
    std::shared_ptr<QApplication> m_application;
    std::shared_ptr<WindowOcclusion> m_occlusion;
    std::unique_ptr<QWindow> m_window;
    Subscription m_occlusionWatch;
};

} // namespace drovane::desktop
