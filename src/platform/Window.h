#pragma once

#include "platform/Geometry.h"

#include <string>

namespace drovane {

// Any window of the program (wallpaper, library, settings). Main thread only.
class Window {
public:
    virtual ~Window() = default;

    virtual Rect frame() const = 0;
    // The window is on screen (ordered in and not minimised).
    virtual bool isVisible() const = 0;
    // Some part of the window can be seen by the user (not fully covered, display awake).
    virtual bool isOccludedVisible() const = 0;
    // Writes a PNG picture of the window's contents to `path`; false on failure.
    virtual bool snapshot(const std::string& path) = 0;
};

} // namespace drovane
