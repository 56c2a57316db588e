#pragma once

#include <functional>
#include <memory>
#include <string>

namespace drovane {

// A background queue running at most `width` pieces of work at once (width 1: serial, in
// submission order). Work still queued when the last reference goes is dropped.
class TaskQueue {
public:
    virtual ~TaskQueue() = default;

    // Queues `work` to run off the main thread. Any thread.
    virtual void async(std::function<void()> work) = 0;
    // The label given at creation ("app.drovane.library-scan"). Any thread.
    virtual const std::string& label() const = 0;
};

// How urgent a queue's work is; backends map it to thread priorities.
enum class QualityOfService { Utility, UserInitiated };

class TaskQueues {
public:
    virtual ~TaskQueues() = default;

    // A new queue with the given label, width (>= 1) and priority. Any thread.
    virtual std::shared_ptr<TaskQueue> make(std::string label, int width, QualityOfService qos) = 0;
};

} // namespace drovane
