#pragma once

#include "platform/Subscription.h"

#include <functional>
#include <string>

class QWindow;

namespace drovane::desktop {

// Whether some part of a window can be seen. This base follows what Qt reports as the window's
// exposure; X11WindowOcclusion adds the window manager's stacking and full-screen windows.
class WindowOcclusion {
public:
    virtual ~WindowOcclusion() = default;

    virtual bool isVisible(const QWindow& window) const;
    // Tells the occlusion that something that may change `window`'s visibility happened (an
    // expose event, a show or hide); returns true when the answer of isVisible() may differ.
    virtual bool windowEvent(const QWindow& window);
    // Calls `changed` whenever isVisible() for `window` may have changed for a reason outside
    // the window's own events (another application covering it). Main thread.
    virtual Subscription watch(const QWindow& window, std::function<void()> changed);
    // The program whose own desktop window hides some watched window now; empty when none.
    virtual std::string hidingProgram() const { return {}; }
};

} // namespace drovane::desktop
