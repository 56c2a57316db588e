#include "desktop/wayland/LayerWallpaperWindow.h"

#include "desktop/render/software/SoftwareCompositor.h"
#include "desktop/render/software/SoftwareContentLayer.h"
#include "desktop/wayland/ShmBuffers.h"
#include "platform/Log.h"

#include <QImage>
#include <QObject>
#include <cmath>
#include <limits>
#include <wayland-client.h>
#include <wlr-layer-shell-unstable-v1-client.h>

namespace drovane::desktop::wayland {

struct LayerSurfaceEvents {
    static void configure(void* data, zwlr_layer_surface_v1*, std::uint32_t serial, std::uint32_t width,
                          std::uint32_t height) {
        static_cast<LayerWallpaperWindow*>(data)->configure(serial, static_cast<int>(width),
                                                            static_cast<int>(height));
    }
    static void closed(void* data, zwlr_layer_surface_v1*) {
        static_cast<LayerWallpaperWindow*>(data)->closed();
    }
    static constexpr zwlr_layer_surface_v1_listener listener{configure, closed};
};

LayerWallpaperWindow::LayerWallpaperWindow(std::shared_ptr<WaylandConnection> connection,
                                           const WaylandConnection::Output& output, Rect frame,
                                           ShellLayer layer)
    : m_connection(std::move(connection)), m_output(output.info.id), m_outputName(output.info.name),
      m_shellLayer(layer), m_scale(std::max(1, output.info.scale)), m_frame(frame),
      m_stop(std::make_shared<StopSignal>()), m_shown(std::make_shared<ShownPicture>()),
      m_compositor(std::make_shared<SoftwareCompositor>()),
      m_content(std::make_shared<SoftwareContentLayer>(m_compositor)),
      m_context(std::make_unique<QObject>()) {
    m_content->setFrame(Rect{{0, 0}, frame.size});
    m_surface = wl_compositor_create_surface(m_connection->compositor());
    // Pixels at the output's scale, so that a 200 % output gets a sharp picture.
    wl_surface_set_buffer_scale(m_surface, m_scale);
    // An empty input region: the pointer goes to whatever is below.
    wl_region* nothing = wl_compositor_create_region(m_connection->compositor());
    wl_surface_set_input_region(m_surface, nothing);
    wl_region_destroy(nothing);
    // Opaque all over: the compositor need not draw what lies below.
    wl_region* all = wl_compositor_create_region(m_connection->compositor());
    wl_region_add(all, 0, 0, std::numeric_limits<std::int32_t>::max(),
                  std::numeric_limits<std::int32_t>::max());
    wl_surface_set_opaque_region(m_surface, all);
    wl_region_destroy(all);
    m_layer = zwlr_layer_shell_v1_get_layer_surface(
        m_connection->layerShell(), m_surface, output.proxy,
        layer == ShellLayer::Bottom ? ZWLR_LAYER_SHELL_V1_LAYER_BOTTOM : ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND,
        "wallpaper");
    zwlr_layer_surface_v1_add_listener(m_layer, &LayerSurfaceEvents::listener, this);
    zwlr_layer_surface_v1_set_anchor(
        m_layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                     ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    // Under panels and bars too, whatever room they keep for themselves.
    zwlr_layer_surface_v1_set_exclusive_zone(m_layer, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(m_layer,
                                                     ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
    zwlr_layer_surface_v1_set_size(m_layer, 0, 0);
    // The first commit carries no buffer: the compositor answers with the size to draw.
    wl_surface_commit(m_surface);
    m_connection->flush();
}

LayerWallpaperWindow::~LayerWallpaperWindow() {
    // The compositor's thread ends, even while it waits for a frame, before its surface goes.
    m_stop->raise();
    m_compositor->setFeeds({});
    m_content.reset();
    m_compositor.reset();
    m_context.reset();
    if (m_layer) {
        zwlr_layer_surface_v1_destroy(m_layer);
    }
    wl_surface_destroy(m_surface);
    m_connection->flush();
}

void LayerWallpaperWindow::configure(std::uint32_t serial, int width, int height) {
    zwlr_layer_surface_v1_ack_configure(m_layer, serial);
    const Size logical{width > 0 ? double(width) : m_frame.size.width,
                       height > 0 ? double(height) : m_frame.size.height};
    m_content->setFrame(Rect{{0, 0}, logical});
    const int pixelWidth = static_cast<int>(std::lround(logical.width * m_scale));
    const int pixelHeight = static_cast<int>(std::lround(logical.height * m_scale));
    m_compositor->setSize(pixelWidth, pixelHeight, logical);
    if (!m_started) {
        m_started = true;
        if (const auto& log = m_connection->log()) {
            log->line(std::string("Drovane: a wallpaper on the ") +
                      (m_shellLayer == ShellLayer::Bottom ? "bottom" : "background") + " layer of " +
                      (m_outputName.empty() ? std::string("an output") : m_outputName) + ", " +
                      std::to_string(int(logical.width)) + "x" + std::to_string(int(logical.height)) +
                      " at scale " + std::to_string(m_scale) + " (" + std::to_string(pixelWidth) + "x" +
                      std::to_string(pixelHeight) + " pixels)");
        }
        auto context = m_context.get();
        auto onShown = [context, this](bool drawn) {
            QMetaObject::invokeMethod(
                context, [this, drawn] { setDrawn(drawn); }, Qt::QueuedConnection);
        };
        m_compositor->start([connection = m_connection, surface = m_surface, stop = m_stop, shown = m_shown,
                             onShown]() -> std::unique_ptr<PictureOutput> {
            return std::make_unique<ShmBuffers>(connection, surface, stop, shown, onShown);
        });
    }
    const bool wasVisible = isOccludedVisible();
    m_configured = true;
    m_compositor->setExposed(m_ordered);
    if (wasVisible != isOccludedVisible()) {
        occlusionChanged();
    }
}

void LayerWallpaperWindow::closed() {
    // The output went: nothing is drawn until the windows are built again for the outputs left.
    zwlr_layer_surface_v1_destroy(m_layer);
    m_layer = nullptr;
    m_closed = true;
    m_compositor->setExposed(false);
    occlusionChanged();
}

void LayerWallpaperWindow::orderFront() {
    m_ordered = true;
    m_compositor->setExposed(m_configured && !m_closed);
    occlusionChanged();
}

void LayerWallpaperWindow::orderOut() {
    m_ordered = false;
    m_orderedOut = true;
    m_compositor->setExposed(false);
    occlusionChanged();
}

bool LayerWallpaperWindow::isVisible() const {
    return m_ordered && m_configured && !m_closed;
}

bool LayerWallpaperWindow::isOccludedVisible() const {
    return isVisible() && !m_covered && m_drawn;
}

void LayerWallpaperWindow::setCovered(bool covered) {
    if (covered != m_covered) {
        m_covered = covered;
        occlusionChanged();
    }
}

void LayerWallpaperWindow::setDrawn(bool drawn) {
    if (drawn != m_drawn) {
        m_drawn = drawn;
        occlusionChanged();
    }
}

void LayerWallpaperWindow::occlusionChanged() {
    if (onOcclusionChanged) {
        onOcclusionChanged();
    }
}

long LayerWallpaperWindow::presentedFrames() const {
    return m_compositor->presentedFrames();
}

std::shared_ptr<Layer> LayerWallpaperWindow::contentLayer() {
    return m_content;
}

bool LayerWallpaperWindow::snapshot(const std::string& path) {
    QImage picture;
    {
        std::lock_guard lock(m_shown->mutex);
        if (!m_shown->pixels) {
            return false;
        }
        picture =
            QImage(m_shown->pixels, m_shown->width, m_shown->height, m_shown->stride, QImage::Format_RGB32)
                .copy();
    }
    return picture.save(QString::fromStdString(path), "PNG");
}

} // namespace drovane::desktop::wayland
