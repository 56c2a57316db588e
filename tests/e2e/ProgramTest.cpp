#include "desktop/ChildProcess.h"
#include "fakes/TempDir.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>

namespace drovane::e2e {
namespace {

using namespace std::chrono_literals;
using desktop::testing::ChildProcess;

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

    // The built program with `arguments`, its standard error captured.
    static ChildProcess program(std::vector<std::string> arguments,
                                const std::map<std::string, std::string>& env) {
        arguments.insert(arguments.begin(), DROVANE_BINARY);
        return ChildProcess(arguments, env);
    }

    fakes::TempDir home;
};

TEST_F(ProgramTest, ASecondCopyLogsAndLeavesWhileTheFirstRunsOnUntilSigterm) {
    auto first = program({"--onboarding"}, environment());
    ASSERT_TRUE(first.waitForLine("Drovane: no video found in ", 20s)) << "the first copy has launched";

    auto second = program({"--open-window"}, environment());
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

    auto third = program({"--onboarding"}, environment());
    EXPECT_TRUE(third.waitForLine("Drovane: no video found in ", 20s)) << "the lock went with the process";
}

TEST_F(ProgramTest, TheSampleLibraryPlaysWithoutComplaint) {
    const std::string library = home / "library";
    ASSERT_EQ(std::system(("'" SAMPLE_LIBRARY_TOOL "' --out '" + library + "' >/dev/null").c_str()), 0);
    auto env = environment();
    env["HOME"] = library + "/home";
    env["XDG_CONFIG_HOME"] = library + "/home/.config";
    env["DROVANE_SYSTEM_ROOT"] = library + "/root";
    auto drovane = program({}, env);
    EXPECT_FALSE(drovane.waitForExit(6s)) << "it keeps running";
    for (const auto& line : drovane.lines()) {
        EXPECT_FALSE(line.starts_with("Drovane: no video found")) << line;
    }
    drovane.signal(SIGTERM);
    EXPECT_EQ(drovane.waitForExit(5s), 0);
}

} // namespace
} // namespace drovane::e2e
