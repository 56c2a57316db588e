#include "desktop/runtime/QtMainQueue.h"

#include <QApplication>
#include <QThread>
#include <QTimer>
#include <cassert>
#include <cmath>

namespace drovane::desktop {

// Shared with the queued invocations, which may still be in Qt's event queue when the main
// queue goes.
struct QtMainQueue::State {
    std::mutex mutex;
    std::deque<std::function<void()>> posted;
    bool drainScheduled = false;
    bool alive = true;
};

QtMainQueue::QtMainQueue(std::shared_ptr<QApplication> application)
    : m_application(std::move(application)), m_state(std::make_shared<State>()),
      m_context(std::make_unique<QObject>()) {
    assert(m_application && "the main queue runs on the application's event loop");
    m_timer = new QTimer(m_context.get());
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_timer, &QTimer::timeout, m_context.get(), [this] { runDue(); });
}

QtMainQueue::~QtMainQueue() {
    // Closures are destroyed outside the lock: one that posts from its destructor would
    // otherwise deadlock.
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(m_state->mutex);
        m_state->alive = false;
        dropped.swap(m_state->posted);
    }
}

void QtMainQueue::post(std::function<void()> work) {
    std::unique_lock lock(m_state->mutex);
    if (!m_state->alive) {
        // Shutting down: nothing would run it. Destroyed after the lock is released.
        lock.unlock();
        return;
    }
    m_state->posted.push_back(std::move(work));
    if (std::exchange(m_state->drainScheduled, true)) {
        return;
    }
    // Scheduled under the lock: the destructor clears `alive` under the same lock before the
    // context goes, so the context is alive for as long as this call can reach it.
    std::weak_ptr<State> weakState = m_state;
    QMetaObject::invokeMethod(
        m_context.get(),
        [this, weakState] {
            auto state = weakState.lock();
            if (state && state->alive) {
                drainPosted();
            }
        },
        Qt::QueuedConnection);
}

void QtMainQueue::drainPosted() {
    // Only the work present now: work posted meanwhile waits for the next turn of the event
    // loop, so a closure that re-posts itself cannot starve input and painting.
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard lock(m_state->mutex);
        batch.swap(m_state->posted);
        m_state->drainScheduled = false;
    }
    for (auto& work : batch) {
        work();
    }
}

void QtMainQueue::postAfter(double seconds, std::function<void()> work) {
    if (!(seconds > 0)) {
        post(std::move(work));
        return;
    }
    const auto due =
        std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                               std::chrono::duration<double>(std::min(seconds, 1.0e9)));
    auto add = [this, due, work = std::move(work)]() mutable {
        m_delayed.emplace(Due{due, m_nextSequence++}, std::move(work));
        armTimer();
    };
    if (isMainThread()) {
        add();
    } else {
        // The timer belongs to the main thread; the due time was taken at the call.
        post(std::move(add));
    }
}

void QtMainQueue::runDue() {
    const auto now = std::chrono::steady_clock::now();
    while (!m_delayed.empty() && m_delayed.begin()->first.time <= now) {
        auto work = std::move(m_delayed.begin()->second);
        m_delayed.erase(m_delayed.begin());
        work();
    }
    armTimer();
}

void QtMainQueue::armTimer() {
    if (m_delayed.empty()) {
        m_timer->stop();
        return;
    }
    const auto remaining = m_delayed.begin()->first.time - std::chrono::steady_clock::now();
    // Rounded up: a timer that fires early would only be re-armed.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(remaining);
    m_timer->start(std::max<std::chrono::milliseconds>(ms, std::chrono::milliseconds(0)));
}

bool QtMainQueue::isMainThread() const {
    return QThread::currentThread() == m_application->thread();
}

} // namespace drovane::desktop
