#include "desktop/wayland/OutputState.h"

namespace drovane::desktop::wayland {

Rect screenFrame(const OutputInfo& output) {
    if (output.logical && output.logical->size.width > 0 && output.logical->size.height > 0) {
        return *output.logical;
    }
    // Odd transforms turn the output by 90 or 270 degrees (flipped or not).
    const bool turned = output.transform % 2 == 1;
    const double scale = output.scale > 0 ? output.scale : 1;
    const double width = (turned ? output.modeHeight : output.modeWidth) / scale;
    const double height = (turned ? output.modeWidth : output.modeHeight) / scale;
    return Rect{{double(output.x), double(output.y)}, {width, height}};
}

std::set<std::uint32_t> coveredOutputs(const std::vector<ToplevelInfo>& toplevels) {
    std::set<std::uint32_t> covered;
    for (const ToplevelInfo& t : toplevels) {
        if (!t.minimized && t.activated && (t.fullscreen || t.maximized)) {
            covered.insert(t.outputs.begin(), t.outputs.end());
        }
    }
    return covered;
}

} // namespace drovane::desktop::wayland
