#include "desktop/render/software/ShmSurface.h"

#include <algorithm>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

namespace drovane::desktop {

namespace {

constexpr int kBytesPerPixel = 4;

bool sync(xcb_connection_t* connection) {
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    return xcb_connection_has_error(connection) == 0;
}

} // namespace

std::unique_ptr<ShmSurface> ShmSurface::open(std::uint32_t window) {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (!connection || xcb_connection_has_error(connection)) {
        if (connection) {
            xcb_disconnect(connection);
        }
        return nullptr;
    }
    auto* geometry = xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
    const std::uint8_t depth = geometry ? geometry->depth : 0;
    std::free(geometry);
    // Only 24-bit colour in 32-bit pixels, byte order B, G, R, X, is drawn.
    const xcb_setup_t* setup = xcb_get_setup(connection);
    bool packed = false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it)) {
        packed = packed || (it.data->depth == depth && it.data->bits_per_pixel == 32);
    }
    if ((depth != 24 && depth != 32) || !packed || setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::unique_ptr<ShmSurface>(new ShmSurface(connection, window, depth));
}

ShmSurface::ShmSurface(xcb_connection_t* connection, std::uint32_t window, std::uint8_t depth)
    : m_connection(connection), m_window(window), m_depth(depth) {
    m_gc = xcb_generate_id(m_connection);
    xcb_create_gc(m_connection, m_gc, m_window, 0, nullptr);
    // Sharing by file descriptor needs version 1.2.
    auto* version = xcb_shm_query_version_reply(m_connection, xcb_shm_query_version(m_connection), nullptr);
    m_shared = version && (version->major_version > 1 || version->minor_version >= 2);
    std::free(version);
}

ShmSurface::~ShmSurface() {
    release();
    xcb_free_gc(m_connection, m_gc);
    xcb_flush(m_connection);
    xcb_disconnect(m_connection);
}

void ShmSurface::release() {
    if (m_memory) {
        xcb_shm_detach(m_connection, m_segment);
        munmap(m_memory, m_bytes);
        m_memory = nullptr;
        m_bytes = 0;
    }
    m_plain.clear();
    m_plain.shrink_to_fit();
    m_width = m_height = 0;
}

PixelTarget ShmSurface::buffer(int width, int height) {
    if (width <= 0 || height <= 0) {
        return {};
    }
    if (width != m_width || height != m_height) {
        release();
        // Rows with room for the scaler's whole pixel groups, so that it fills them directly.
        const std::size_t bytes = static_cast<std::size_t>(scaledStride(width)) * height;
        if (m_shared) {
            const int fd = memfd_create("drovane-wallpaper", MFD_CLOEXEC);
            void* memory = fd >= 0 && ftruncate(fd, static_cast<off_t>(bytes)) == 0
                               ? mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                               : MAP_FAILED;
            if (memory != MAP_FAILED) {
                m_segment = xcb_generate_id(m_connection);
                // xcb closes the descriptor once it is sent.
                xcb_shm_attach_fd(m_connection, m_segment, fd, 0);
                m_memory = static_cast<std::uint8_t*>(memory);
                m_bytes = bytes;
            } else {
                if (fd >= 0) {
                    ::close(fd);
                }
                m_shared = false;
            }
        }
        if (!m_memory) {
            m_plain.assign(bytes, 0);
        }
        m_width = width;
        m_height = height;
    }
    return PixelTarget{m_memory ? m_memory : m_plain.data(), m_width, m_height, scaledStride(m_width)};
}

bool ShmSurface::present() {
    if (m_width <= 0) {
        return false;
    }
    const auto width = static_cast<std::uint16_t>(m_width);
    const auto height = static_cast<std::uint16_t>(m_height);
    const std::size_t stride = static_cast<std::size_t>(scaledStride(m_width));
    // The picture's rows are wider than the window; the server takes the window's part.
    const auto rowWidth = static_cast<std::uint16_t>(stride / kBytesPerPixel);
    if (m_memory) {
        xcb_shm_put_image(m_connection, m_window, m_gc, rowWidth, height, 0, 0, width, height, 0, 0, m_depth,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, 0, m_segment, 0);
    } else {
        // In bands that fit the server's largest request.
        const std::size_t room = xcb_get_maximum_request_length(m_connection) * 4 - 64;
        const int rows = std::max<int>(1, static_cast<int>(room / stride));
        for (int y = 0; y < m_height; y += rows) {
            const int band = std::min(rows, m_height - y);
            xcb_put_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_window, m_gc, rowWidth,
                          static_cast<std::uint16_t>(band), 0, static_cast<std::int16_t>(y), 0, m_depth,
                          static_cast<std::uint32_t>(band * stride), m_plain.data() + y * stride);
        }
    }
    return sync(m_connection);
}

} // namespace drovane::desktop
