#pragma once

#include "platform/MainQueue.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

class QApplication;
class QObject;
class QTimer;

namespace drovane::desktop {

// The main queue on the Qt event loop of the GUI thread. Posted work runs in posting order;
// delayed work runs in order of its due time (posting order for equal times), from one precise
// timer armed for the earliest item, so a thousand pending delays cost one timer.
class QtMainQueue final : public MainQueue {
public:
    explicit QtMainQueue(std::shared_ptr<QApplication> application);
    ~QtMainQueue() override;

    void post(std::function<void()> work) override;
    void postAfter(double seconds, std::function<void()> work) override;
    bool isMainThread() const override;

private:
    using TimePoint = std::chrono::steady_clock::time_point;
    struct Due {
        TimePoint time;
        std::uint64_t sequence;
        bool operator<(const Due& other) const {
            return time != other.time ? time < other.time : sequence < other.sequence;
        }
    };
    struct State;

    void drainPosted();
    void runDue();
    void armTimer();

    std::shared_ptr<QApplication> m_application;
    std::shared_ptr<State> m_state;
    std::unique_ptr<QObject> m_context;
    QTimer* m_timer = nullptr;
    std::map<Due, std::function<void()>> m_delayed;
    std::uint64_t m_nextSequence = 0;
};

} // namespace drovane::desktop
