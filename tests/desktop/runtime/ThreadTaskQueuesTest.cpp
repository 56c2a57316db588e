#include "desktop/runtime/ThreadTaskQueues.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace drovane::desktop {
namespace {

using namespace std::chrono_literals;

// Work on other threads, waited for under one lock with a timeout.
struct Shared {
    std::mutex mutex;
    std::condition_variable cv;
    template <typename Predicate> bool eventually(Predicate p) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, 5s, p);
    }
};

// A queue of width 1 runs its work in submission order; any queue runs up to its width at once,
// never more, and never on the calling thread.
TEST(ThreadTaskQueues, AQueueRunsUpToItsWidthAtOnceOffTheCallingThreadASerialOneInOrder) {
    for (const int width : {1, 4}) {
        SCOPED_TRACE(width);
        ThreadTaskQueues queues;
        auto queue = queues.make("app.drovane.thumbs", width, QualityOfService::UserInitiated);
        Shared shared;
        std::vector<int> order;
        int running = 0, most = 0;
        bool release = false, onCaller = false;
        const auto caller = std::this_thread::get_id();
        for (int i = 0; i < 12; ++i) {
            queue->async([&, i] {
                std::unique_lock lock(shared.mutex);
                most = std::max(most, ++running);
                onCaller = onCaller || std::this_thread::get_id() == caller;
                shared.cv.notify_all();
                shared.cv.wait(lock, [&] { return release; });
                --running;
                order.push_back(i);
                shared.cv.notify_all();
            });
        }
        // As many start and block as the width allows; the rest wait for a free place.
        ASSERT_TRUE(shared.eventually([&] { return running == width; }));
        std::this_thread::sleep_for(50ms);
        {
            std::lock_guard lock(shared.mutex);
            EXPECT_EQ(running, width);
            release = true;
        }
        shared.cv.notify_all();
        ASSERT_TRUE(shared.eventually([&] { return order.size() == 12; }));
        EXPECT_EQ(most, width);
        EXPECT_FALSE(onCaller);
        // Each of the twelve once: in order exactly when sorted.
        EXPECT_TRUE(width > 1 || std::is_sorted(order.begin(), order.end()));
    }
}

TEST(ThreadTaskQueues, QueuedWorkIsDroppedWithTheQueueAndPostingDuringShutdownIsSafe) {
    ThreadTaskQueues queues;
    auto queue = queues.make("app.drovane.previews", 1, QualityOfService::Utility);
    Shared shared;
    bool started = false, release = false;
    std::atomic<int> ran{0};
    queue->async([&] {
        std::unique_lock lock(shared.mutex);
        started = true;
        shared.cv.notify_all();
        shared.cv.wait(lock, [&] { return release; });
        ++ran;
    });
    for (int i = 0; i < 10; ++i) {
        queue->async([&] { ++ran; });
    }
    // Work whose captures post back into the queue when they are destroyed with it neither
    // deadlocks nor starts a thread nobody joins.
    for (int i = 0; i < 3; ++i) {
        auto* raw = queue.get();
        auto postsBack = std::shared_ptr<void>(nullptr, [&, raw](void*) { raw->async([&] { ++ran; }); });
        queue->async([postsBack] {});
    }
    ASSERT_TRUE(shared.eventually([&] { return started; }));
    std::thread releaser([&] {
        std::this_thread::sleep_for(30ms);
        std::lock_guard lock(shared.mutex);
        release = true;
        shared.cv.notify_all();
    });
    // Waits for the running piece, drops the thirteen queued ones.
    queue.reset();
    releaser.join();
    EXPECT_EQ(ran, 1);

    // A queue released from its own work does not deadlock.
    auto self = queues.make("self", 1, QualityOfService::Utility);
    bool done = false;
    auto* raw = self.get();
    raw->async([&, keep = std::move(self)]() mutable {
        keep.reset();
        std::lock_guard lock(shared.mutex);
        done = true;
        shared.cv.notify_all();
    });
    ASSERT_TRUE(shared.eventually([&] { return done; }));
}

} // namespace
} // namespace drovane::desktop
