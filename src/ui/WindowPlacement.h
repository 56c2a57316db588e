#pragma once

#include "platform/Geometry.h"

#include <optional>

namespace drovane {

// The frame a window manager draws around a window's content.
struct FrameMargins {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};

// Where a window goes on a screen: its content's place and size, and the smallest size the
// user may give it there.
struct WindowFit {
    Rect content;
    Size minimum;
    friend bool operator==(const WindowFit&, const WindowFit&) = default;
};

// Fits a window whose content wants `size` (never less than `minimum`) into the free area of
// a screen, `available`, with its frame `margins` on screen too. Where the area is smaller,
// the size and the minimum shrink to it, so that the title bar and the edges stay reachable.
// Placed at `origin` when given (moved in as far as needed), else centred.
WindowFit fitWindow(Rect available, FrameMargins margins, Size size, Size minimum,
                    std::optional<Point> origin = std::nullopt);

} // namespace drovane
