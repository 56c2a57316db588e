#include "desktop/plasma/PlasmaWindowServer.h"

namespace drovane::desktop {

PlasmaWindowServer::PlasmaWindowServer(std::shared_ptr<WindowServer> streams,
                                       std::unique_ptr<PlasmaWallpaper> wallpaper,
                                       std::unique_ptr<PlasmaCoverage> coverage,
                                       std::function<void(Rect, bool)> setCovered)
    : m_streams(std::move(streams)), m_wallpaper(std::move(wallpaper)), m_coverage(std::move(coverage)),
      m_setCovered(std::move(setCovered)) {
    if (m_coverage) {
        m_coverage->onCoveredChanged = [this](Rect screen, bool covered) {
            if (!m_released) {
                m_setCovered(screen, covered);
            }
        };
    }
    m_wallpaper->onReleased = [this] {
        // Nobody sees the streams any more: they pause and send nothing.
        m_released = true;
        for (const ScreenStream& stream : m_current) {
            m_setCovered(stream.frame, true);
        }
    };
}

PlasmaWindowServer::~PlasmaWindowServer() {
    m_coverage.reset();
    m_wallpaper.reset();
}

void PlasmaWindowServer::streamsChanged(std::vector<ScreenStream> streams) {
    m_current = streams;
    if (m_released) {
        for (const ScreenStream& stream : m_current) {
            m_setCovered(stream.frame, true);
        }
        return;
    }
    if (m_coverage) {
        std::vector<Rect> frames;
        for (const ScreenStream& stream : streams) {
            frames.push_back(stream.frame);
        }
        m_coverage->follow(frames);
    }
    m_wallpaper->show(std::move(streams));
}

std::shared_ptr<WallpaperWindow> PlasmaWindowServer::makeWallpaperWindow(Rect frame) {
    return m_streams->makeWallpaperWindow(frame);
}

Subscription PlasmaWindowServer::observeOcclusion(std::function<void(const Window* sender)> handler) {
    return m_streams->observeOcclusion(std::move(handler));
}

std::string PlasmaWindowServer::hidingProgram() const {
    return m_streams->hidingProgram();
}

} // namespace drovane::desktop
