#pragma once

#include <functional>
#include <string>

namespace drovane {

// The desktop's own background picture, the one it shows on the lock screen and whenever the
// program's wallpaper is not running. Main thread only.
class DesktopBackground {
public:
    virtual ~DesktopBackground() = default;

    // The folder where pictures meant for the background are kept (it need not exist yet).
    virtual std::string pictureFolder() const = 0;
    // Whether this desktop lets a program set its background at all, as far as can be told now.
    virtual bool canSetPicture() const = 0;
    // Makes the picture at `path` the desktop's background (and its lock screen's where the
    // desktop has one of its own). `done` runs once on the main thread: true when the desktop
    // took it, false when this desktop offers no way to set it or refused.
    virtual void setPicture(const std::string& path, std::function<void(bool applied)> done) = 0;
    // Whether the desktop's background is the program's film itself now (the desktop shows it
    // through a wallpaper plugin of the program's), so that a still would only replace it.
    virtual bool showsFilm() const { return false; }
};

} // namespace drovane
