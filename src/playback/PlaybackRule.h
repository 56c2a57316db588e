#pragma once

#include "platform/SystemEvents.h"

#include <optional>
#include <vector>

namespace drovane {

// The rule that decides, player by player, whether the wallpaper plays and how fast, whether
// it counts as throttled, and when it comes back from being hidden. State in, decisions out:
// the only state is whether the wallpaper was hidden at the last evaluation.
class PlaybackRule {
public:
    static constexpr double normalRate = 1.0;
    static constexpr double lowPowerRate = 0.5;

    struct Inputs {
        bool manualPaused = false;
        bool lowPower = false;
        // The user's "pause in Low Power Mode" setting.
        bool pauseOnLowPower = true;
        ThermalState thermal = ThermalState::Nominal;
        bool displayAsleep = false;
        bool lockActive = false;
        bool saverActive = false;
        // One per player, in order: whether its window can be seen, or nothing for a player
        // without a window of its own (it may play).
        std::vector<std::optional<bool>> windowVisible;
    };

    struct Decision {
        // One per player: the rate to play at, or 0 to pause.
        std::vector<double> rates;
        bool throttled = false;
        // The wallpaper has just become visible again: its layers fade in anew.
        bool fadeInAgain = false;
    };

    // Evaluates the rule once and remembers whether the wallpaper is hidden now.
    Decision evaluate(const Inputs& inputs);

    // Whether a player may play, given whether its window can be seen (nothing: no window).
    static bool mayPlay(const Inputs& inputs, std::optional<bool> windowVisible);
    // Every condition of the machine or the user that stops the wallpaper, occlusion aside.
    static bool isThrottled(const Inputs& inputs);

private:
    bool m_wasHidden = false;
};

} // namespace drovane
