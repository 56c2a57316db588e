#pragma once

#include "platform/Geometry.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace drovane::desktop::wayland {

// What the compositor said about one output, gathered up to its last `done`.
struct OutputInfo {
    // The output's global name in the registry: stable while it exists.
    std::uint32_t id = 0;
    std::string name;
    // wl_output's position and current mode, in the compositor's pixels, and how it is turned.
    int x = 0, y = 0;
    int modeWidth = 0, modeHeight = 0;
    int transform = 0;
    int scale = 1;
    // xdg-output's place and size in the logical space windows are laid out in, where offered.
    std::optional<Rect> logical;
    friend bool operator==(const OutputInfo&, const OutputInfo&) = default;
};

// The screen an output is, in logical units: xdg-output's geometry where known, otherwise the
// mode turned by the transform and divided by the scale, at wl_output's position.
Rect screenFrame(const OutputInfo& output);

// A toplevel window of the compositor's list, as of its last `done`.
struct ToplevelInfo {
    bool maximized = false, minimized = false, activated = false, fullscreen = false;
    std::set<std::uint32_t> outputs;
};

// The outputs whose wallpaper no one can see: each shows the active toplevel, fullscreen or
// maximized. An inactive one may lie on a workspace not shown (compositors still place it on
// the output) or under another window: it is left to the frame callbacks, which a compositor
// stops for a surface it does not draw. Minimized windows cover nothing.
std::set<std::uint32_t> coveredOutputs(const std::vector<ToplevelInfo>& toplevels);

} // namespace drovane::desktop::wayland
