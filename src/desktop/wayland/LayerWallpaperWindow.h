#pragma once

#include "desktop/wayland/WaylandConnection.h"
#include "platform/WindowServer.h"

#include <functional>
#include <memory>

class QObject;
struct wl_surface;
struct zwlr_layer_surface_v1;

namespace drovane::desktop {
class SoftwareCompositor;
class SoftwareContentLayer;
} // namespace drovane::desktop

namespace drovane::desktop::wayland {

struct ShownPicture;
class StopSignal;

// Where the wallpaper goes: the background layer, or the bottom layer (still under every window)
// where another background program shares the background layer and may be stacked above it.
enum class ShellLayer { Background, Bottom };

// A wallpaper on the background layer of one output: anchored to its four edges, over any
// exclusive zone, taking neither keys nor pointer (clicks go to what is below), so on every
// workspace and in no window list. A SoftwareCompositor draws it at the output's pixel size.
class LayerWallpaperWindow final : public WallpaperWindow {
public:
    LayerWallpaperWindow(std::shared_ptr<WaylandConnection> connection,
                         const WaylandConnection::Output& output, Rect frame,
                         ShellLayer layer = ShellLayer::Background);
    ~LayerWallpaperWindow() override;

    Rect frame() const override { return m_frame; }
    bool isVisible() const override;
    bool isOccludedVisible() const override;
    bool snapshot(const std::string& path) override;
    void orderFront() override;
    void orderOut() override;
    void setFrame(Rect frame) override { m_frame = frame; }
    std::shared_ptr<Layer> contentLayer() override;

    std::uint32_t output() const { return m_output; }
    bool orderedOut() const { return m_orderedOut; }
    void setCovered(bool covered);
    // Pictures put on screen so far.
    long presentedFrames() const;
    // Called on the main thread when the window's visibility to the user may have changed.
    std::function<void()> onOcclusionChanged;

private:
    friend struct LayerSurfaceEvents;
    void configure(std::uint32_t serial, int width, int height);
    void closed();
    void setDrawn(bool drawn);
    void occlusionChanged();

    std::shared_ptr<WaylandConnection> m_connection;
    std::uint32_t m_output;
    std::string m_outputName;
    ShellLayer m_shellLayer;
    int m_scale;
    Rect m_frame;
    wl_surface* m_surface = nullptr;
    zwlr_layer_surface_v1* m_layer = nullptr;
    std::shared_ptr<StopSignal> m_stop;
    std::shared_ptr<ShownPicture> m_shown;
    std::shared_ptr<SoftwareCompositor> m_compositor;
    std::shared_ptr<SoftwareContentLayer> m_content;
    // Receives what the compositor's thread tells, on the main thread; goes after that thread.
    std::unique_ptr<QObject> m_context;
    bool m_ordered = false, m_configured = false, m_closed = false, m_covered = false, m_drawn = true;
    bool m_started = false, m_orderedOut = false;
};

} // namespace drovane::desktop::wayland
