#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace {

// Regression: the QApplication, kept by the installed platform, was destroyed among the static
// destructors after main returned, and the process crashed on its way out.
TEST(DesktopProcess, ReturningFromMainWithThePlatformInstalledExitsCleanly) {
    const int status = std::system(DROVANE_EXIT_HELPER " 2>/dev/null");
    ASSERT_TRUE(WIFEXITED(status)) << "the helper died of a signal";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
