#include "desktop/runtime/ThreadTaskQueues.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace drovane::desktop {
namespace {

using namespace std::chrono_literals;

// Waits on a condition with a timeout, for work running on other threads.
template <typename Predicate> bool eventually(std::mutex& mutex, std::condition_variable& cv, Predicate p) {
    std::unique_lock lock(mutex);
    return cv.wait_for(lock, 5s, p);
}

TEST(ThreadTaskQueues, ASerialQueueRunsInSubmissionOrderOneAtATimeOffTheCallingThread) {
    ThreadTaskQueues queues;
    auto queue = queues.make("app.drovane.library-scan", 1, QualityOfService::Utility);
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<int> order;
    std::atomic<int> running{0}, most{0};
    std::atomic<bool> onCaller{false};
    const auto caller = std::this_thread::get_id();
    for (int i = 0; i < 200; ++i) {
        queue->async([&, i] {
            const int now = ++running;
            most = std::max(most.load(), now);
            onCaller = onCaller || std::this_thread::get_id() == caller;
            std::this_thread::sleep_for(std::chrono::microseconds(i % 7 == 0 ? 200 : 0));
            --running;
            std::lock_guard lock(mutex);
            order.push_back(i);
            cv.notify_all();
        });
    }
    ASSERT_TRUE(eventually(mutex, cv, [&] { return order.size() == 200; }));
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(order[i], i);
    }
    EXPECT_EQ(most, 1);
    EXPECT_FALSE(onCaller);
}

TEST(ThreadTaskQueues, AWideQueueRunsUpToItsWidthAtOnceAndNoMore) {
    ThreadTaskQueues queues;
    auto queue = queues.make("app.drovane.thumbs", 4, QualityOfService::UserInitiated);
    std::mutex mutex;
    std::condition_variable cv;
    int running = 0, most = 0, finished = 0;
    bool release = false;
    for (int i = 0; i < 12; ++i) {
        queue->async([&] {
            std::unique_lock lock(mutex);
            most = std::max(most, ++running);
            cv.notify_all();
            cv.wait(lock, [&] { return release; });
            --running;
            ++finished;
            cv.notify_all();
        });
    }
    // Four start and block; the rest wait for a free place.
    ASSERT_TRUE(eventually(mutex, cv, [&] { return running == 4; }));
    std::this_thread::sleep_for(50ms);
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(running, 4);
        release = true;
    }
    cv.notify_all();
    ASSERT_TRUE(eventually(mutex, cv, [&] { return finished == 12; }));
    EXPECT_EQ(most, 4);
}

TEST(ThreadTaskQueues, QueuedWorkIsDroppedWithTheQueueAndPostingDuringShutdownIsSafe) {
    ThreadTaskQueues queues;
    auto queue = queues.make("app.drovane.previews", 1, QualityOfService::Utility);
    std::mutex mutex;
    std::condition_variable cv;
    bool started = false, release = false;
    std::atomic<int> ran{0};
    queue->async([&] {
        std::unique_lock lock(mutex);
        started = true;
        cv.notify_all();
        cv.wait(lock, [&] { return release; });
        ++ran;
    });
    for (int i = 0; i < 10; ++i) {
        queue->async([&] { ++ran; });
    }
    // Posting during shutdown is safe: work whose captures post back into the queue when they
    // are destroyed with it neither deadlocks nor starts a thread nobody joins.
    for (int i = 0; i < 3; ++i) {
        auto* raw = queue.get();
        auto postsBack = std::shared_ptr<void>(nullptr, [&, raw](void*) { raw->async([&] { ++ran; }); });
        queue->async([postsBack] {});
    }
    ASSERT_TRUE(eventually(mutex, cv, [&] { return started; }));
    std::thread releaser([&] {
        std::this_thread::sleep_for(30ms);
        std::lock_guard lock(mutex);
        release = true;
        cv.notify_all();
    });
    // Waits for the running piece, drops the thirteen queued ones.
    queue.reset();
    releaser.join();
    EXPECT_EQ(ran, 1);
}

TEST(ThreadTaskQueues, AQueueReleasedFromItsOwnWorkDoesNotDeadlock) {
    ThreadTaskQueues queues;
    auto queue = queues.make("self", 1, QualityOfService::Utility);
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    auto* raw = queue.get();
    raw->async([&, keep = std::move(queue)]() mutable {
        keep.reset();
        std::lock_guard lock(mutex);
        done = true;
        cv.notify_all();
    });
    ASSERT_TRUE(eventually(mutex, cv, [&] { return done; }));
}

} // namespace
} // namespace drovane::desktop
