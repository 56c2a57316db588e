#pragma once

#include "platform/Geometry.h"
#include "platform/Subscription.h"

#include <functional>
#include <vector>

namespace drovane {

class Screens {
public:
    virtual ~Screens() = default;

    // The frames of the attached screens, in the platform's order (the primary first). Main thread.
    virtual std::vector<Rect> frames() const = 0;
    // Calls `handler` on the main thread after the screens were added, removed, moved or
    // resized. Main thread.
    virtual Subscription observeChanges(std::function<void()> handler) = 0;
};

} // namespace drovane
