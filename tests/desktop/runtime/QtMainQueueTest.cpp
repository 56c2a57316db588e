#include "desktop/runtime/QtMainQueue.h"

#include "desktop/GuiTestSupport.h"

#include <QApplication>
#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace drovane::desktop {
namespace {

using namespace testing;

TEST(QtMainQueue, DelayedWorkRunsByDueTimeThenPostingOrder) {
    QtMainQueue queue(testApplication());
    std::vector<std::string> order;
    auto note = [&](std::string name) { return [&, name] { order.push_back(name); }; };
    queue.postAfter(0.12, note("c"));
    queue.postAfter(0.04, note("a1"));
    queue.postAfter(0.04, note("a2"));
    queue.postAfter(0.08, note("b"));
    queue.post(note("now"));
    queue.postAfter(-1, note("now2"));
    ASSERT_TRUE(waitUntil([&] { return order.size() == 6; }, 3));
    EXPECT_EQ(order, (std::vector<std::string>{"now", "now2", "a1", "a2", "b", "c"}));
}

TEST(QtMainQueue, WorkPostedFromOtherThreadsRunsOnTheMainThreadInOrder) {
    QtMainQueue queue(testApplication());
    EXPECT_TRUE(queue.isMainThread());
    std::vector<int> seen;
    std::atomic<bool> offMainThread{false};
    std::atomic<bool> allOnMain{true};
    std::thread worker([&] {
        offMainThread = !queue.isMainThread();
        for (int i = 0; i < 100; ++i) {
            queue.post([&, i] {
                allOnMain = allOnMain && queue.isMainThread();
                seen.push_back(i);
            });
        }
        queue.postAfter(0.02, [&] { seen.push_back(1000); });
    });
    worker.join();
    EXPECT_TRUE(offMainThread);
    ASSERT_TRUE(waitUntil([&] { return seen.size() == 101; }, 3));
    EXPECT_TRUE(allOnMain);
    // Each once: in posting order, the delayed one last, exactly when sorted.
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
}

TEST(QtMainQueue, WorkThatPostsMoreLetsTheEventLoopRunBetween) {
    QtMainQueue queue(testApplication());
    int depth = 0;
    std::function<void()> again = [&] {
        if (++depth < 50) {
            queue.post(again);
        }
    };
    queue.post(again);
    // One turn of the loop runs one generation, not all fifty.
    QCoreApplication::processEvents();
    EXPECT_LT(depth, 50);
    ASSERT_TRUE(waitUntil([&] { return depth == 50; }, 3));
}

// Pending work goes with the queue, and so does work whose captures post when they are destroyed
// with it: no deadlock, and nothing posted during shutdown runs after it.
TEST(QtMainQueue, PendingWorkIsDroppedWithTheQueueAndPostingDuringShutdownIsSafe) {
    int ran = 0;
    {
        QtMainQueue queue(testApplication());
        queue.post([&] { ++ran; });
        queue.postAfter(0.01, [&] { ++ran; });
        for (int i = 0; i < 3; ++i) {
            auto postsBack = std::shared_ptr<void>(nullptr, [&](void*) { queue.post([&] { ++ran; }); });
            queue.post([postsBack] {});
        }
    }
    spin(0.1);
    EXPECT_EQ(ran, 0);
}

} // namespace
} // namespace drovane::desktop
