#pragma once

#include "desktop/wayland/LayerWallpaperWindow.h"
#include "platform/ObserverList.h"
#include "platform/Screens.h"
#include "platform/WindowServer.h"

#include <memory>
#include <vector>

namespace drovane::desktop::wayland {

class WaylandConnection;

// The screens are the compositor's outputs, in logical units: one wallpaper surface each.
class WaylandScreens final : public Screens {
public:
    explicit WaylandScreens(std::shared_ptr<WaylandConnection> connection)
        : m_connection(std::move(connection)) {}
    std::vector<Rect> frames() const override;
    Subscription observeChanges(std::function<void()> handler) override;

private:
    std::shared_ptr<WaylandConnection> m_connection;
};

// Wallpapers on the compositor's background layer, one surface per output, drawn on the CPU.
// A window is covered while a toplevel covers its output or the compositor stops asking the
// surface for frames.
class LayerWindowServer final : public WindowServer {
public:
    explicit LayerWindowServer(std::shared_ptr<WaylandConnection> connection,
                               ShellLayer layer = ShellLayer::Background);
    ~LayerWindowServer() override;

    // The window of the output whose screen `frame` is; null when no output is (any more).
    std::shared_ptr<WallpaperWindow> makeWallpaperWindow(Rect frame) override;
    Subscription observeOcclusion(std::function<void(const Window* sender)> handler) override;

private:
    std::shared_ptr<WaylandConnection> m_connection;
    ShellLayer m_layer;
    // Shared with the windows, which may outlive this server.
    std::shared_ptr<ObserverList<const Window*>> m_handlers;
    std::vector<std::weak_ptr<LayerWallpaperWindow>> m_windows;
    Subscription m_covering;
};

} // namespace drovane::desktop::wayland
