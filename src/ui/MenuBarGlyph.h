#pragma once

#include "platform/StatusBar.h"

#include <array>

namespace drovane::MenuBarGlyph {

// Three bands of drifting cloud, in an 18 by 18 point space whose origin is the top-left corner.
inline constexpr std::array<StatusIcon::Ellipse, 3> bands = {{
    {7.6, 5.2, 4.4, 1.5},
    {9.4, 8.4, 5.6, 1.7},
    {8.4, 11.9, 6.6, 1.9},
}};

// The status-bar icon: the bands filled in the panel's colour, named "Drovane".
StatusIcon image();

} // namespace drovane::MenuBarGlyph
