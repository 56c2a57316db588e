#include "fakes/FakePlatform.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

// The timing tests of every other part stand on these rules of the fake main queue.
TEST(VirtualClock, WorkRunsInDueOrderAndOnlyWhenTimeReachesIt) {
    fakes::FakePlatform fake;
    std::vector<std::string> ran;
    fake.mainQueue->postAfter(2.0, [&] { ran.push_back("2s"); });
    fake.mainQueue->post([&] { ran.push_back("now-a"); });
    fake.mainQueue->postAfter(1.0, [&] {
        ran.push_back("1s at " + std::to_string(fake.clock->elapsed()));
        // Posted while advancing and due inside the window: runs in the same advance.
        fake.mainQueue->postAfter(0.5, [&] { ran.push_back("1.5s"); });
    });
    fake.mainQueue->post([&] { ran.push_back("now-b"); });
    EXPECT_TRUE(ran.empty()) << "nothing runs inside post()";

    fake.mainQueue->drain();
    EXPECT_EQ(ran, (std::vector<std::string>{"now-a", "now-b"}));
    EXPECT_EQ(fake.clock->elapsed(), 0.0);

    fake.mainQueue->advance(1.9);
    EXPECT_EQ(ran, (std::vector<std::string>{"now-a", "now-b", "1s at 1.000000", "1.5s"}));
    EXPECT_DOUBLE_EQ(fake.clock->elapsed(), 1.9);
    EXPECT_EQ(fake.mainQueue->pendingCount(), 1u);

    fake.mainQueue->advance(0.1);
    EXPECT_EQ(ran.back(), "2s");
    EXPECT_EQ(fake.mainQueue->pendingCount(), 0u);
}

} // namespace
} // namespace drovane
