#pragma once

class QWindow;

namespace drovane::desktop {

// A platform Window shown through a Qt window: alerts attach to it as sheets. Every window of
// the desktop backend that can own a sheet implements this beside Window.
class QtBackedWindow {
public:
    virtual ~QtBackedWindow() = default;
    virtual QWindow* qtWindow() const = 0;
};

} // namespace drovane::desktop
