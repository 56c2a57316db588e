#pragma once

#include "platform/TaskQueue.h"

#include <memory>

namespace drovane::desktop {

// Background queues on threads of their own. A queue starts its threads as work arrives, up to
// its width, and keeps them until it goes; its destructor drops the queued work, lets running
// work finish and joins the threads (a queue released from inside its own work detaches
// instead). Utility queues run at a lower scheduling priority (nice 10).
class ThreadTaskQueues final : public TaskQueues {
public:
    std::shared_ptr<TaskQueue> make(std::string label, int width, QualityOfService qos) override;
};

} // namespace drovane::desktop
