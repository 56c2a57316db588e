#pragma once

#include "desktop/plasma/PlasmaCoverage.h"

#include <QTimer>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace drovane::desktop {

class X11OcclusionTracker;
class XcbConnection;

// Coverage on Plasma's X11 session: plasmashell's desktop window of each screen is the bottom of
// the stack there, and the windows above it count as they would above a wallpaper window of ours.
class PlasmaX11Coverage final : public PlasmaCoverage {
public:
    // Over a connection of its own to `display` ("" for $DISPLAY); nothing when no X server answers.
    static std::unique_ptr<PlasmaX11Coverage> open(const std::string& display);
    explicit PlasmaX11Coverage(std::shared_ptr<XcbConnection> connection);
    ~PlasmaX11Coverage() override;

    void follow(const std::vector<Rect>& screens) override;

private:
    // Tracks plasmashell's desktop window of each followed screen; true when every one was found.
    bool findDesktops();

    std::shared_ptr<XcbConnection> m_connection;
    std::unique_ptr<X11OcclusionTracker> m_tracker;
    std::vector<Rect> m_screens;
    // plasmashell's desktop windows, each with its screen.
    std::map<std::uint32_t, Rect> m_desktops;
    // plasmashell may map a screen's desktop after the screen appeared.
    QTimer m_retry;
};

} // namespace drovane::desktop
