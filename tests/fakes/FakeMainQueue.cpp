#include "fakes/FakeMainQueue.h"

#include <algorithm>

namespace drovane::fakes {

// 2026-01-01 00:00:00 UTC.
VirtualClock::VirtualClock()
    : m_start(Date::fromUnixMicroseconds(1'767'225'600LL * 1'000'000)),
      m_now(m_start.microsecondsSinceReferenceDate) {}

Date VirtualClock::now() const {
    return Date{m_now.load()};
}
void VirtualClock::set(Date date) {
    m_now.store(date.microsecondsSinceReferenceDate);
}
double VirtualClock::elapsed() const {
    return now().secondsSince(m_start);
}

FakeMainQueue::FakeMainQueue(std::shared_ptr<VirtualClock> clock)
    : m_clock(std::move(clock)), m_mainThread(std::this_thread::get_id()) {}

void FakeMainQueue::post(std::function<void()> work) {
    postAfter(0, std::move(work));
}

void FakeMainQueue::postAfter(double seconds, std::function<void()> work) {
    std::lock_guard lock(m_mutex);
    const Date due = m_clock->now().addingSeconds(std::max(0.0, seconds));
    m_items.push_back(Item{due, m_nextSequence++, std::move(work)});
}

bool FakeMainQueue::isMainThread() const {
    return std::this_thread::get_id() == m_mainThread;
}

bool FakeMainQueue::runNextDueBy(Date limit) {
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

void FakeMainQueue::drain() {
    while (runNextDueBy(m_clock->now())) {
    }
}

void FakeMainQueue::advance(double seconds) {
    const Date target = m_clock->now().addingSeconds(seconds);
    while (runNextDueBy(target)) {
    }
    if (m_clock->now() < target) {
        m_clock->set(target);
    }
}

void FakeMainQueue::discardPending() {
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

std::size_t FakeMainQueue::pendingCount() const {
    std::lock_guard lock(m_mutex);
    return m_items.size();
}

} // namespace drovane::fakes
