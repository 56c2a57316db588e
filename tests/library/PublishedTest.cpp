#include "library/Published.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace drovane {
namespace {

// That an assignment of the same value wakes nobody, the library store's tests show; that an
// ended subscription hears nothing more, every count of observers (one occlusion subscription
// after a rebuild, the store's observers once the library window has gone).
TEST(Published, ObserversMayEndSubscriptionsAndAddOthersWhileTold) {
    Published<int> count(0);
    std::optional<Subscription> later;
    Subscription added;
    int laterCalls = 0;
    int addedCalls = 0;
    Subscription first = count.subscribe([&] {
        later.reset(); // ends the next observer before its turn
        if (!added.isActive()) {
            added = count.subscribe([&] { ++addedCalls; });
        }
    });
    later = count.subscribe([&] { ++laterCalls; });

    count.assign(1);
    EXPECT_EQ(laterCalls, 0);
    EXPECT_EQ(addedCalls, 0) << "a new observer hears of the next change, not this one";
    count.assign(2);
    EXPECT_EQ(addedCalls, 1);
}

TEST(Published, ASubscriptionMayOutliveItsValue) {
    Subscription subscription;
    {
        Published<int> value(1);
        subscription = value.subscribe([] {});
        EXPECT_EQ(value.observerCount(), 1u);
    }
    subscription.reset(); // nothing left to unsubscribe from
    EXPECT_FALSE(subscription.isActive());
}

} // namespace
} // namespace drovane
