#include "library/MemoryCache.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace drovane {
namespace {

TEST(MemoryCache, EvictsTheLeastRecentlyUsedOverEitherLimit) {
    struct Case {
        const char* name;
        std::size_t countLimit, costLimit;
        std::vector<std::pair<std::string, std::size_t>> inserts; // key, cost
        std::vector<std::string> touched;                         // read after the first two inserts
        std::vector<std::string> kept, evicted;
    };
    const Case cases[] = {
        {"count", 2, 0, {{"a", 1}, {"b", 1}, {"c", 1}}, {}, {"b", "c"}, {"a"}},
        {"cost", 0, 10, {{"a", 4}, {"b", 4}, {"c", 4}}, {}, {"b", "c"}, {"a"}},
        {"a read keeps an entry", 2, 0, {{"a", 1}, {"b", 1}, {"c", 1}}, {"a"}, {"a", "c"}, {"b"}},
        {"one costly entry clears several", 0, 10, {{"a", 3}, {"b", 3}, {"c", 9}}, {}, {"c"}, {"a", "b"}},
        {"no limits", 0, 0, {{"a", 100}, {"b", 100}, {"c", 100}}, {}, {"a", "b", "c"}, {}},
        {"replacing frees the old cost", 0, 10, {{"a", 4}, {"b", 4}, {"b", 6}}, {}, {"a", "b"}, {}},
    };
    for (const Case& c : cases) {
        MemoryCache<int> cache(c.countLimit, c.costLimit);
        for (std::size_t i = 0; i < c.inserts.size(); ++i) {
            if (i == 2) {
                for (const auto& key : c.touched) {
                    cache.object(key);
                }
            }
            cache.setObject(c.inserts[i].first, static_cast<int>(i), c.inserts[i].second);
        }
        for (const auto& key : c.kept) {
            EXPECT_TRUE(cache.object(key)) << c.name << ": " << key;
        }
        for (const auto& key : c.evicted) {
            EXPECT_FALSE(cache.object(key)) << c.name << ": " << key;
        }
        EXPECT_EQ(cache.count(), c.kept.size()) << c.name;
        if (c.costLimit != 0) {
            EXPECT_LE(cache.totalCost(), c.costLimit) << c.name;
        }
    }
}

TEST(MemoryCache, StaysWithinLimitsUnderConcurrentUse) {
    MemoryCache<int> cache(50, 400);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&cache, t] {
            for (int i = 0; i < 2000; ++i) {
                const std::string key = std::to_string((i * 7 + t) % 120);
                cache.setObject(key, i, static_cast<std::size_t>(i % 13));
                cache.object(std::to_string(i % 120));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_LE(cache.count(), 50u);
    EXPECT_LE(cache.totalCost(), 400u);
}

} // namespace
} // namespace drovane
