#pragma once

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

    void async(std::function<void()> work) override;
    const std::string& label() const override { return m_label; }

    std::size_t pendingCount() const;
    // Runs work until none is left, including work queued meanwhile; returns how many ran.
    std::size_t runAll();

private:
    const std::string m_label;
    mutable std::mutex m_mutex;
    std::deque<std::function<void()>> m_work;
};

class ManualTaskQueues final : public TaskQueues {
public:
    std::shared_ptr<TaskQueue> make(std::string label, int width, QualityOfService qos) override;
    // The last queue made with `label`; null when none was.
    std::shared_ptr<ManualTaskQueue> queue(const std::string& label) const;
    // Work queued on every queue still alive, also those made again under the same label.
    std::size_t pendingCount();
    // Runs the work of every queue still alive until none is left; returns how many ran.
    std::size_t runAll();

private:
    std::vector<std::shared_ptr<ManualTaskQueue>> liveQueues();

    mutable std::mutex m_mutex;
    std::map<std::string, std::shared_ptr<ManualTaskQueue>> m_queues;
    // Weakly: a queue whose work holds it lives until that work ran, whoever else let it go.
    std::vector<std::weak_ptr<ManualTaskQueue>> m_made;
};

} // namespace drovane::fakes
