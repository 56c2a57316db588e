#pragma once

#include <algorithm>
#include <cmath>

namespace drovane::desktop {

struct PixelSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

// `width` x `height` scaled down, keeping its proportions, to fit inside `maxWidth` x
// `maxHeight`: never scaled up, never below one pixel on a side. All four positive.
inline PixelSize fitInside(double width, double height, int maxWidth, int maxHeight) {
    const double scale = std::min({1.0, maxWidth / width, maxHeight / height});
    if (scale >= 1.0) {
        return {std::max(1, static_cast<int>(std::lround(width))),
                std::max(1, static_cast<int>(std::lround(height)))};
    }
    // The side that limits the scale lands exactly on its bound, whatever the rounding does.
    const bool widthBound = maxWidth / width <= maxHeight / height;
    const int w = widthBound ? maxWidth : static_cast<int>(std::lround(width * scale));
    const int h = widthBound ? static_cast<int>(std::lround(height * scale)) : maxHeight;
    return {std::clamp(w, 1, maxWidth), std::clamp(h, 1, maxHeight)};
}

} // namespace drovane::desktop
