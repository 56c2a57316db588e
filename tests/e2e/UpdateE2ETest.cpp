#include "desktop/ChildProcess.h"
#include "desktop/DesktopTestSupport.h"
#include "desktop/LoopbackServer.h"
#include "desktop/update/ReleaseFixtures.h"
#include "e2e/DisplayTools.h"
#include "fakes/TempDir.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <thread>

namespace drovane::e2e {
namespace {

using namespace std::chrono_literals;
using desktop::testing::ChildProcess;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Polls `done` every 50 ms until it holds; false after `limit`.
bool eventually(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    for (const auto deadline = Clock::now() + limit; !done(); std::this_thread::sleep_for(50ms)) {
        if (Clock::now() > deadline) {
            return false;
        }
    }
    return true;
}

// Sets both version keys of a bundle's Info.plist.
bool setVersion(const std::string& bundle, const std::string& version) {
    return fixtures::run({"python3", "-c",
                          "import plistlib, sys\n"
                          "path = sys.argv[1] + '/Contents/Info.plist'\n"
                          "info = plistlib.load(open(path, 'rb'))\n"
                          "info['DVVersion'] = info['CFBundleShortVersionString'] = sys.argv[2]\n"
                          "plistlib.dump(info, open(path, 'wb'))\n",
                          bundle, version});
}

// The processes running `executable`, but for `except`; zombies are gone already.
std::vector<pid_t> processesOf(const std::string& executable, pid_t except) {
    std::vector<pid_t> found;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos || std::stoi(name) == except) {
            continue;
        }
        std::error_code error;
        if (fs::read_symlink(entry.path() / "exe", error) == executable) {
            found.push_back(std::stoi(name));
        }
    }
    return found;
}

