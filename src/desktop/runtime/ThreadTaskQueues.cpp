#include "desktop/runtime/ThreadTaskQueues.h"

#include <algorithm>
#include <cassert>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <pthread.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace drovane::desktop {

namespace {

struct QueueState {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> work;
    bool stopping = false;
    int idle = 0;
};

class ThreadTaskQueue final : public TaskQueue {
public:
    ThreadTaskQueue(std::string label, int width, QualityOfService qos)
        : m_label(std::move(label)), m_width(std::max(1, width)), m_qos(qos),
          m_state(std::make_shared<QueueState>()) {}

    ~ThreadTaskQueue() override {
        // Queued closures are destroyed outside the lock: one whose captures post back on
        // destruction would otherwise deadlock.
        std::deque<std::function<void()>> dropped;
        {
            std::lock_guard lock(m_state->mutex);
            m_state->stopping = true;
            dropped.swap(m_state->work);
        }
        m_state->wake.notify_all();
        const auto self = std::this_thread::get_id();
        for (auto& thread : m_threads) {
            if (thread.get_id() == self) {
                thread.detach();
            } else {
                thread.join();
            }
        }
    }

    void async(std::function<void()> work) override {
        std::unique_lock lock(m_state->mutex);
        if (m_state->stopping) {
            // Posted while the queue goes (from a dropped closure's destructor, say): nothing
            // would run it, and a thread started now would never be joined.
            lock.unlock();
            return;
        }
        m_state->work.push_back(std::move(work));
        // A new thread only when the idle ones cannot take all the waiting work.
        if (static_cast<int>(m_state->work.size()) > m_state->idle &&
            static_cast<int>(m_threads.size()) < m_width) {
            startThread();
        } else {
            m_state->wake.notify_one();
        }
    }

    const std::string& label() const override { return m_label; }

private:
    // Called with the state's mutex held.
    void startThread() {
        // Threads hold the state, never the queue: the queue may go while they run.
        auto state = m_state;
        const int nice = m_qos == QualityOfService::Utility ? 10 : 0;
        std::string name = m_label.substr(0, 15); // the kernel's limit for thread names
        m_threads.emplace_back([state, nice, name] {
            pthread_setname_np(pthread_self(), name.c_str());
            if (nice != 0) {
                // Linux keeps a nice value per thread.
                setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice);
            }
            run(*state);
        });
    }

    static void run(QueueState& state) {
        std::unique_lock lock(state.mutex);
        for (;;) {
            ++state.idle;
            state.wake.wait(lock, [&] { return state.stopping || !state.work.empty(); });
            --state.idle;
            if (state.stopping) {
                return;
            }
            auto work = std::move(state.work.front());
            state.work.pop_front();
            lock.unlock();
            work();
            // Destroy what the closure captured before the queue may be torn down.
            work = nullptr;
            lock.lock();
        }
    }

    const std::string m_label;
    const int m_width;
    const QualityOfService m_qos;
    std::shared_ptr<QueueState> m_state;
    // Guarded by m_state->mutex.
    std::vector<std::thread> m_threads;
};

} // namespace

std::shared_ptr<TaskQueue> ThreadTaskQueues::make(std::string label, int width, QualityOfService qos) {
    assert(width >= 1 && "a queue runs at least one piece of work at a time");
    return std::make_shared<ThreadTaskQueue>(std::move(label), width, qos);
}

} // namespace drovane::desktop
