#pragma once

#include "platform/WindowServer.h"

namespace drovane::desktop {

// The window server of a session where no way to show a wallpaper is known: it makes no
// windows, so nothing appears in a window list or plays unseen.
class NoWindowServer final : public WindowServer {
public:
    std::shared_ptr<WallpaperWindow> makeWallpaperWindow(Rect /*frame*/) override { return nullptr; }
    Subscription observeOcclusion(std::function<void(const Window*)> /*handler*/) override { return {}; }
};

} // namespace drovane::desktop
