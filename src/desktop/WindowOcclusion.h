#pragma once

#include <functional>

class QWindow;

namespace drovane::desktop {

// Whether some part of a window can be seen. For now this follows what Qt reports as the
// window's exposure; an analysis of the window manager's stacking and of full-screen windows
// can take its place behind the same two calls.
class WindowOcclusion {
public:
    virtual ~WindowOcclusion() = default;

    virtual bool isVisible(const QWindow& window) const;
    // Tells the occlusion that something that may change `window`'s visibility happened (an
    // expose event, a show or hide); returns true when the answer of isVisible() may differ.
    virtual bool windowEvent(const QWindow& window);
};

} // namespace drovane::desktop
