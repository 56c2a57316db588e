#pragma once

#include <QElapsedTimer>
#include <functional>
#include <memory>

class QTimer;

namespace drovane::desktop {

// A layer's opacity moving to a target on wall-clock time, one step per display refresh and
// only while it moves. Qt Quick's own animation driver counts rendered frames, which runs fast
// or slow wherever buffer swaps are not paced by a display. Main thread.
class OpacityAnimation {
public:
    // `show` puts an opacity on screen.
    explicit OpacityAnimation(std::function<void(double opacity)> show);
    // A running animation stops where it is; its completion never runs.
    ~OpacityAnimation();

    // Moves from `from` to `to` over `seconds`, then runs `completion`. Without a positive
    // duration the target shows at once and the completion is queued, never run inside the call.
    void run(double from, double to, double seconds, std::function<void()> completion);
    // Stops a running animation where it is. A replaced animation has ended too: its completion
    // is queued, as a transaction's would run.
    void interrupt();

private:
    void step();

    std::function<void(double)> m_show;
    std::unique_ptr<QTimer> m_timer;
    QElapsedTimer m_clock;
    double m_from = 0;
    double m_to = 0;
    double m_seconds = 0;
    std::function<void()> m_completion;
};

} // namespace drovane::desktop
