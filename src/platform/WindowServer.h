#pragma once

#include "platform/Geometry.h"
#include "platform/Subscription.h"
#include "platform/Video.h"
#include "platform/Window.h"

#include <functional>
#include <memory>
#include <string>

namespace drovane {

// A borderless window at the desktop level: below every other window, on every workspace,
// transparent, letting mouse events through, never key or main.
class WallpaperWindow : public Window {
public:
    // Shows the window without making it key.
    virtual void orderFront() = 0;
    // Hides the window.
    virtual void orderOut() = 0;
    virtual void setFrame(Rect frame) = 0;
    // The window's root layer, which player layers are added to.
    virtual std::shared_ptr<Layer> contentLayer() = 0;
};

class WindowServer {
public:
    virtual ~WindowServer() = default;

    // A new wallpaper window covering `frame`, not yet shown; null where the session offers no
    // way to show one. Main thread.
    virtual std::shared_ptr<WallpaperWindow> makeWallpaperWindow(Rect frame) = 0;
    // Calls `handler` on the main thread when the occlusion of any of the program's windows
    // changed, with that window (or null when the sender is not known). Main thread.
    virtual Subscription observeOcclusion(std::function<void(const Window* sender)> handler) = 0;
    // The program whose own desktop now hides the wallpaper windows (an icon program painting
    // an opaque desktop over them), by the name it gives itself; empty when none does. Its
    // coming and going is reported as an occlusion change. Main thread.
    virtual std::string hidingProgram() const { return {}; }
};

} // namespace drovane
