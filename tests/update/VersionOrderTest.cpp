#include "update/VersionOrder.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

TEST(VersionOrder, NewerComparesNumberByNumberOverTheShorterList) {
    struct Case {
        std::string a, b;
        bool aNewer, bNewer;
    };
    const Case cases[] = {
        {"1.4.0", "1.4", false, false},
        {"1.4.1", "1.4", true, false},
        {"1.5.0", "1.5.0-beta.2", true, false},
        {"1.5.0-beta.2", "1.5.0-beta.1", true, false},
        {"1.5.0-beta.2", "1.5.0-alpha.9", true, false},
        {"1.5.0-rc.1", "1.5.0-beta.9", true, false},
        {"1.10.0", "1.9.9", true, false},
        {"2.0-rc1", "2.0-rc2", false, false},
        // "rc1" is no number
        {"1.2.3.4", "1.2.3", false, true},
        // up to the shorter list: 4 meets the final pair
        {"", "", false, false},
        {"-", "", false, false},
        {"0.0.1", "", true, false},
        {"1.x.0", "1.0", false, false},
        {"1.5-Beta.2", "1.5-beta.9", true, false},       // kinds match by case: "Beta" is no beta
        {"99999999999999999999.1", "0.1", false, false}, // a number too large reads as 0
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isNewer(c.a, c.b), c.aNewer) << c.a << " against " << c.b;
        EXPECT_EQ(isNewer(c.b, c.a), c.bNewer) << c.b << " against " << c.a;
    }
}

} // namespace
} // namespace drovane