// The mapped windows whose title matches `name`; none when the search failed.
std::set<std::string> visibleWindowsNamed(const std::string& display, const QString& name) {
    std::istringstream lines(run(display, "xdotool", {"search", "--onlyvisible", "--name", name}, 5000));
    std::set<std::string> windows;
    for (std::string line; std::getline(lines, line);) {
        windows.insert(line);
    }
    return windows;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One real update: the program installed with cmake --install as version 1.4.0 is offered 1.5.0,
// built from the same program and signed with the build's throwaway key, by a site on the
// loopback interface. "Check for Updates" in its settings window, Return on the prompt ("Update
// Now" is its default button); the old process quits, the script swaps the bundle in place and
// starts the new one.
TEST(UpdateE2E, AnInstalledBundleReplacesItselfWithTheNextVersionAndRestarts) {
#ifndef DROVANE_TEST_UPDATE_SECRET_KEY
    GTEST_SKIP() << "this build trusts the maker's key (configure with -DDROVANE_TEST_UPDATE_KEY=ON)";
#else
    fakes::TempDir dir;
    auto start = Clock::now();
    const std::string installed = dir / "it's my apps/Drovane.app";
    const std::string executable = installed + "/Contents/MacOS/drovane";
    // Whatever runs from the installed bundle ends with the test, however far the test came.
    struct StopAtTheEnd {
        const std::string& executable;
        ~StopAtTheEnd() {
            for (const pid_t pid : processesOf(executable, 0)) {
                ::kill(pid, SIGTERM);
            }
        }
    } stopAtTheEnd{executable};
    ASSERT_TRUE(fixtures::run({CMAKE_COMMAND, "--install", DROVANE_BUILD_DIR, "--prefix",
                               fs::path(installed).parent_path(), "--strip"}));
    ASSERT_TRUE(setVersion(installed, "1.4.0"));
    const std::string next = dir / "release/Drovane.app";
    fs::create_directories(fs::path(next).parent_path());
    fs::copy(installed, next, fs::copy_options::recursive);
    ASSERT_TRUE(setVersion(next, "1.5.0"));
    ASSERT_TRUE(fixtures::signRelease(next, DROVANE_TEST_UPDATE_SECRET_KEY, dir / "Drovane-1.5.0.zip"));
    std::printf("[ timing ] installed 1.4.0, built and signed 1.5.0 in %.1f s\n", secondsSince(start));

    desktop::LoopbackServer site;
    site.serve("/version.json",
               R"({"version": "1.5.0", "url": ")" + site.url("/") + R"(", "zip": ")" +
                   site.url("/Drovane-1.5.0.zip") + R"("})",
               200, "application/json");
    site.serve("/Drovane-1.5.0.zip", fixtures::readBytes(dir / "Drovane-1.5.0.zip"), 200, "application/zip");
    site.start();
    desktop::testing::PrivateXServer x{"1280x800x24"};
    ASSERT_FALSE(x.display().empty());
    const std::map<std::string, std::string> environment{
        {"HOME", dir / "home"},
        {"XDG_CONFIG_HOME", dir / "home/.config"},
        {"XDG_CACHE_HOME", dir / "home/.cache"},
        {"XDG_DATA_HOME", dir / "home/.local/share"},
        {"XDG_RUNTIME_DIR", dir / "run"},
        {"TMPDIR", dir / "tmp"},
        {"DROVANE_SYSTEM_ROOT", dir / "root"},
        {"DROVANE_SITE_URL", site.url("")},
        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (dir / "no-bus")},
        {"DISPLAY", x.display()}};
    for (const char* folder : {"home", "run", "tmp"}) {
        fs::create_directories(dir / folder);
    }
    fs::permissions(dir / "run", fs::perms::owner_all);

    start = Clock::now();
    ChildProcess old({executable, "--settings"}, environment);
    // Short searches again and again, rather than one with --sync that could wait for ever.
    std::string settings;
    ASSERT_TRUE(eventually(
        [&] {
            const auto found = visibleWindowsNamed(x.display(), "^Drovane Settings$");
            settings = found.empty() ? "" : *found.begin();
            return !settings.empty();
        },
        30s))
        << "the settings window shows; the log: " << ::testing::PrintToString(old.lines()) << " exit "
        << ::testing::PrintToString(old.waitForExit(1ms)) << " pid " << old.pid();
    ASSERT_TRUE(eventually([&] { return !visibleWindowsNamed(x.display(), "^Drovane$").empty(); }, 20s))
        << "and the library window, as for every bundle";
    const auto before = visibleWindowsNamed(x.display(), "^Drovane$");
    std::printf("[ timing ] 1.4.0 showed its windows after %.1f s\n", secondsSince(start));

    // "Check for Updates", the first link; clicked again should the first click come before
    // the view could take it (a second click while a check runs is dropped).
    start = Clock::now();
    std::string prompt;
    const auto newWindow = [&] {
        for (const auto& window : visibleWindowsNamed(x.display(), "^Drovane$")) {
            if (!before.contains(window)) {
                prompt = window;
            }
        }
        return !prompt.empty();
    };
    for (int click = 0; click < 5 && prompt.empty(); ++click) {
        run(x.display(), "xdotool",
            {"mousemove", "--window", QString::fromStdString(settings), "80", "294", "click", "1"});
        eventually(newWindow, 6s);
    }
    ASSERT_FALSE(prompt.empty()) << "the new release is offered";
    std::printf("[ timing ] the prompt came %.1f s after the click\n", secondsSince(start));

    start = Clock::now();
    run(x.display(), "xdotool", {"windowfocus", "--sync", QString::fromStdString(prompt)});
    run(x.display(), "xdotool", {"key", "Return"});
    const pid_t oldPid = old.pid();
    EXPECT_EQ(old.waitForExit(60s), 0) << "the old program quits";
    std::printf("[ timing ] 1.4.0 quit %.1f s after Update Now\n", secondsSince(start));
    for (const auto& line : old.lines()) {
        std::printf("[ 1.4.0 log ] %s\n", line.c_str());
    }

    std::vector<pid_t> running;
    ASSERT_TRUE(eventually(
        [&] {
            running = processesOf(executable, oldPid);
            return !running.empty();
        },
        30s))
        << "the new program is started";
    ASSERT_EQ(running.size(), 1u);
    std::printf("[ timing ] 1.5.0 ran %.1f s after Update Now\n", secondsSince(start));
    EXPECT_NE(fixtures::readBytes(installed + "/Contents/Info.plist").find("<string>1.5.0</string>"),
              std::string::npos);
    EXPECT_TRUE(fs::exists(installed + "/Contents/_CodeSignature/CodeResources.minisig"));
    EXPECT_TRUE(eventually(
        [&] {
            return !run(x.display(), "xdotool",
                        {"search", "--onlyvisible", "--pid", QString::number(running[0])})
                        .empty();
        },
        30s))
        << "the new program shows its window";
    std::printf("[ timing ] 1.5.0 showed its window %.1f s after Update Now\n", secondsSince(start));
    for (const auto& entry : fs::directory_iterator(dir / "tmp")) {
        EXPECT_FALSE(entry.path().filename().string().starts_with("drovane-update-"))
            << "the staging folder is gone";
    }

    ::kill(running[0], SIGTERM);
    EXPECT_TRUE(eventually([&] { return processesOf(executable, oldPid).empty(); }, 10s))
        << "the new program ends on SIGTERM";
#endif
}

} // namespace
} // namespace drovane::e2e
