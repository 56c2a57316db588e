#pragma once

#include "platform/Clock.h"
#include "platform/MainQueue.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace drovane::fakes {

// Virtual wall-clock time. Moves only when a FakeMainQueue advances it.
class VirtualClock final : public Clock {
public:
    // Starts at 2026-01-01 00:00:00 UTC.
    VirtualClock();
    Date now() const override;
    void set(Date date);
    // Seconds since the clock was made.
    double elapsed() const;

private:
    const Date m_start;
    std::atomic<std::int64_t> m_now;
};

// The main queue on a virtual clock. Nothing runs until the test calls drain() or advance();
// work then runs on the calling thread in due-time order (posting order for equal times).
class FakeMainQueue final : public MainQueue {
public:
    explicit FakeMainQueue(std::shared_ptr<VirtualClock> clock);

    void post(std::function<void()> work) override;
    void postAfter(double seconds, std::function<void()> work) override;
    // The thread that made the queue stands for the main thread.
    bool isMainThread() const override;

    // Runs every piece of work that is due now, including work posted while draining.
    void drain();
    // Moves the clock forward by `seconds`, running each piece of work when its time comes.
    void advance(double seconds);
    // Work not yet run, due or not.
    std::size_t pendingCount() const;
    // Drops every piece of work not yet run (work that holds what holds the queue would
    // otherwise keep both alive).
    void discardPending();

    VirtualClock& clock() { return *m_clock; }

    // Called after each piece of work has run, on the thread that ran it: a test's check of what
    // must hold between any two pieces of main-thread work.
    std::function<void()> onWorkRan;

private:
    struct Item {
        Date due;
        std::uint64_t sequence;
        std::function<void()> work;
    };
    bool runNextDueBy(Date limit);

    std::shared_ptr<VirtualClock> m_clock;
    const std::thread::id m_mainThread;
    mutable std::mutex m_mutex;
    std::vector<Item> m_items;
    std::uint64_t m_nextSequence = 0;
};

} // namespace drovane::fakes
