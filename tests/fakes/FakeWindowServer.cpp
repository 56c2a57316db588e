#include "fakes/FakeWindowServer.h"

#include "fakes/LiveObjects.h"

namespace drovane::fakes {

std::vector<std::shared_ptr<FakePlayerLayer>> FakeWallpaperWindow::playerLayers() const {
    std::vector<std::shared_ptr<FakePlayerLayer>> result;
    for (const auto& layer : m_content->sublayers) {
        if (auto pl = std::dynamic_pointer_cast<FakePlayerLayer>(layer)) {
            result.push_back(pl);
        }
    }
    return result;
}

std::shared_ptr<WallpaperWindow> FakeWindowServer::makeWallpaperWindow(Rect frame) {
    if (!makesWindows) {
        return nullptr;
    }
    auto window = std::make_shared<FakeWallpaperWindow>(frame);
    m_made.push_back(window);
    return window;
}

std::vector<std::shared_ptr<FakeWallpaperWindow>> FakeWindowServer::liveWindows() {
    return liveObjects(m_made);
}

Subscription FakeWindowServer::observeOcclusion(std::function<void(const Window*)> handler) {
    return m_handlers.add(std::move(handler));
}

void FakeWindowServer::setCovered(FakeWallpaperWindow& window, bool covered) {
    window.covered = covered;
    if (covered && m_clock) {
        window.coveredSince = m_clock->now();
    }
    notifyOcclusion(&window);
}

void FakeWindowServer::notifyOcclusion(const Window* sender) {
    m_handlers.notify(sender);
}

} // namespace drovane::fakes
