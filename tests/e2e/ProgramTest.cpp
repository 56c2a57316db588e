#include "RunningProgram.h"
#include "fakes/TempDir.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>

namespace drovane::e2e {
namespace {

using namespace std::chrono_literals;

class ProgramTest : public testing::Test {
protected:
    std::map<std::string, std::string> environment() const {
        return {{"HOME", home.path()},
                {"XDG_CONFIG_HOME", home / ".config"},
                {"DROVANE_SYSTEM_ROOT", home / "root"},
                {"DROVANE_SITE_URL", "http://127.0.0.1:9"}};
    }
    std::string lockPath() const {
        return home.path() + "/Library/Application Support/Drovane/instance.lock";
    }

    fakes::TempDir home;
};

TEST_F(ProgramTest, ASecondCopyLogsAndLeavesWhileTheFirstRunsOnUntilSigterm) {
    RunningProgram first({"--onboarding"}, environment());
    ASSERT_TRUE(first.waitForLine("Drovane: no video found in ", 20s)) << "the first copy has launched";

    RunningProgram second({"--open-window"}, environment());
    EXPECT_EQ(second.waitForExit(20s), 0);
    const auto lines = second.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "Drovane: another instance is running (lock " + lockPath() + "), exiting"),
              lines.end());
    EXPECT_EQ(lines.size(), 1u) << "the second copy does nothing else";

    EXPECT_FALSE(first.waitForExit(200ms)) << "the first copy runs on";
    const auto before = std::chrono::steady_clock::now();
    first.signal(SIGTERM);
    EXPECT_EQ(first.waitForExit(5s), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s) << "SIGTERM ends it at once";

    RunningProgram third({"--onboarding"}, environment());
    EXPECT_TRUE(third.waitForLine("Drovane: no video found in ", 20s)) << "the lock went with the process";
}

TEST_F(ProgramTest, TheSampleLibraryPlaysWithoutComplaint) {
    const std::string library = home / "library";
    ASSERT_EQ(std::system(("'" SAMPLE_LIBRARY_TOOL "' --out '" + library + "' >/dev/null").c_str()), 0);
    auto env = environment();
    env["HOME"] = library + "/home";
    env["XDG_CONFIG_HOME"] = library + "/home/.config";
    env["DROVANE_SYSTEM_ROOT"] = library + "/root";
    RunningProgram program({}, env);
    EXPECT_FALSE(program.waitForExit(6s)) << "it keeps running";
    for (const auto& line : program.lines()) {
        EXPECT_FALSE(line.starts_with("Drovane: no video found")) << line;
    }
    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(5s), 0);
}

} // namespace
} // namespace drovane::e2e
