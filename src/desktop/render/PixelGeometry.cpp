#include "desktop/render/PixelGeometry.h"

#include "desktop/x11/X11Properties.h"

#include <QScreen>
#include <QWindow>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <xcb/randr.h>
#include <xcb/xcb.h>

namespace drovane::desktop {

namespace {

template <class T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

// `at` on an axis from `from` (logical) to `to` (pixels), both given as origin and length.
int mapEdge(int at, int fromOrigin, int fromLength, int toOrigin, int toLength) {
    if (fromLength <= 0) {
        return toOrigin + (at - fromOrigin);
    }
    return toOrigin + static_cast<int>(std::lround(double(at - fromOrigin) * toLength / fromLength));
}

} // namespace

QRect pixelFrame(const QRect& frame, const QRect& screen, const QRect& screenPixels) {
    const int left = mapEdge(frame.x(), screen.x(), screen.width(), screenPixels.x(), screenPixels.width());
    const int right = mapEdge(frame.x() + frame.width(), screen.x(), screen.width(), screenPixels.x(),
                              screenPixels.width());
    const int top = mapEdge(frame.y(), screen.y(), screen.height(), screenPixels.y(), screenPixels.height());
    const int bottom = mapEdge(frame.y() + frame.height(), screen.y(), screen.height(), screenPixels.y(),
                               screenPixels.height());
    // A window is never less than a pixel wide or high.
    return QRect(left, top, std::max(1, right - left), std::max(1, bottom - top));
}

int paintedLength(int pixels, double ratio) {
    if (!(ratio > 0) || pixels <= 0) {
        return pixels;
    }
    // Qt's own rounding of lengths between logical units and pixels (qRound).
    auto round = [](double value) { return static_cast<int>(value + 0.5); };
    for (int length = pixels; length <= pixels + static_cast<int>(std::ceil(ratio)); ++length) {
        if (round(round(length / ratio) * ratio) == length) {
            return length;
        }
    }
    return pixels;
}

std::vector<QRect> monitorPixels() {
    std::vector<QRect> monitors;
    xcb_connection_t* c = x11::connection();
    if (!c) {
        return monitors;
    }
    const xcb_screen_t* root = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    Reply<xcb_randr_get_monitors_reply_t> reply(
        xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, root->root, 1), nullptr), &std::free);
    if (!reply) {
        return monitors;
    }
    for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem;
         xcb_randr_monitor_info_next(&it)) {
        monitors.emplace_back(it.data->x, it.data->y, it.data->width, it.data->height);
    }
    return monitors;
}

QRect screenPixels(const QScreen& screen) {
    const QRect logical = screen.geometry();
    const double ratio = screen.devicePixelRatio();
    const QRect scaled(logical.topLeft(), QSize(static_cast<int>(std::lround(logical.width() * ratio)),
                                                static_cast<int>(std::lround(logical.height() * ratio))));
    // Monitors may share a corner (mirrored outputs): the one nearest the scaled size.
    QRect best = scaled;
    long bestDistance = -1;
    for (const QRect& monitor : monitorPixels()) {
        if (monitor.topLeft() != logical.topLeft() || monitor.isEmpty()) {
            continue;
        }
        const long distance =
            std::labs(monitor.width() - scaled.width()) + std::labs(monitor.height() - scaled.height());
        if (bestDistance < 0 || distance < bestDistance) {
            best = monitor;
            bestDistance = distance;
        }
    }
    return best;
}

void fitToScreenPixels(QWindow& window, bool paintedByQt) {
    xcb_connection_t* c = x11::connection();
    const QScreen* screen = window.screen();
    if (!c || !screen || !window.handle()) {
        return;
    }
    QRect pixels = pixelFrame(window.geometry(), screen->geometry(), screenPixels(*screen));
    if (paintedByQt) {
        const double ratio = window.devicePixelRatio();
        pixels.setSize(QSize(paintedLength(pixels.width(), ratio), paintedLength(pixels.height(), ratio)));
    }
    const std::uint32_t values[] = {
        static_cast<std::uint32_t>(x11::coordinate(pixels.x())),
        static_cast<std::uint32_t>(x11::coordinate(pixels.y())),
        static_cast<std::uint32_t>(std::max(1, x11::coordinate(pixels.width()))),
        static_cast<std::uint32_t>(std::max(1, x11::coordinate(pixels.height()))),
    };
    xcb_configure_window(c, x11::nativeWindow(window),
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                             XCB_CONFIG_WINDOW_HEIGHT,
                         values);
    xcb_flush(c);
}

QSize pixelSize(QWindow& window) {
    const QSize scaled = window.size() * window.devicePixelRatio();
    xcb_connection_t* c = x11::connection();
    if (!c || !window.handle()) {
        return scaled;
    }
    Reply<xcb_get_geometry_reply_t> reply(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, x11::nativeWindow(window)), nullptr), &std::free);
    return reply ? QSize(reply->width, reply->height) : scaled;
}

} // namespace drovane::desktop
