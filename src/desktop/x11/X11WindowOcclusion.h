#pragma once

#include "desktop/x11/WindowOcclusion.h"

#include <cstdint>
#include <map>
#include <memory>

namespace drovane::desktop {

class X11OcclusionTracker;
class XcbConnection;

// Occlusion of wallpaper windows on X11: besides Qt's exposure, a window counts as hidden when
// application windows cover its whole screen, as X11OcclusionTracker reads the window manager's
// stack. Main thread.
class X11WindowOcclusion final : public WindowOcclusion {
public:
    // Over a connection of its own to `display` ("" for $DISPLAY); nothing when no X server
    // answers (a Wayland session without X), where plain exposure is all there is.
    static std::shared_ptr<X11WindowOcclusion> open(const std::string& display);
    explicit X11WindowOcclusion(std::shared_ptr<XcbConnection> connection);
    ~X11WindowOcclusion() override;

    bool isVisible(const QWindow& window) const override;
    bool windowEvent(const QWindow& window) override;
    Subscription watch(const QWindow& window, std::function<void()> changed) override;
    std::string hidingProgram() const override;

private:
    std::shared_ptr<XcbConnection> m_connection;
    std::unique_ptr<X11OcclusionTracker> m_tracker;
    std::shared_ptr<std::map<std::uint32_t, std::function<void()>>> m_watchers;
};

} // namespace drovane::desktop
