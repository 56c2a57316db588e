#pragma once

#include "desktop/session/ShownPoller.h"
#include "desktop/x11/X11Dpms.h"

#include <functional>
#include <optional>
#include <string>

namespace drovane::desktop {

// Whether the displays sleep, from the X server's DPMS power level: any level other than On
// (standby, suspend, off) counts as asleep; with DPMS disabled the displays are awake. The X
// server sends no event for it, so the level is polled every few seconds while a wallpaper is
// shown. The wallpaper stays shown while the displays sleep, so the wake is seen. Main thread.
class DpmsSource {
public:
    static constexpr double pollInterval = 2.0;

    // One reading: true when asleep, nothing when the server could not be asked this time.
    using Reader = DpmsReader;

    DpmsSource(std::shared_ptr<MainQueue> mainQueue, Reader reader, double intervalSeconds = pollInterval);

    void setWallpaperShown(bool shown);
    bool isAsleep() const { return m_asleep; }

    // Called after the displays fell asleep or woke.
    std::function<void()> onChanged;

private:
    void read();

    Reader m_reader;
    bool m_asleep = false;
    ShownPoller m_poller;
};

} // namespace drovane::desktop
