#pragma once

#include "platform/Geometry.h"

#include <cstdint>

namespace drovane::desktop {

// One screen's wallpaper as a PipeWire video stream: the screen's frame as the engine was given
// it, and the stream's node, which a consumer connects to.
struct ScreenStream {
    Rect frame;
    std::uint32_t nodeId = 0;
    friend bool operator==(const ScreenStream&, const ScreenStream&) = default;
};

} // namespace drovane::desktop
