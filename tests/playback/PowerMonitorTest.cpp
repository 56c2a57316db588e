#include "EngineFixture.h"

namespace drovane {
namespace {

using Event = fakes::FakeSystemEvents::Event;

class PowerMonitorTest : public testing::EngineFixture {
protected:
    PowerMonitorTest() {
        model->onThrottledChanged = [this](bool t) { throttled.push_back(t); };
    }
    void start(int screens = 1) {
        setScreens(screens);
        model->powerMonitor().startPowerMonitoring();
        model->switchVideo(addFilm("A"));
        throttled.clear();
        settle(2);
    }
    std::vector<double> rates() {
        std::vector<double> r;
        for (const auto& p : model->players) {
            r.push_back(p->rate());
        }
        return r;
    }
    bool lastThrottled() const { return !throttled.empty() && throttled.back(); }

    std::vector<bool> throttled;
};

TEST_F(PowerMonitorTest, StartingReadsTheStateAndEvaluates) {
    fake.systemEvents->lowPower = true;
    fake.systemEvents->thermal = ThermalState::Fair;
    model->powerMonitor().startPowerMonitoring();
    EXPECT_TRUE(model->lowPower);
    EXPECT_EQ(model->thermal, ThermalState::Fair);
    EXPECT_EQ(throttled, std::vector<bool>{true}) << "low power pauses by default";
}

TEST_F(PowerMonitorTest, EachEventAndTheLowPowerSettingReachTheRule) {
    start(2);
    fake.systemEvents->setLowPower(true);
    EXPECT_EQ(rates(), (std::vector<double>{0.0, 0.0})) << "paused by default";
    EXPECT_TRUE(lastThrottled());
    fake.defaults->set(Settings::pauseOnLowPowerKey, false);
    model->updatePlayback(); // as the settings window does
    EXPECT_EQ(rates(), (std::vector<double>{0.5, 0.5}));
    EXPECT_FALSE(lastThrottled());
    fake.systemEvents->setLowPower(false);

    fake.systemEvents->setThermal(ThermalState::Serious);
    EXPECT_TRUE(lastThrottled());
    fake.systemEvents->setThermal(ThermalState::Nominal);
    int films = 0;
    for (const auto& [on, off] : {std::pair{Event::DisplaysSleep, Event::DisplaysWake},
                                  {Event::ScreenLocked, Event::ScreenUnlocked},
                                  {Event::ScreenSaverStarted, Event::ScreenSaverStopped}}) {
        fake.systemEvents->fire(on);
        model->switchVideo(addFilm("F" + std::to_string(films++))); // a film chosen meanwhile waits too
        EXPECT_EQ(rates(), (std::vector<double>{0.0, 0.0}));
        fake.systemEvents->fire(off);
        EXPECT_EQ(rates(), (std::vector<double>{1.0, 1.0}));
    }
    model->manualPaused = true;
    model->updatePlayback();
    EXPECT_TRUE(lastThrottled());
}

} // namespace
} // namespace drovane
