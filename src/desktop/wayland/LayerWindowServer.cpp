#include "desktop/wayland/LayerWindowServer.h"

#include "desktop/wayland/LayerWallpaperWindow.h"
#include "desktop/wayland/WaylandConnection.h"

#include <algorithm>

namespace drovane::desktop::wayland {

std::vector<Rect> WaylandScreens::frames() const {
    std::vector<Rect> frames;
    for (const auto& output : m_connection->outputs()) {
        frames.push_back(screenFrame(output.info));
    }
    return frames;
}

Subscription WaylandScreens::observeChanges(std::function<void()> handler) {
    return m_connection->observeOutputs(std::move(handler));
}

LayerWindowServer::LayerWindowServer(std::shared_ptr<WaylandConnection> connection, ShellLayer layer)
    : m_connection(std::move(connection)), m_layer(layer),
      m_handlers(std::make_shared<ObserverList<const Window*>>()) {
    m_covering = m_connection->observeCovering([this] {
        for (const auto& weak : m_windows) {
            if (auto window = weak.lock()) {
                window->setCovered(m_connection->isCovered(window->output()));
            }
        }
    });
}

LayerWindowServer::~LayerWindowServer() = default;

std::shared_ptr<WallpaperWindow> LayerWindowServer::makeWallpaperWindow(Rect frame) {
    std::erase_if(m_windows, [](const auto& weak) { return weak.expired(); });
    // A window ordered out is on its way: a rebuild drops it.
    const auto taken = [&](std::uint32_t id) {
        return std::any_of(m_windows.begin(), m_windows.end(), [&](const auto& weak) {
            const auto window = weak.lock();
            return window && window->output() == id && !window->orderedOut();
        });
    };
    // Mirrored outputs share a frame: each gets a surface of its own.
    const auto outputs = m_connection->outputs();
    const auto match = std::find_if(outputs.begin(), outputs.end(), [&](const auto& output) {
        return screenFrame(output.info) == frame && !taken(output.info.id);
    });
    if (match == outputs.end()) {
        return nullptr;
    }
    auto window = std::make_shared<LayerWallpaperWindow>(m_connection, *match, frame, m_layer);
    window->setCovered(m_connection->isCovered(match->info.id));
    window->onOcclusionChanged = [handlers = std::weak_ptr(m_handlers), raw = window.get()] {
        if (auto h = handlers.lock()) {
            h->notify(raw);
        }
    };
    m_windows.push_back(window);
    return window;
}

Subscription LayerWindowServer::observeOcclusion(std::function<void(const Window* sender)> handler) {
    return m_handlers->add(std::move(handler));
}

} // namespace drovane::desktop::wayland
