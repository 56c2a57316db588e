#include "update/SwapScript.h"

#include "fakes/TempDir.h"
#include "support/Files.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace drovane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The script, run by /bin/sh as the updater runs it, against a sandbox bundle whose folder
// holds a single quote and a blank. A stand-in `mv` on the PATH fails for the sources named
// in `failMove` (a shell pattern), so that each step of the swap can be made to fail.
TEST(SwapScript, TheNewBundleTakesThePlaceWholeOrTheOldOneStaysAndStarts) {
    struct Case {
        const char* name;
        bool stagedThere;
        const char* failMove; // empty: none fails
        const char* runs;
    };
    const Case cases[] = {
        {"every step works", true, "", "new"},
        {"the copy fails", false, "", "old"},
        {"the old bundle cannot go aside", true, "*/Drovane.app", "old"},
        {"the new bundle cannot take its place", true, "*-new", "old"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fakes::TempDir dir;
        const std::string apps = dir / "it's my apps", installed = apps + "/Drovane.app",
                          staging = dir / "drovane-update-1", staged = staging + "/Drovane.app",
                          started = dir / "started";
        for (const auto& [bundle, version] : {std::pair{"it's my apps/Drovane.app", "old"},
                                              std::pair{"drovane-update-1/Drovane.app", "new"}}) {
            const std::string program =
                dir.write(std::string(bundle) + "/Contents/MacOS/drovane",
                          std::string("#!/bin/sh\necho ") + version + " > '" + started + "'\n");
            fs::permissions(program, fs::perms::owner_all);
        }
        if (!c.stagedThere) {
            fs::remove_all(staged);
        }
        const std::string fakeMove =
            dir.write("bin/mv", "#!/bin/sh\ncase \"$2\" in $FAIL_MOVE) exit 1;; esac\n"
                                "exec /bin/mv \"$@\"\n");
        fs::permissions(fakeMove, fs::perms::owner_all);

        // The running program's stand-in; a swap waits for it only in the first case.
        const bool waits = std::string(c.name) == "every step works";
        const pid_t standIn = ::fork();
        if (standIn == 0) {
            ::usleep(waits ? 600'000 : 0);
            ::_exit(0);
        }
        if (!waits) {
            ::waitpid(standIn, nullptr, 0);
        }
        const std::string script = swapScript(standIn, installed, staged, staging, "Contents/MacOS/drovane");
        EXPECT_EQ(std::count(script.begin(), script.end(), '\n'), 5);
        EXPECT_FALSE(script.ends_with("\n"));
        const std::string path = (dir / "bin:") + std::getenv("PATH");
        const pid_t shell = ::fork();
        if (shell == 0) {
            ::setenv("PATH", path.c_str(), 1);
            ::setenv("FAIL_MOVE", c.failMove, 1);
            ::dup2(::open("/dev/null", O_WRONLY), 2); // as the updater runs it: cp's complaint goes nowhere
            ::execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (waits) {
            std::this_thread::sleep_for(300ms);
            EXPECT_EQ(readWholeFile(installed + "/Contents/MacOS/drovane"),
                      "#!/bin/sh\necho old > '" + started + "'\n")
                << "nothing is touched while the program runs";
            ::waitpid(standIn, nullptr, 0);
        }
        int status = -1;
        ASSERT_EQ(::waitpid(shell, &status, 0), shell);
        EXPECT_EQ(WEXITSTATUS(status), 0);
        for (int i = 0; i < 100 && !readWholeFile(started).value_or("").ends_with("\n"); ++i) {
            std::this_thread::sleep_for(20ms);
        }
        EXPECT_EQ(readWholeFile(started), std::string(c.runs) + "\n")
            << "a program starts, whichever is in place";
        EXPECT_TRUE(readWholeFile(installed + "/Contents/MacOS/drovane")
                        .value_or("")
                        .starts_with(std::string("#!/bin/sh\necho ") + c.runs));
        std::vector<std::string> besides;
        for (const auto& entry : fs::directory_iterator(apps)) {
            besides.push_back(entry.path().filename());
        }
        EXPECT_EQ(besides, std::vector<std::string>{"Drovane.app"}) << "nothing is left beside it";
        EXPECT_FALSE(fs::exists(staging));
    }
}

TEST(SwapScript, QuotesEveryPathForTheShell) {
    EXPECT_EQ(shellQuoted("/home/o'neil/My Apps"), R"('/home/o'\''neil/My Apps')");
    EXPECT_EQ(shellQuoted("$(rm -rf ~)`x`"), "'$(rm -rf ~)`x`'");
}

} // namespace
} // namespace drovane
