#pragma once

#include "platform/Geometry.h"

#include <cstdint>

namespace drovane::desktop {

// One screen's picture as a PipeWire video stream.
struct ScreenStream {
    Rect frame;
    std::uint32_t nodeId;
};

} // namespace drovane::desktop
