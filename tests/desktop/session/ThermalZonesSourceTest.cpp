#include "desktop/session/ThermalZonesSource.h"

#include "fakes/FakePlatform.h"
#include "fakes/TempDir.h"

#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

std::vector<ThermalZone> zone(long temp, std::vector<ThermalTrip> trips) {
    return {ThermalZone{"thermal_zone0", temp, std::move(trips)}};
}

const std::vector<ThermalTrip> laptopTrips = {{"active", 60000}, {"passive", 90000}, {"critical", 105000}};

TEST(ThermalZones, TheWorstZoneAgainstItsTripPointsGivesTheState) {
    using S = ThermalState;
    struct Case {
        const char* what;
        std::vector<ThermalZone> zones;
        S previous;
        S expected;
    };
    // clang-format off
    const Case cases[] = {
        {"well below passive", zone(50000, laptopTrips), S::Nominal, S::Nominal},
        {"active trips do not count", zone(70000, laptopTrips), S::Nominal, S::Nominal},
        {"just over 10 below passive", zone(79999, laptopTrips), S::Nominal, S::Nominal},
        {"10 below passive", zone(80000, laptopTrips), S::Nominal, S::Fair},
        {"just under passive", zone(89999, laptopTrips), S::Nominal, S::Fair},
        {"at passive", zone(90000, laptopTrips), S::Nominal, S::Serious},
        {"just under critical", zone(104999, laptopTrips), S::Nominal, S::Serious},
        {"at critical", zone(105000, laptopTrips), S::Nominal, S::Critical},
        {"hot without passive", zone(95000, {{"hot", 95000}, {"critical", 100000}}), S::Nominal, S::Serious},
        {"fair below hot", zone(86000, {{"hot", 95000}}), S::Nominal, S::Fair},
        {"hot below passive wins", zone(85000, {{"passive", 90000}, {"hot", 85000}}), S::Nominal, S::Serious},
        {"critical only", zone(99000, {{"critical", 100000}}), S::Nominal, S::Nominal},
        {"no trips", zone(120000, {}), S::Nominal, S::Nominal},
        {"disabled trips at 0 and below", zone(50000, {{"passive", 0}, {"critical", -273200}}), S::Nominal, S::Nominal},
        // Leaving a state takes 3 degrees below the threshold that raised it.
        {"serious held just below passive", zone(87001, laptopTrips), S::Serious, S::Serious},
        {"serious left 3 below passive", zone(86999, laptopTrips), S::Serious, S::Fair},
        {"fair held just below its band", zone(77000, laptopTrips), S::Fair, S::Fair},
        {"fair left below its band", zone(76999, laptopTrips), S::Fair, S::Nominal},
        {"critical held", zone(103000, laptopTrips), S::Critical, S::Critical},
        {"no hysteresis on the way up", zone(89000, laptopTrips), S::Fair, S::Fair},
        // The hottest sensor has lots of headroom; a cooler one is at its passive trip.
        {"the worst zone relative to its own trips", {{"thermal_zone0", 95000, {{"passive", 120000}, {"critical", 130000}}}, {"thermal_zone1", 70000, {{"passive", 70000}}}, {"thermal_zone2", 99000, {}}}, S::Nominal, S::Serious},
        {"no zones", {}, S::Serious, S::Nominal},
    };
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_EQ(thermalStateOf(c.zones, c.previous), c.expected) << c.what;
    }
}

TEST(ThermalZones, ReadsTheSysfsTreeAndSkipsWhatCannotBeRead) {
    fakes::TempDir tree;
    tree.write("thermal/thermal_zone1/temp", "45000\n");
    tree.write("thermal/thermal_zone1/trip_point_0_type", "passive\n");
    tree.write("thermal/thermal_zone1/trip_point_0_temp", "90000\n");
    tree.write("thermal/thermal_zone1/trip_point_1_type", "critical\n");
    tree.write("thermal/thermal_zone1/trip_point_1_temp", "garbage\n"); // skipped, not the rest
    tree.write("thermal/thermal_zone1/trip_point_2_type", "hot\n");
    tree.write("thermal/thermal_zone1/trip_point_2_temp", "95000\n");
    tree.write("thermal/thermal_zone0/temp", "30000");
    tree.write("thermal/thermal_zone7/temp", ""); // a sensor that is off
    tree.write("thermal/cooling_device0/cur_state", "0\n");

    const auto zones = readThermalZones(tree / "thermal");
    ASSERT_EQ(zones.size(), 2u);
    EXPECT_EQ(zones[0].name, "thermal_zone0");
    EXPECT_EQ(zones[0].milliCelsius, 30000);
    EXPECT_TRUE(zones[0].trips.empty());
    EXPECT_EQ(zones[1].milliCelsius, 45000);
    ASSERT_EQ(zones[1].trips.size(), 2u);
    EXPECT_EQ(zones[1].trips[0].type, "passive");
    EXPECT_EQ(zones[1].trips[1].type, "hot");
    EXPECT_EQ(zones[1].trips[1].milliCelsius, 95000);

    EXPECT_TRUE(readThermalZones(tree / "no-such-folder").empty());
}

// (When the poller reads and when it stops is the display sleep source's test; a machine without
// trip points logs once and stays nominal in the system events' test.)
TEST(ThermalZonesSource, AReadingThatChangesTheStateIsReportedAndOneThatDoesNotIsNot) {
    fakes::FakePlatform fake;
    fakes::TempDir tree;
    tree.write("thermal/thermal_zone0/temp", "50000\n");
    tree.write("thermal/thermal_zone0/trip_point_0_type", "passive\n");
    tree.write("thermal/thermal_zone0/trip_point_0_temp", "90000\n");
    ThermalZonesSource source(fake.mainQueue, fake.log, tree / "thermal");
    int changes = 0;
    source.onChanged = [&] { ++changes; };
    source.start();
    EXPECT_EQ(source.state(), ThermalState::Nominal);

    tree.write("thermal/thermal_zone0/temp", "91000\n");
    source.setWallpaperShown(true);
    fake.mainQueue->drain();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(source.state(), ThermalState::Serious);

    // Paused by the heat, the wallpaper stays shown, so the cool-down is seen.
    tree.write("thermal/thermal_zone0/temp", "60000\n");
    fake.mainQueue->advance(ThermalZonesSource::pollInterval);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(source.state(), ThermalState::Nominal);
    fake.mainQueue->advance(ThermalZonesSource::pollInterval * 10);
    EXPECT_EQ(changes, 2);
}

} // namespace
} // namespace drovane::desktop
