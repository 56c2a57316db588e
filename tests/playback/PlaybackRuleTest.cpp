#include "playback/PlaybackRule.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

using Inputs = PlaybackRule::Inputs;

Inputs with(void (*change)(Inputs&)) {
    Inputs in;
    in.windowVisible = {true, false, std::nullopt};
    change(in);
    return in;
}

TEST(PlaybackRule, DecidesEachPlayerAndTheThrottledFlag) {
    // Three players: a visible window, a covered one, and a player without a window.
    const struct {
        const char* what;
        Inputs in;
        std::vector<double> rates;
        bool throttled;
    } cases[] = {
        {"nothing holds", with([](Inputs&) {}), {1.0, 0.0, 1.0}, false},
        {"paused by hand", with([](Inputs& i) { i.manualPaused = true; }), {0, 0, 0}, true},
        {"fair heat plays", with([](Inputs& i) { i.thermal = ThermalState::Fair; }), {1.0, 0.0, 1.0}, false},
        {"serious heat", with([](Inputs& i) { i.thermal = ThermalState::Serious; }), {0, 0, 0}, true},
        {"critical heat", with([](Inputs& i) { i.thermal = ThermalState::Critical; }), {0, 0, 0}, true},
        {"low power, paused by the setting", with([](Inputs& i) { i.lowPower = true; }), {0, 0, 0}, true},
        {"low power at half speed",
         with([](Inputs& i) {
             i.lowPower = true;
             i.pauseOnLowPower = false;
         }),
         {0.5, 0.0, 0.5},
         false},
        {"the setting alone changes nothing",
         with([](Inputs& i) { i.pauseOnLowPower = false; }),
         {1.0, 0.0, 1.0},
         false},
        {"displays asleep", with([](Inputs& i) { i.displayAsleep = true; }), {0, 0, 0}, true},
        {"locked", with([](Inputs& i) { i.lockActive = true; }), {0, 0, 0}, true},
        {"screen saver", with([](Inputs& i) { i.saverActive = true; }), {0, 0, 0}, true},
        {"every window covered",
         with([](Inputs& i) {
             i.windowVisible = {false, false};
         }),
         {0, 0},
         false},
        {"no players", with([](Inputs& i) { i.windowVisible.clear(); }), {}, false},
    };
    for (const auto& c : cases) {
        PlaybackRule rule;
        const auto decision = rule.evaluate(c.in);
        EXPECT_EQ(decision.rates, c.rates) << c.what;
        EXPECT_EQ(decision.throttled, c.throttled) << c.what;
        EXPECT_EQ(PlaybackRule::mayPlay(c.in, std::nullopt), !c.throttled) << c.what;
    }
}

TEST(PlaybackRule, TheWallpaperFadesInOnceWhenItIsNoLongerHidden) {
    // One evaluation a step: what hides it, and whether that step fades the layers in anew.
    const struct {
        bool asleep, locked, saver;
        bool fadeIn;
    } steps[] = {
        {false, false, false, false}, // shown from the start: no fade of its own
        {false, false, true, false},  // the screen saver hides it
        {false, false, false, true},  // ...and its end brings it back
        {false, false, false, false}, // only the first visible evaluation fades in
        {false, true, false, false},  // locked
        {true, true, false, false},   // then asleep
        {false, true, false, false},  // awake, still locked
        {false, false, true, false},  // unlocked under a running screen saver: still hidden
        {false, false, false, true},  // the screen saver ends
        {true, false, false, false},  // asleep alone
        {false, false, false, true},
    };
    PlaybackRule rule;
    int index = 0;
    for (const auto& step : steps) {
        Inputs in;
        in.displayAsleep = step.asleep;
        in.lockActive = step.locked;
        in.saverActive = step.saver;
        EXPECT_EQ(rule.evaluate(in).fadeInAgain, step.fadeIn) << "step " << index++;
    }
}

} // namespace
} // namespace drovane
