#include "desktop/session/ShownPoller.h"

#include "platform/MainQueue.h"

#include <algorithm>

namespace drovane::desktop {

struct ShownPoller::State {
    std::shared_ptr<MainQueue> mainQueue;
    std::function<void()> tick;
    double interval = 1.0;
    bool shown = false;
    // Bumped whenever polling starts or stops, so ticks of an earlier run end themselves.
    unsigned generation = 0;
};

ShownPoller::ShownPoller(std::shared_ptr<MainQueue> mainQueue, double intervalSeconds,
                         std::function<void()> tick)
    : m_state(std::make_shared<State>()) {
    m_state->mainQueue = std::move(mainQueue);
    m_state->tick = std::move(tick);
    m_state->interval = std::max(1.0, intervalSeconds);
}

ShownPoller::~ShownPoller() = default;

void ShownPoller::setShown(bool shown) {
    if (shown == m_state->shown) {
        return;
    }
    m_state->shown = shown;
    ++m_state->generation;
    if (shown) {
        schedule(m_state, 0);
    }
}

void ShownPoller::schedule(const std::shared_ptr<State>& state, double delay) {
    std::weak_ptr<State> weakState = state;
    const unsigned generation = state->generation;
    state->mainQueue->postAfter(delay, [weakState, generation] {
        auto s = weakState.lock();
        if (!s || s->generation != generation) {
            return;
        }
        // Scheduled first: a tick that changes what is shown starts or stops the next run itself.
        schedule(s, s->interval);
        auto tick = s->tick;
        tick();
    });
}

} // namespace drovane::desktop
