#pragma once

#include "platform/Geometry.h"

#include <functional>
#include <vector>

namespace drovane::desktop {

// Which of Plasma's screens windows hide from view, so that their streams can pause. Main thread.
class PlasmaCoverage {
public:
    virtual ~PlasmaCoverage() = default;

    // Follows `screens` (the streams' frames) from now on; each starts uncovered.
    virtual void follow(const std::vector<Rect>& screens) = 0;

    // A followed screen became covered or uncovered.
    std::function<void(Rect screen, bool covered)> onCoveredChanged;
};

// Whether the centre of `frame` lies in `area`: the screen a window or desktop counts as on.
inline bool centreIn(const Rect& frame, const Rect& area) {
    const double x = frame.minX() + frame.size.width / 2;
    const double y = frame.minY() + frame.size.height / 2;
    return x >= area.minX() && x < area.maxX() && y >= area.minY() && y < area.maxY();
}

} // namespace drovane::desktop
