#include "playback/PlaybackRule.h"

#include <gtest/gtest.h>

// The inputs name only what they set; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace drovane {
namespace {

using Inputs = PlaybackRule::Inputs;
using enum ThermalState;

TEST(PlaybackRule, DecidesEachPlayerAndTheThrottledFlag) {
    // By default three players: a visible window, a covered one, and a player without a window.
    const std::vector<std::optional<bool>> three = {true, false, std::nullopt};
    const struct {
        const char* what;
        std::string holds; // m by hand, l low power, h half speed in it, a asleep, k locked, s saver
        ThermalState thermal;
        std::vector<std::optional<bool>> windows;
        std::vector<double> rates;
        bool throttled;
    } cases[] = {
        {"nothing holds", "", Nominal, three, {1.0, 0.0, 1.0}, false},
        {"paused by hand", "m", Nominal, three, {0, 0, 0}, true},
        {"fair heat plays", "", Fair, three, {1.0, 0.0, 1.0}, false},
        {"serious heat", "", Serious, three, {0, 0, 0}, true},
        {"critical heat", "", Critical, three, {0, 0, 0}, true},
        {"low power, paused by the setting", "l", Nominal, three, {0, 0, 0}, true},
        {"low power at half speed", "lh", Nominal, three, {0.5, 0.0, 0.5}, false},
        {"the setting alone", "h", Nominal, three, {1.0, 0.0, 1.0}, false},
        {"displays asleep", "a", Nominal, three, {0, 0, 0}, true},
        {"locked", "k", Nominal, three, {0, 0, 0}, true},
        {"screen saver", "s", Nominal, three, {0, 0, 0}, true},
        {"every window covered", "", Nominal, {false, false}, {0, 0}, false},
        {"no players", "", Nominal, {}, {}, false},
    };
    for (const auto& c : cases) {
        const auto holds = [&c](char flag) { return c.holds.find(flag) != std::string::npos; };
        const Inputs in{.manualPaused = holds('m'),
                        .lowPower = holds('l'),
                        .pauseOnLowPower = !holds('h'),
                        .thermal = c.thermal,
                        .displayAsleep = holds('a'),
                        .lockActive = holds('k'),
                        .saverActive = holds('s'),
                        .windowVisible = c.windows};
        PlaybackRule rule;
        const auto decision = rule.evaluate(in);
        EXPECT_EQ(decision.rates, c.rates) << c.what;
        EXPECT_EQ(decision.throttled, c.throttled) << c.what;
        EXPECT_EQ(PlaybackRule::mayPlay(in, std::nullopt), !c.throttled) << c.what;
    }
}

TEST(PlaybackRule, TheWallpaperFadesInOnceWhenItIsNoLongerHidden) {
    // One evaluation a step: what hides it, and whether that step fades the layers in anew.
    const struct {
        bool asleep, locked, saver, fadeIn;
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
        const Inputs in{.displayAsleep = step.asleep, .lockActive = step.locked, .saverActive = step.saver};
        EXPECT_EQ(rule.evaluate(in).fadeInAgain, step.fadeIn) << "step " << index++;
    }
}

} // namespace
} // namespace drovane
