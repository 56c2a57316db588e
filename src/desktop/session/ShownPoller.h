#pragma once

#include <functional>
#include <memory>

namespace drovane {
class MainQueue;
}

namespace drovane::desktop {

// Runs `tick` on the main queue while a wallpaper is shown: soon after it is shown, then every
// `intervalSeconds` (never more often than once a second). Hiding stops the ticks; showing
// again ticks at once, so a state that began or ended meanwhile is seen without delay.
// Main thread.
class ShownPoller {
public:
    ShownPoller(std::shared_ptr<MainQueue> mainQueue, double intervalSeconds, std::function<void()> tick);
    ~ShownPoller();
    ShownPoller(const ShownPoller&) = delete;
    ShownPoller& operator=(const ShownPoller&) = delete;

    void setShown(bool shown);

private:
    struct State;
    static void schedule(const std::shared_ptr<State>& state, double delay);
    std::shared_ptr<State> m_state;
};

} // namespace drovane::desktop
