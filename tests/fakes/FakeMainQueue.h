#pragma once

#include "platform/Clock.h"
#include "platform/MainQueue.h"

#include <algorithm>
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
    VirtualClock()
        : m_start(Date::fromUnixMicroseconds(1'767'225'600LL * 1'000'000)),
          m_now(m_start.microsecondsSinceReferenceDate) {}
    Date now() const override { return Date{m_now.load()}; }
    void set(Date date) { m_now.store(date.microsecondsSinceReferenceDate); }
    // Seconds since the clock was made.
    double elapsed() const { return now().secondsSince(m_start); }

private:
    const Date m_start;
    std::atomic<std::int64_t> m_now;
};

// The main queue on a virtual clock. Nothing runs until the test calls drain() or advance();
// work then runs on the calling thread in due-time order (posting order for equal times).
class FakeMainQueue final : public MainQueue {
public:
    explicit FakeMainQueue(std::shared_ptr<VirtualClock> clock)
        : m_clock(std::move(clock)), m_mainThread(std::this_thread::get_id()) {}

    void post(std::function<void()> work) override { postAfter(0, std::move(work)); }
    void postAfter(double seconds, std::function<void()> work) override {
        std::lock_guard lock(m_mutex);
        const Date due = m_clock->now().addingSeconds(std::max(0.0, seconds));
        m_items.push_back(Item{due, m_nextSequence++, std::move(work)});
    }
    // The thread that made the queue stands for the main thread.
    bool isMainThread() const override { return std::this_thread::get_id() == m_mainThread; }

    // Runs every piece of work that is due now, including work posted while draining.
    void drain() {
        while (runNextDueBy(m_clock->now())) {
        }
    }
    // Moves the clock forward by `seconds`, running each piece of work when its time comes.
    void advance(double seconds) {
        const Date target = m_clock->now().addingSeconds(seconds);
        while (runNextDueBy(target)) {
        }
        if (m_clock->now() < target) {
            m_clock->set(target);
        }
    }
    // Work not yet run, due or not.
    std::size_t pendingCount() const {
        std::lock_guard lock(m_mutex);
        return m_items.size();
    }
    // Drops every piece of work not yet run (work that holds what holds the queue would
    // otherwise keep both alive).
    void discardPending() {
        for (;;) {
            std::vector<Item> dropped;
            {
                std::lock_guard lock(m_mutex);
                dropped.swap(m_items);
            }
            if (dropped.empty()) {
                return;
            }
            // Destroyed outside the lock: a destructor may post again.
        }
    }

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
    bool runNextDueBy(Date limit) {
        std::function<void()> work;
        {
            std::lock_guard lock(m_mutex);
            auto next = std::min_element(m_items.begin(), m_items.end(), [](const Item& a, const Item& b) {
                return a.due != b.due ? a.due < b.due : a.sequence < b.sequence;
            });
            if (next == m_items.end() || next->due > limit) {
                return false;
            }
            if (next->due > m_clock->now()) {
                m_clock->set(next->due);
            }
            work = std::move(next->work);
            m_items.erase(next);
        }
        work();
        work = nullptr;
        if (onWorkRan) {
            onWorkRan();
        }
        return true;
    }

    std::shared_ptr<VirtualClock> m_clock;
    const std::thread::id m_mainThread;
    mutable std::mutex m_mutex;
    std::vector<Item> m_items;
    std::uint64_t m_nextSequence = 0;
};

} // namespace drovane::fakes
