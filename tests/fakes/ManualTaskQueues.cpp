#include "fakes/ManualTaskQueues.h"

#include "fakes/LiveObjects.h"

namespace drovane::fakes {

void ManualTaskQueue::async(std::function<void()> work) {
    std::lock_guard lock(m_mutex);
    m_work.push_back(std::move(work));
}

std::size_t ManualTaskQueue::pendingCount() const {
    std::lock_guard lock(m_mutex);
    return m_work.size();
}

std::size_t ManualTaskQueue::runAll() {
    std::size_t count = 0;
    for (;;) {
        std::function<void()> work;
        {
            std::lock_guard lock(m_mutex);
            if (m_work.empty())
                return count;
            work = std::move(m_work.front());
            m_work.pop_front();
        }
        work();
        ++count;
    }
}

std::shared_ptr<TaskQueue> ManualTaskQueues::make(std::string label, int, QualityOfService) {
    auto queue = std::make_shared<ManualTaskQueue>(label);
    std::lock_guard lock(m_mutex);
    m_queues[label] = queue;
    m_made.push_back(queue);
    return queue;
}

std::vector<std::shared_ptr<ManualTaskQueue>> ManualTaskQueues::liveQueues() {
    std::lock_guard lock(m_mutex);
    return liveObjects(m_made);
}

std::size_t ManualTaskQueues::pendingCount() {
    std::size_t count = 0;
    for (const auto& queue : liveQueues()) {
        count += queue->pendingCount();
    }
    return count;
}

std::size_t ManualTaskQueues::runAll() {
    std::size_t total = 0;
    for (std::size_t ran = 1; ran > 0; total += ran) {
        ran = 0;
        for (const auto& queue : liveQueues()) {
            ran += queue->runAll();
        }
    }
    return total;
}

std::shared_ptr<ManualTaskQueue> ManualTaskQueues::queue(const std::string& label) const {
    std::lock_guard lock(m_mutex);
    auto it = m_queues.find(label);
    return it == m_queues.end() ? nullptr : it->second;
}

} // namespace drovane::fakes
