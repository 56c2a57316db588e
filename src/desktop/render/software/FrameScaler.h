#pragma once

#include "platform/Geometry.h"
#include "platform/Video.h"

#include <QVideoFrame>
#include <cstdint>
#include <vector>

struct SwsContext;

namespace drovane::desktop {

// The part of a `width` x `height` picture that is shown in a `targetWidth` x `targetHeight`
// area: all of it when stretching, otherwise the centred part of the target's aspect ratio
// (fill, cropping the overflow). Its origin is even, so that 4:2:0 chroma stays aligned.
struct SourceRect {
    int x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const SourceRect&, const SourceRect&) = default;
};
SourceRect shownPart(int width, int height, int targetWidth, int targetHeight, VideoGravity gravity);

// A 32-bit BGRX picture in memory that a frame is scaled into.
struct PixelTarget {
    std::uint8_t* pixels = nullptr;
    int width = 0, height = 0;
    int stride = 0;
};

// Bytes per row of a BGRX picture `width` pixels wide that FrameScaler::scale() fills directly:
// libswscale's SIMD converters write whole groups of pixels and leave the last few pixels of a
// row out where the row has no room for the whole group.
int scaledStride(int width);

// Converts and scales video frames to BGRX in one pass with libswscale, reusing its context
// while the frames' format and the target stay the same. Wide sources are cut into slices on
// several threads. One thread at a time.
class FrameScaler {
public:
    FrameScaler() = default;
    ~FrameScaler();
    FrameScaler(const FrameScaler&) = delete;
    FrameScaler& operator=(const FrameScaler&) = delete;

    // Fills `target` with `frame` as `gravity` places it; false (target untouched) when the
    // frame cannot be read or its pixel format is not one this scaler knows. A target with rows
    // narrower than scaledStride() costs a copy.
    bool scale(const QVideoFrame& frame, VideoGravity gravity, const PixelTarget& target);
    // The frame's pixel format is one scale() converts.
    static bool canScale(const QVideoFrame& frame);

private:
    struct Key {
        int format = -1, width = 0, height = 0, targetWidth = 0, targetHeight = 0, colorSpace = 0, range = 0;
        friend bool operator==(const Key&, const Key&) = default;
    };
    SwsContext* m_context = nullptr;
    Key m_key;
    // Rows with room to spare, for targets without it.
    std::vector<std::uint8_t> m_roomy;
};

} // namespace drovane::desktop
