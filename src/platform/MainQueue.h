#pragma once

#include <functional>

namespace drovane {

// The main thread's work queue. Everything that touches the state of the shell, the engine,
// the downloader, the store and the windows runs on it.
class MainQueue {
public:
    virtual ~MainQueue() = default;

    // Runs `work` on the main thread soon, after work posted earlier. Any thread.
    virtual void post(std::function<void()> work) = 0;
    // Runs `work` on the main thread once `seconds` have passed (0 or less: as post). Any thread.
    virtual void postAfter(double seconds, std::function<void()> work) = 0;
    // True on the main thread. Any thread.
    virtual bool isMainThread() const = 0;
};

} // namespace drovane
