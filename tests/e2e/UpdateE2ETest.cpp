#include "desktop/ChildProcess.h"
#include "desktop/DesktopTestSupport.h"
#include "desktop/LoopbackServer.h"
#include "desktop/update/ReleaseFixtures.h"
#include "e2e/DisplayTools.h"
#include "fakes/TempDir.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <thread>

namespace drovane::e2e {
namespace {

using namespace std::chrono_literals;
using desktop::testing::ChildProcess;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

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

// A program installed with cmake --install as version 1.4.0 and a site on the loopback interface
// that offers 1.5.0, built from the same program and signed with the build's throwaway key.
class UpdateE2ETest : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef DROVANE_TEST_UPDATE_SECRET_KEY
        GTEST_SKIP() << "this build trusts the maker's key (configure with -DDROVANE_TEST_UPDATE_KEY=ON)";
#else
        const auto start = Clock::now();
        ASSERT_TRUE(fixtures::run({CMAKE_COMMAND, "--install", DROVANE_BUILD_DIR, "--prefix",
                                   fs::path(installed).parent_path(), "--strip"}));
        ASSERT_TRUE(setVersion(installed, "1.4.0"));
        fs::create_directories(fs::path(next).parent_path());
        fs::copy(installed, next, fs::copy_options::recursive);
        ASSERT_TRUE(setVersion(next, "1.5.0"));
        ASSERT_TRUE(fixtures::signRelease(next, DROVANE_TEST_UPDATE_SECRET_KEY, dir / "Drovane-1.5.0.zip"));
        std::printf("[ timing ] installed 1.4.0, built and signed 1.5.0 in %.1f s\n", secondsSince(start));

        site.serve("/version.json",
                   R"({"version": "1.5.0", "url": ")" + site.url("/") + R"(", "zip": ")" +
                       site.url("/Drovane-1.5.0.zip") + R"("})",
                   200, "application/json");
        // The archive whole, or its first half and then nothing while `holdArchive` stands.
        archive = fixtures::readBytes(dir / "Drovane-1.5.0.zip");
        site.server.Get("/Drovane-1.5.0.zip", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(archive.size(), "application/zip",
                                     [this](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                         const std::size_t half = archive.size() / 2;
                                         if (holdArchive && offset >= half) {
                                             std::this_thread::sleep_for(20ms);
                                             return !site.released();
                                         }
                                         const std::size_t end = holdArchive ? half : archive.size();
                                         sink.write(archive.data() + offset,
                                                    std::min<std::size_t>(65536, end - offset));
                                         return true;
                                     });
        });
        site.start();
        ASSERT_FALSE(x.display().empty());
        for (const char* folder : {"home", "run", "tmp"}) {
            fs::create_directories(dir / folder);
        }
        fs::permissions(dir / "run", fs::perms::owner_all);
#endif
    }
    // Whatever runs from the installed bundle ends with the test, however far the test came.
    void TearDown() override {
        for (const pid_t pid : processesOf(executable, 0)) {
            ::kill(pid, SIGTERM);
        }
    }

    ChildProcess launch(std::vector<std::string> arguments = {}) const {
        arguments.insert(arguments.begin(), executable);
        return ChildProcess(arguments, {{"HOME", dir / "home"},
                                        {"XDG_CONFIG_HOME", dir / "home/.config"},
                                        {"XDG_CACHE_HOME", dir / "home/.cache"},
                                        {"XDG_DATA_HOME", dir / "home/.local/share"},
                                        {"XDG_RUNTIME_DIR", dir / "run"},
                                        {"TMPDIR", dir / "tmp"},
                                        {"DROVANE_SYSTEM_ROOT", dir / "root"},
                                        {"DROVANE_SITE_URL", site.url("")},
                                        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (dir / "no-bus")},
                                        {"DISPLAY", x.display()}});
    }

    // Opens the settings of `old` (started with "--settings"), clicks "Check for Updates" and
    // answers the prompt with Return ("Update Now" is its default button).
    void acceptTheUpdate(ChildProcess& old) {
        // Short searches again and again, rather than one with --sync that could wait for ever.
        std::string settings;
        ASSERT_TRUE(eventually(
            [&] {
                const auto found = visibleWindowsNamed(x.display(), "^Drovane Settings$");
                settings = found.empty() ? "" : *found.begin();
                return !settings.empty();
            },
            30s))
            << "the settings window shows; the log: " << ::testing::PrintToString(old.lines());
        ASSERT_TRUE(eventually([&] { return !visibleWindowsNamed(x.display(), "^Drovane$").empty(); }, 20s))
            << "and the library window, as for every bundle";
        const auto before = visibleWindowsNamed(x.display(), "^Drovane$");

        // "Check for Updates", the first link; clicked again should the first click come before
        // the view could take it (a second click while a check runs is dropped).
        const auto start = Clock::now();
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
        run(x.display(), "xdotool", {"windowfocus", "--sync", QString::fromStdString(prompt)});
        run(x.display(), "xdotool", {"key", "Return"});
    }

    // Every file below `folder` by its path inside, with its bytes or a link's target.
    static std::map<std::string, std::string> contents(const std::string& folder) {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            const std::string inside = fs::relative(entry.path(), folder);
            if (entry.is_symlink()) {
                files[inside] = "-> " + fs::read_symlink(entry.path()).string();
            } else if (entry.is_regular_file()) {
                files[inside] = fixtures::readBytes(entry.path());
            }
        }
        return files;
    }
    // The staging folders and downloads of updates in the program's temporary folder.
    std::vector<std::string> temporaries(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir / "tmp")) {
            if (entry.path().filename().string().starts_with(prefix)) {
                found.push_back(entry.path());
            }
        }
        return found;
    }

    fakes::TempDir dir;
    const std::string installed = dir / "it's my apps/Drovane.app";
    const std::string executable = installed + "/Contents/MacOS/drovane";
    const std::string next = dir / "release/Drovane.app";
    std::string archive;
    std::atomic<bool> holdArchive{false};
    desktop::LoopbackServer site;
    desktop::testing::PrivateXServer x{"1280x800x24"};
};

