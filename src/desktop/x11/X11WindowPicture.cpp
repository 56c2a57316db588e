#include "desktop/x11/X11WindowPicture.h"

#include "desktop/x11/X11Properties.h"

#include <QWindow>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

namespace drovane::desktop::x11 {

QImage windowPicture(QWindow& window) {
    xcb_connection_t* c = connection();
    if (!c || !window.isVisible()) {
        return {};
    }
    const auto id = nativeWindow(window);
    // In device pixels, which the logical size is not under a scale factor.
    std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr), &std::free);
    if (!geometry) {
        return {};
    }
    const int width = geometry->width, height = geometry->height;
    std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> reply(
        xcb_get_image_reply(c,
                            xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, id, 0, 0,
                                          static_cast<std::uint16_t>(width),
                                          static_cast<std::uint16_t>(height), ~0u),
                            nullptr),
        &std::free);
    if (!reply || (reply->depth != 24 && reply->depth != 32) ||
        xcb_get_image_data_length(reply.get()) < width * height * 4) {
        return {};
    }
    QImage picture(width, height, QImage::Format_RGB32);
    const std::uint8_t* data = xcb_get_image_data(reply.get());
    for (int y = 0; y < height; ++y) {
        std::memcpy(picture.scanLine(y), data + static_cast<std::size_t>(y) * width * 4,
                    static_cast<std::size_t>(width) * 4);
    }
    return picture;
}

} // namespace drovane::desktop::x11
