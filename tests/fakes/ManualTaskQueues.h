#pragma once

#include "fakes/LiveObjects.h"
#include "platform/TaskQueue.h"

#include <deque>
#include <map>
#include <mutex>
#include <vector>

namespace drovane::fakes {

// A background queue whose work runs only when the test says so, on the test's thread.
class ManualTaskQueue final : public TaskQueue {
public:
    explicit ManualTaskQueue(std::string label) : m_label(std::move(label)) {}

    void async(std::function<void()> work) override {
        std::lock_guard lock(m_mutex);
        m_work.push_back(std::move(work));
    }
    const std::string& label() const override { return m_label; }

    std::size_t pendingCount() const {
        std::lock_guard lock(m_mutex);
        return m_work.size();
    }
    // Runs work until none is left, including work queued meanwhile; returns how many ran.
    std::size_t runAll() {
        for (std::size_t count = 0;; ++count) {
            std::function<void()> work;
            {
                std::lock_guard lock(m_mutex);
                if (m_work.empty())
                    return count;
                work = std::move(m_work.front());
                m_work.pop_front();
            }
            work();
        }
    }

private:
    const std::string m_label;
    mutable std::mutex m_mutex;
    std::deque<std::function<void()>> m_work;
};

class ManualTaskQueues final : public TaskQueues {
public:
    std::shared_ptr<TaskQueue> make(std::string label, int, QualityOfService) override {
        auto queue = std::make_shared<ManualTaskQueue>(label);
        std::lock_guard lock(m_mutex);
        m_queues[label] = queue;
        m_made.push_back(queue);
        return queue;
    }
    // The last queue made with `label`; null when none was.
    std::shared_ptr<ManualTaskQueue> queue(const std::string& label) const {
        std::lock_guard lock(m_mutex);
        auto it = m_queues.find(label);
        return it == m_queues.end() ? nullptr : it->second;
    }
    // Work queued on every queue still alive, also those made again under the same label.
    std::size_t pendingCount() {
        std::size_t count = 0;
        for (const auto& queue : liveQueues()) {
            count += queue->pendingCount();
        }
        return count;
    }
    // Runs the work of every queue still alive until none is left; returns how many ran.
    std::size_t runAll() {
        std::size_t total = 0;
        for (std::size_t ran = 1; ran > 0; total += ran) {
            ran = 0;
            for (const auto& queue : liveQueues()) {
                ran += queue->runAll();
            }
        }
        return total;
    }

private:
    std::vector<std::shared_ptr<ManualTaskQueue>> liveQueues() {
        std::lock_guard lock(m_mutex);
        return liveObjects(m_made);
    }

    mutable std::mutex m_mutex;
    std::map<std::string, std::shared_ptr<ManualTaskQueue>> m_queues;
    // Weakly: a queue whose work holds it lives until that work ran, whoever else let it go.
    std::vector<std::weak_ptr<ManualTaskQueue>> m_made;
};

} // namespace drovane::fakes
