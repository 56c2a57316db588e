#include "update/SwapScript.h"

#include "fakes/TempDir.h"
#include "support/Files.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
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
        const auto program = [&](const std::string& version) {
            return "#!/bin/sh\necho " + version + " > '" + started + "'\n";
        };
        for (const auto& [bundle, version] : {std::pair{installed, "old"}, std::pair{staged, "new"}}) {
            fs::permissions(
                dir.write(fs::relative(bundle, dir.path()) / "Contents/MacOS/drovane", program(version)),
                fs::perms::owner_all);
        }
        if (!c.stagedThere) {
            fs::remove_all(staged);
        }
        fs::permissions(
            dir.write("bin/mv", "#!/bin/sh\ncase \"$2\" in $FAIL_MOVE) exit 1;; esac\nexec /bin/mv \"$@\"\n"),
            fs::perms::owner_all);

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
        // As the updater runs it: cp's complaint goes nowhere.
        int status = -1;
        std::thread shell([&] {
            status = std::system(("PATH=" + shellQuoted(dir / "bin") +
                                  ":\"$PATH\" FAIL_MOVE=" + shellQuoted(c.failMove) + " /bin/sh -c " +
                                  shellQuoted(script) + " 2>/dev/null")
                                     .c_str());
        });
        if (waits) {
            std::this_thread::sleep_for(300ms);
            EXPECT_EQ(readWholeFile(installed + "/Contents/MacOS/drovane"), program("old"))
                << "nothing is touched while the program runs";
            ::waitpid(standIn, nullptr, 0);
        }
        shell.join();
        EXPECT_EQ(status, 0);
        for (int i = 0; i < 100 && !readWholeFile(started).value_or("").ends_with("\n"); ++i) {
            std::this_thread::sleep_for(20ms);
        }
        EXPECT_EQ(readWholeFile(started), std::string(c.runs) + "\n")
            << "a program starts, whichever is in place";
        EXPECT_EQ(readWholeFile(installed + "/Contents/MacOS/drovane"), program(c.runs));
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
