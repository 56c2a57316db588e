#include "update/SwapScript.h"

#include "fakes/TempDir.h"
#include "support/Files.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace drovane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The script, run by /bin/sh as the updater runs it, waits for a stand-in of the running
// program, then swaps a sandbox bundle whose path holds a single quote and a blank, and starts
// the new program.
TEST(SwapScript, SwapsTheBundleOnlyAfterTheProcessHasGoneAndStartsTheNewOne) {
    fakes::TempDir dir;
    const std::string home = dir / "it's my apps";
    const std::string installed = home + "/Drovane.app", staging = dir / "drovane-update-1",
                      staged = staging + "/Drovane.app";
    dir.write("it's my apps/Drovane.app/Contents/MacOS/drovane", "#!/bin/sh\necho old\n");
    const std::string started = dir / "started";
    dir.write("drovane-update-1/Drovane.app/Contents/MacOS/drovane",
              "#!/bin/sh\necho new > '" + started + "'\n");
    fs::permissions(staged + "/Contents/MacOS/drovane", fs::perms::owner_all);

    const pid_t standIn = ::fork();
    if (standIn == 0) {
        ::usleep(600'000);
        ::_exit(0);
    }
    const std::string script = swapScript(standIn, installed, staged, staging, "Contents/MacOS/drovane");
    EXPECT_EQ(std::count(script.begin(), script.end(), '\n'), 5);
    EXPECT_FALSE(script.ends_with("\n"));
    const pid_t shell = ::fork();
    if (shell == 0) {
        ::execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(readWholeFile(installed + "/Contents/MacOS/drovane"), "#!/bin/sh\necho old\n")
        << "nothing is touched while the program runs";
    ::waitpid(standIn, nullptr, 0);
    int status = -1;
    ASSERT_EQ(::waitpid(shell, &status, 0), shell);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    for (int i = 0; i < 100 && !fs::exists(started); ++i) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(readWholeFile(started), "new\n");
    EXPECT_FALSE(fs::exists(staging));
    EXPECT_TRUE(
        readWholeFile(installed + "/Contents/MacOS/drovane")->ends_with("echo new > '" + started + "'\n"));
}

TEST(SwapScript, QuotesEveryPathForTheShell) {
    EXPECT_EQ(shellQuoted("/home/o'neil/My Apps"), R"('/home/o'\''neil/My Apps')");
    EXPECT_EQ(shellQuoted("$(rm -rf ~)`x`"), "'$(rm -rf ~)`x`'");
}

} // namespace
} // namespace drovane
