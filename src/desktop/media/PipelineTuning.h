#pragma once

namespace drovane::desktop {

// Bounds what the GStreamer pipelines Qt Multimedia builds in this process hold in memory. A
// wallpaper shows each picture once, at its time, so nothing gains from pictures decoded ahead:
// every queue holds one picture, and a decoder of a film no larger than 1920x1200 decodes on one
// thread, which one core does in time (frame threading keeps a picture per thread). Larger films
// keep every thread they need. No device provider is loaded: nothing here plays sound or
// films from a camera. Idempotent; call before the first player is made.
void tunePlaybackPipelines();

// The decoder threads for a film of `width` x `height` pixels; 0 lets the decoder choose.
int decoderThreadsFor(int width, int height);

} // namespace drovane::desktop
