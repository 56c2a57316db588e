#pragma once

#include "platform/Geometry.h"
#include "platform/Video.h"

#include <QVideoFrame>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace drovane::desktop {

class SoftwareCompositor;

// What one player layer gives its window's compositor to draw. Written on the main thread
// (opacity, place, gravity) and the decoding thread (frames), read on the compositor's thread;
// every field under `mutex`.
struct LayerFeed {
    std::mutex mutex;
    QVideoFrame frame;
    // Counts the frames handed in, so a frame already drawn is not converted again.
    std::uint64_t serial = 0;
    double opacity = 1.0;
    // In window coordinates.
    Rect place;
    VideoGravity gravity = VideoGravity::ResizeAspectFill;
    std::weak_ptr<SoftwareCompositor> compositor;
    // Set when the compositor first had this feed's frame ready to draw; cleared with the frame.
    bool shown = false;
    // Called once on the compositor's thread when `shown` becomes true. Set before any frame.
    std::function<void()> onShown;
};

} // namespace drovane::desktop
