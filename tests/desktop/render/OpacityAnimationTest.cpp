#include "desktop/render/OpacityAnimation.h"

#include "desktop/DesktopTestSupport.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace drovane::desktop {
namespace {

using namespace testing;

class OpacityAnimationTest : public ::testing::Test {
protected:
    void SetUp() override { ensureQtApplication(); }

    static void processEvents(double seconds) {
        waitFor([] { return false; }, nullptr, seconds);
    }

    std::vector<double> m_shown;
    std::unique_ptr<OpacityAnimation> m_animation =
        std::make_unique<OpacityAnimation>([this](double opacity) { m_shown.push_back(opacity); });
};

TEST_F(OpacityAnimationTest, AFadeClimbsOnTheClockToItsTargetThenCompletesOnce) {
    QElapsedTimer clock;
    clock.start();
    int completions = 0;
    qint64 completedAfterMs = 0;
    std::vector<double> shownAtCompletion;
    m_animation->run(0.2, 0.8, 0.15, [&] {
        ++completions;
        completedAfterMs = clock.elapsed();
        shownAtCompletion = m_shown;
    });
    ASSERT_TRUE(waitFor([&] { return completions == 1; }));
    processEvents(0.1);

    EXPECT_EQ(completions, 1);
    EXPECT_GE(completedAfterMs, 150);
    EXPECT_EQ(shownAtCompletion, m_shown) << "nothing shows after the completion";
    ASSERT_FALSE(m_shown.empty());
    EXPECT_TRUE(std::is_sorted(m_shown.begin(), m_shown.end()));
    EXPECT_GE(m_shown.front(), 0.2);
    EXPECT_EQ(m_shown.back(), 0.8);
}

TEST_F(OpacityAnimationTest, WithoutAPositiveDurationTheTargetShowsAtOnceAndTheCompletionIsQueued) {
    for (double seconds : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
        SCOPED_TRACE(seconds);
        m_shown.clear();
        int completions = 0;
        m_animation->run(0.3, 0.7, seconds, [&] { ++completions; });
        EXPECT_EQ(m_shown, std::vector<double>{0.7});
        EXPECT_EQ(completions, 0) << "never inside the call";
        processEvents(0.05);
        EXPECT_EQ(completions, 1);
        EXPECT_EQ(m_shown, std::vector<double>{0.7});
    }
}

TEST_F(OpacityAnimationTest, AReplacedOrInterruptedFadeStopsWhereItIsAndCompletesLaterUnlessItsLayerGoes) {
    int replaced = 0;
    int replacing = 0;
    m_animation->run(0.0, 1.0, 10, [&] { ++replaced; });
    m_animation->run(1.0, 0.0, 0.05, [&] { ++replacing; });
    EXPECT_EQ(replaced, 0) << "never inside the call";
    ASSERT_TRUE(waitFor([&] { return replacing == 1; }));
    EXPECT_EQ(replaced, 1);
    EXPECT_EQ(m_shown.back(), 0.0) << "the replaced fade shows nothing after the new one";

    m_shown.clear();
    int interrupted = 0;
    m_animation->run(0.0, 1.0, 10, [&] { ++interrupted; });
    ASSERT_TRUE(waitFor([&] { return !m_shown.empty(); }));
    m_animation->interrupt();
    const std::size_t shownBefore = m_shown.size();
    EXPECT_EQ(interrupted, 0);
    processEvents(0.1);
    EXPECT_EQ(interrupted, 1);
    EXPECT_EQ(m_shown.size(), shownBefore);
    EXPECT_LT(m_shown.back(), 1.0);

    // A fade that goes with its layer never shows or completes again.
    int gone = 0;
    m_animation->run(0.0, 1.0, 0.3, [&] { ++gone; });
    ASSERT_TRUE(waitFor([&] { return m_shown.size() > shownBefore; }));
    m_animation.reset();
    const std::size_t shownAtReset = m_shown.size();
    processEvents(0.5);
    EXPECT_EQ(gone, 0);
    EXPECT_EQ(m_shown.size(), shownAtReset);
}

} // namespace
} // namespace drovane::desktop
