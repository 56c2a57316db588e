#pragma once

#include "platform/Geometry.h"

#include <optional>

class QWindow;

namespace drovane::desktop {

// Sizes and places `window` on the screen it opens on (the one under `origin`'s window when an
// origin is given, else its own) so that it and its title bar fit the screen's free area: its
// content `size` and `minimum` shrink where the screen is smaller, at any scale factor.
// Returns the content's size as set. Main thread only.
Size fitOnScreen(QWindow& window, Size size, Size minimum, std::optional<Point> origin);

} // namespace drovane::desktop
