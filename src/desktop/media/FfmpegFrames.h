#pragma once

#include "platform/Images.h"

#include <cstdint>
#include <string>

namespace drovane::desktop {

// How a film's frames are turned for display: first clockwise by `quarterTurns` quarter
// turns, then mirrored left to right when `mirrored`.
struct DisplayOrientation {
    int quarterTurns = 0;
    bool mirrored = false;
    friend bool operator==(const DisplayOrientation&, const DisplayOrientation&) = default;
};

// The orientation that a stream's display matrix (FFmpeg's nine 16.16 / 2.30 fixed-point
// values) asks for, to the nearest quarter turn; upright when there is none.
DisplayOrientation orientationFromDisplayMatrix(const std::int32_t* matrix);

// A frame of the film at `path` whose presentation time lies within [`seconds` -
// `toleranceBefore`, `seconds` + `toleranceAfter`], decoded with FFmpeg, turned upright as
// the stream's display matrix says and scaled to fit inside `maxWidth` x `maxHeight`. Reading
// starts at the keyframe at or before `seconds`, and the first frame inside the window is
// taken. A clear error text, never a crash, for a missing, corrupt, truncated or hostile file.
// Any thread, concurrently.
FrameResult extractFilmFrame(const std::string& path, double seconds, double toleranceBefore,
                             double toleranceAfter, int maxWidth, int maxHeight);

// Why the file at `path` is not a film we can show (not a regular file, not one of the film
// containers, no picture stream we can decode, frames its index places beyond the file's end);
// empty when it is. Reads the header only.
std::string filmFileError(const std::string& path);

} // namespace drovane::desktop
