#include "desktop/session/ThermalZonesSource.h"

#include "platform/Log.h"
#include "support/Files.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <optional>

namespace drovane::desktop {

namespace {

constexpr long fairBand = 10'000;
constexpr long hysteresis = 3'000;

std::optional<std::string> readLine(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line)) {
        return std::nullopt;
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
        line.pop_back();
    }
    return line;
}

std::optional<long> readMilliCelsius(const std::filesystem::path& path) {
    auto line = readLine(path);
    if (!line) {
        return std::nullopt;
    }
    long value = 0;
    const char* end = line->data() + line->size();
    auto [ptr, ec] = std::from_chars(line->data(), end, value);
    if (ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
}

struct Thresholds {
    std::optional<long> fair;
    std::optional<long> serious;
    std::optional<long> critical;
};

Thresholds thresholdsOf(const ThermalZone& zone) {
    Thresholds t;
    auto lower = [](std::optional<long>& slot, long value) { slot = slot ? std::min(*slot, value) : value; };
    for (const ThermalTrip& trip : zone.trips) {
        if (trip.milliCelsius <= 0) {
            continue;
        }
        if (trip.type == "critical") {
            lower(t.critical, trip.milliCelsius);
        } else if (trip.type == "passive" || trip.type == "hot") {
            lower(t.serious, trip.milliCelsius);
        }
    }
    if (t.serious) {
        t.fair = *t.serious - fairBand;
    }
    return t;
}

} // namespace

std::vector<ThermalZone> readThermalZones(const std::string& classDirectory) {
    namespace fs = std::filesystem;
    std::vector<ThermalZone> zones;
    for (const auto& entry : listFolder(classDirectory)) {
        const std::string& name = entry.name;
        if (!name.starts_with("thermal_zone")) {
            continue;
        }
        const fs::path zonePath = fs::path(classDirectory) / name;
        auto temperature = readMilliCelsius(zonePath / "temp");
        if (!temperature) {
            continue; // a sensor that is switched off or failing
        }
        ThermalZone zone{name, *temperature, {}};
        for (int i = 0;; ++i) {
            const std::string prefix = "trip_point_" + std::to_string(i);
            auto type = readLine(zonePath / (prefix + "_type"));
            if (!type) {
                break;
            }
            if (auto temp = readMilliCelsius(zonePath / (prefix + "_temp"))) {
                zone.trips.push_back({*type, *temp});
            }
        }
        zones.push_back(std::move(zone));
    }
    std::sort(zones.begin(), zones.end(),
              [](const ThermalZone& a, const ThermalZone& b) { return a.name < b.name; });
    return zones;
}

ThermalState thermalStateOf(const std::vector<ThermalZone>& zones, ThermalState previous) {
    ThermalState worst = ThermalState::Nominal;
    for (const ThermalZone& zone : zones) {
        const Thresholds t = thresholdsOf(zone);
        // A level reached before holds until the temperature falls clearly below its threshold.
        auto reaches = [&](const std::optional<long>& threshold, ThermalState level) {
            if (!threshold) {
                return false;
            }
            const long margin = previous >= level ? hysteresis : 0;
            return zone.milliCelsius >= *threshold - margin;
        };
        ThermalState state = ThermalState::Nominal;
        if (reaches(t.critical, ThermalState::Critical)) {
            state = ThermalState::Critical;
        } else if (reaches(t.serious, ThermalState::Serious)) {
            state = ThermalState::Serious;
        } else if (reaches(t.fair, ThermalState::Fair)) {
            state = ThermalState::Fair;
        }
        worst = std::max(worst, state);
    }
    return worst;
}

ThermalZonesSource::ThermalZonesSource(std::shared_ptr<MainQueue> mainQueue, std::shared_ptr<Log> log,
                                       std::string classDirectory, double intervalSeconds)
    : m_classDirectory(std::move(classDirectory)), m_log(std::move(log)),
      m_poller(std::move(mainQueue), intervalSeconds, [this] { read(); }) {}

void ThermalZonesSource::start() {
    const auto zones = readThermalZones(m_classDirectory);
    const bool anyTrips = std::any_of(zones.begin(), zones.end(), [](const ThermalZone& z) {
        return std::any_of(z.trips.begin(), z.trips.end(),
                           [](const ThermalTrip& trip) { return trip.milliCelsius > 0; });
    });
    if (!anyTrips) {
        m_log->line("Drovane: no thermal zone with trip points in " + m_classDirectory +
                    "; the thermal state stays nominal");
    }
    m_state = thermalStateOf(zones, m_state);
}

void ThermalZonesSource::setWallpaperShown(bool shown) {
    m_poller.setShown(shown);
}

void ThermalZonesSource::read() {
    const ThermalState state = thermalStateOf(readThermalZones(m_classDirectory), m_state);
    if (state == m_state) {
        return;
    }
    m_state = state;
    if (onChanged) {
        onChanged();
    }
}

} // namespace drovane::desktop
