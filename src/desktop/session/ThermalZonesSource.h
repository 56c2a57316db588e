#pragma once

#include "desktop/session/ShownPoller.h"
#include "platform/SystemEvents.h"

#include <functional>
#include <string>
#include <vector>

namespace drovane {
class Log;
}

namespace drovane::desktop {

// The kernel's thermal zones (<class>/thermal_zone*/temp and trip_point_*_{type,temp}, all in
// millidegrees Celsius) mapped onto the thermal state. For each zone that has trip points:
//
//   critical  temperature at or above its "critical" trip
//   serious   at or above its "passive" or "hot" trip (whichever is lower)
//   fair      within 10 degrees below that serious threshold
//   nominal   below that
//
// The machine's state is the worst zone's, so the hottest zone relative to its own trips wins;
// zones without trip points, unreadable temperatures and trips at or below 0 are ignored. A
// state is left downwards only once the temperature is 3 degrees below the threshold that
// raised it, so a zone that the kernel holds at its passive trip does not flip playback on and
// off with every reading.
struct ThermalTrip {
    std::string type;
    long milliCelsius = 0;
};

struct ThermalZone {
    std::string name;
    long milliCelsius = 0;
    std::vector<ThermalTrip> trips;
};

// The zones under `classDirectory` (normally "/sys/class/thermal"), in name order.
std::vector<ThermalZone> readThermalZones(const std::string& classDirectory);

// The state that `zones` give, when the state before was `previous` (see above).
ThermalState thermalStateOf(const std::vector<ThermalZone>& zones, ThermalState previous);

// Polls the zones every few seconds while a wallpaper is shown. Main thread.
class ThermalZonesSource {
public:
    static constexpr double pollInterval = 5.0;

    ThermalZonesSource(std::shared_ptr<MainQueue> mainQueue, std::shared_ptr<Log> log,
                       std::string classDirectory, double intervalSeconds = pollInterval);

    // Reads the zones once; logs one line when there are none to follow.
    void start();
    void setWallpaperShown(bool shown);
    ThermalState state() const { return m_state; }

    // Called after the state changed.
    std::function<void()> onChanged;

private:
    void read();

    std::string m_classDirectory;
    ThermalState m_state = ThermalState::Nominal;
    std::shared_ptr<Log> m_log;
    ShownPoller m_poller;
};

} // namespace drovane::desktop
