#include "desktop/ChildProcess.h"
#include "fakes/TempDir.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

namespace drovane::e2e {
namespace {

using namespace std::chrono_literals;
using desktop::testing::ChildProcess;

class ProgramTest : public testing::Test {
protected:
    std::map<std::string, std::string> environment() const {
        return {{"HOME", home.path()},
                {"XDG_CONFIG_HOME", home / ".config"},
                {"XDG_CACHE_HOME", home / ".cache"},
                {"XDG_RUNTIME_DIR", home / "run"},
                {"DROVANE_SYSTEM_ROOT", home / "root"},
                {"DROVANE_SITE_URL", "http://127.0.0.1:9"},
                // No session bus: a second copy must not reach a copy of another test.
                {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home / "no-bus"}};
    }
    std::string lockPath() const { return home / "run/drovane/instance.lock"; }

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

    // Before anything else: even a copy that could reach no display says so and leaves.
    auto noDisplay = environment();
    noDisplay["DISPLAY"] = "";
    noDisplay["WAYLAND_DISPLAY"] = "";
    for (auto& env : {environment(), noDisplay}) {
        auto second = program({"--open-window"}, env);
        EXPECT_EQ(second.waitForExit(20s), 0);
        EXPECT_EQ(second.lines(), std::vector<std::string>{"Drovane: another instance is running (lock " +
                                                           lockPath() + "), exiting"})
            << "the second copy does nothing else";
    }

    EXPECT_FALSE(first.waitForExit(200ms)) << "the first copy runs on";
    const auto before = std::chrono::steady_clock::now();
    first.signal(SIGTERM);
    EXPECT_EQ(first.waitForExit(5s), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s) << "SIGTERM ends it at once";

    // The lock file stays behind; the lock went with the process.
    EXPECT_TRUE(std::filesystem::exists(lockPath()));
    auto third = program({"--onboarding"}, environment());
    EXPECT_TRUE(third.waitForLine("Drovane: no video found in ", 20s));
}

// Whether `pid` catches SIGTERM (its handler is installed), from /proc/PID/status.
bool catchesSigterm(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("SigCgt:")) {
            return (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1;
        }
    }
    return false;
}

// How many sockets `pid` holds open (the X server, the buses).
int openSockets(pid_t pid) {
    int sockets = 0;
    std::error_code ec;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        std::error_code ignored;
        sockets += std::filesystem::read_symlink(fd.path(), ignored).string().starts_with("socket:");
    }
    return sockets;
}

TEST_F(ProgramTest, SigtermAtAnyMomentOfStartUpExitsZero) {
    // From the first step of main (the handler, then the lock) through the platform's making to
    // the launch. Before main, the dynamic loader maps Qt and the rest (about 0.1 s): no code of
    // the program runs then, so the kernel's default action stands.
    for (const auto delay : {0ms, 1ms, 5ms, 20ms, 50ms, 100ms, 200ms, 400ms}) {
        auto drovane = program({"--onboarding"}, environment());
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!catchesSigterm(drovane.pid()) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(100us);
        }
        if (delay == 0ms) {
            EXPECT_EQ(openSockets(drovane.pid()), 0) << "the handler comes before any connection";
        }
        std::this_thread::sleep_for(delay);
        drovane.signal(SIGTERM);
        EXPECT_EQ(drovane.waitForExit(5s), 0) << "SIGTERM " << delay.count() << " ms into main";
    }
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
