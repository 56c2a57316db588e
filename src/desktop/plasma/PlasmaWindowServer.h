#pragma once

#include "desktop/plasma/PlasmaCoverage.h"
#include "desktop/plasma/PlasmaWallpaper.h"
#include "platform/WindowServer.h"

#include <functional>
#include <memory>
#include <vector>

namespace drovane::desktop {

// The window server on Plasma: `streams` publishes each screen's picture, Drovane's plugin shows
// them as every desktop's wallpaper, and `coverage` pauses the screens windows hide. Once the
// user chooses another wallpaper in Plasma's settings, every screen stays paused. Main thread.
class PlasmaWindowServer final : public WindowServer {
public:
    // `coverage` may be null (covering windows are not followed); `setCovered` pauses or resumes
    // the stream of one screen.
    PlasmaWindowServer(std::shared_ptr<WindowServer> streams, std::unique_ptr<PlasmaWallpaper> wallpaper,
                       std::unique_ptr<PlasmaCoverage> coverage, std::function<void(Rect, bool)> setCovered);
    // Gives the desktops back before the streams end.
    ~PlasmaWindowServer() override;

    // The streams now published, one a screen.
    void streamsChanged(std::vector<ScreenStream> streams);
    bool isWallpaper() const { return m_wallpaper->isWallpaper(); }

    std::shared_ptr<WallpaperWindow> makeWallpaperWindow(Rect frame) override;
    Subscription observeOcclusion(std::function<void(const Window* sender)> handler) override;
    std::string hidingProgram() const override;

private:
    std::shared_ptr<WindowServer> m_streams;
    std::unique_ptr<PlasmaWallpaper> m_wallpaper;
    std::unique_ptr<PlasmaCoverage> m_coverage;
    std::function<void(Rect, bool)> m_setCovered;
    std::vector<ScreenStream> m_current;
    bool m_released = false;
};

} // namespace drovane::desktop
