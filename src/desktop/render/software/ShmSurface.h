#pragma once

#include "desktop/render/software/PictureOutput.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct xcb_connection_t;

namespace drovane::desktop {

// Pictures for one X window, drawn into memory that the X server shares (MIT-SHM), on a
// connection of its own so that presenting never waits on the main thread. Without the
// extension the picture goes through the socket instead. Made and used on one thread.
class ShmSurface final : public PictureOutput {
public:
    // Nothing when the display cannot be opened or does not keep 24-bit colour in 32-bit pixels.
    static std::unique_ptr<ShmSurface> open(std::uint32_t window);
    ~ShmSurface() override;
    ShmSurface(const ShmSurface&) = delete;
    ShmSurface& operator=(const ShmSurface&) = delete;

    // The picture of `width` x `height` that the next present() shows; it keeps what was drawn
    // into it as long as the size stays the same. Null pixels when no memory can be had.
    PixelTarget buffer(int width, int height) override;
    // Shows the picture in the window's top left corner and returns once the server has read
    // it, so that it can be drawn into again at once.
    bool present() override;

private:
    ShmSurface(xcb_connection_t* connection, std::uint32_t window, std::uint8_t depth);
    void release();

    xcb_connection_t* m_connection;
    std::uint32_t m_window;
    std::uint32_t m_gc = 0;
    std::uint8_t m_depth;
    bool m_shared = false;
    std::uint32_t m_segment = 0;
    std::uint8_t* m_memory = nullptr;
    std::size_t m_bytes = 0;
    std::vector<std::uint8_t> m_plain;
    int m_width = 0, m_height = 0;
};

} // namespace drovane::desktop