// "Check for Updates" in the settings window of 1.4.0, Return on the prompt; the old process
// quits, the script swaps the bundle in place and starts the new one.
TEST_F(UpdateE2ETest, AnInstalledBundleReplacesItselfWithTheNextVersionAndRestarts) {
    ChildProcess old = launch({"--settings"});
    ASSERT_NO_FATAL_FAILURE(acceptTheUpdate(old));
    const auto start = Clock::now();
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
    EXPECT_EQ(contents(installed), contents(next)) << "the signed release, whole";
    EXPECT_TRUE(eventually(
        [&] {
            return !run(x.display(), "xdotool",
                        {"search", "--onlyvisible", "--pid", QString::number(running[0])})
                        .empty();
        },
        30s))
        << "the new program shows its window";
    std::printf("[ timing ] 1.5.0 showed its window %.1f s after Update Now\n", secondsSince(start));
    EXPECT_TRUE(temporaries("drovane-update-").empty()) << "the staging folder is gone";
    EXPECT_EQ(
        std::distance(fs::directory_iterator(fs::path(installed).parent_path()), fs::directory_iterator()), 1)
        << "nothing is left beside the bundle";

    ::kill(running[0], SIGTERM);
    EXPECT_TRUE(eventually([&] { return processesOf(executable, oldPid).empty(); }, 10s))
        << "the new program ends on SIGTERM";
}

// Killed while the release arrives, or the moment it is staged (unpacking, verifying, or
// handing over to the swap): the installed bundle is the old one as it was, or the new one
// whole, never a mix; and the program installed there starts again.
TEST_F(UpdateE2ETest, AKillWhileTheUpdateIsStagedLeavesTheInstalledBundleWhole) {
    const auto original = contents(installed);
    const auto release = contents(next);
    for (const bool midDownload : {true, false}) {
        SCOPED_TRACE(midDownload ? "killed while the archive arrives" : "killed the moment it is staged");
        holdArchive = midDownload;
        ChildProcess old = launch({"--settings"});
        ASSERT_NO_FATAL_FAILURE(acceptTheUpdate(old));
        if (midDownload) {
            ASSERT_TRUE(eventually(
                [&] {
                    for (const auto& part : temporaries(".drovane-")) {
                        if (fs::file_size(part) > 0) {
                            return true;
                        }
                    }
                    return false;
                },
                30s))
                << "part of the archive arrived";
        } else {
            // As soon as the staging folder appears: within a millisecond of its making.
            const auto deadline = Clock::now() + 30s;
            while (temporaries("drovane-update-").empty() && Clock::now() < deadline) {
                std::this_thread::sleep_for(200us);
            }
            ASSERT_FALSE(temporaries("drovane-update-").empty()) << "the release was staged";
        }
        old.signal(SIGKILL);
        old.waitForExit(10s);
        // A swap handed over before the kill goes on without the program; let it end.
        std::this_thread::sleep_for(3s);
        for (const pid_t pid : processesOf(executable, 0)) {
            ::kill(pid, SIGTERM);
        }
        const auto now = contents(installed);
        EXPECT_TRUE(now == original || now == release) << "the installed bundle is one release, whole";
        std::printf("[ outcome ] %s: %s\n", midDownload ? "mid-download" : "staged",
                    now == original ? "1.4.0 as it was" : "1.5.0 whole");
        if (midDownload) {
            EXPECT_EQ(now, original) << "nothing was swapped before the archive was whole";
        }

        ChildProcess again = launch();
        EXPECT_TRUE(again.waitForLine("Drovane: ", 30s)) << "the installed program starts again";
        EXPECT_FALSE(again.waitForExit(1s).has_value()) << "and runs";
        holdArchive = false;
        site.release();
    }
}

} // namespace
} // namespace drovane::e2e
