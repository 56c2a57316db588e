#pragma once

#include "desktop/render/software/FrameScaler.h"

namespace drovane::desktop {

// Where a SoftwareCompositor's pictures go: an X window's shared memory, a Wayland surface's
// buffers, a video stream. Made and used on the compositor's thread only.
class PictureOutput {
public:
    virtual ~PictureOutput() = default;
    // The picture of `width` x `height` that the next present() shows, to be filled whole.
    // Null pixels when no memory can be had.
    virtual PixelTarget buffer(int width, int height) = 0;
    // Shows the picture last filled. May wait for the output to be ready for the next one;
    // false when it could not be shown.
    virtual bool present() = 0;
    // Shows the last picture again (the output lost it, as an X window does when exposed).
    virtual bool presentAgain() { return present(); }
};

} // namespace drovane::desktop
