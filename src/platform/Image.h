#pragma once

#include <cstdint>
#include <vector>

namespace drovane {

// A decoded picture: tightly packed 8-bit RGBA rows, top row first. Its size in points is its
// size in pixels.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;

    bool isEmpty() const { return width <= 0 || height <= 0; }
    // What the picture costs a memory cache: four bytes per pixel.
    std::size_t cost() const {
        return isEmpty()
                   ? 0
                   : std::size_t{4} * static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    }
    friend bool operator==(const Image&, const Image&) = default;
};

} // namespace drovane
