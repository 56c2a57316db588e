#include "desktop/ChildProcess.h"
#include "e2e/DisplayTools.h"
#include "fakes/TempDir.h"

#include <QProcess>
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>
#include <unistd.h>

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

    // The built program with `arguments`, its standard error captured, its standard output in
    // `outputFile` when given.
    static ChildProcess program(std::vector<std::string> arguments,
                                const std::map<std::string, std::string>& env,
                                const std::string& outputFile = {}) {
        arguments.insert(arguments.begin(), DROVANE_BINARY);
        return ChildProcess(arguments, env, {}, outputFile);
    }

    fakes::TempDir home;
};

std::string contents(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

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
        // Without a bus, the running copy cannot be reached: the second copy says so.
        EXPECT_EQ(second.lines(), (std::vector<std::string>{"Drovane: the running copy could not be reached",
                                                            "Drovane: another instance is running (lock " +
                                                                lockPath() + "), exiting"}))
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

// Regression: SIGINT and SIGHUP (Ctrl+C, a closed terminal, the session's end) killed the program
// by the kernel's default action, and a settings change of the last moment could be lost. Like
// SIGTERM, they end it with status 0 once the settings are on disk.
TEST_F(ProgramTest, SigintSighupAndSigtermEndItWithStatusZeroAndTheSettingsWritten) {
    const std::string settings = home / ".config/drovane/app.drovane.plist";
    for (const int signal : {SIGINT, SIGHUP, SIGTERM}) {
        SCOPED_TRACE("signal " + std::to_string(signal));
        std::filesystem::remove(settings);
        auto drovane = program({"--onboarding"}, environment());
        // The first launch's date is stored (a write begun) just before this line.
        ASSERT_TRUE(drovane.waitForLine("Drovane: no video found in ", 20s));
        drovane.signal(signal);
        EXPECT_EQ(drovane.waitForExit(5s), 0);
        EXPECT_NE(contents(settings).find("<key>firstLaunch</key>"), std::string::npos);
    }
}

// Regression: with its standard error a pipe nobody reads any more (a closed terminal, a log
// reader that left), the next log line killed the program with SIGPIPE.
TEST_F(ProgramTest, SigpipeOfAClosedStandardErrorDoesNotEndIt) {
    const std::string settings = home / ".config/drovane/app.drovane.plist";
    QProcess drovane;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : environment()) {
        env.insert(QString::fromStdString(name), QString::fromStdString(value));
    }
    drovane.setProcessEnvironment(env);
    drovane.setStandardOutputFile(QProcess::nullDevice());
    // Standard error a pipe whose reader is gone before the program writes a word.
    drovane.setChildProcessModifier([] {
        int ends[2];
        if (::pipe(ends) == 0) {
            ::dup2(ends[1], STDERR_FILENO);
            ::close(ends[0]);
            ::close(ends[1]);
        }
    });
    drovane.start(QStringLiteral(DROVANE_BINARY), {QStringLiteral("--onboarding")});
    ASSERT_TRUE(drovane.waitForStarted());
    // Stored between log lines: the one that says how wallpapers are drawn, and the one that
    // says there is no film.
    eventually([&] { return contents(settings).find("firstLaunch") != std::string::npos; }, 20s);
    ASSERT_FALSE(drovane.waitForFinished(1000)) << "it runs on, not ended by SIGPIPE";
    drovane.terminate(); // SIGTERM
    ASSERT_TRUE(drovane.waitForFinished(5000));
    EXPECT_EQ(drovane.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(drovane.exitCode(), 0);
}

// Regression: without a display, Qt aborted the program with a core dump, even for "--help".
// "--help" and "--version" answer on standard output without one; a start says why it cannot.
TEST_F(ProgramTest, WithoutADisplayHelpAndVersionAnswerAndAStartSaysWhyItCannot) {
    auto noDisplay = environment();
    noDisplay["WAYLAND_DISPLAY"] = "";
    noDisplay["QT_QPA_PLATFORM"] = "";
    const std::string out = home / "out";
    for (const char* display : {"", ":9999"}) { // none, and one set but not there
        SCOPED_TRACE(std::string("DISPLAY=") + display);
        noDisplay["DISPLAY"] = display;
        const struct {
            std::vector<std::string> arguments;
            int status;
            std::string output;
            std::vector<std::string> log;
        } rows[] = {
            {{"--help"}, 0, "Usage: drovane [OPTION...]", {}},
            // A program in the build tree has no bundle and no VERSION file.
            {{"--onboarding", "--version", "--help"}, 0, "Drovane dev\n", {}},
            {{"--onboarding"}, 1, "", {"Drovane: no display to show the wallpaper on"}},
            {{"--unknown"}, 1, "", {"Drovane: no display to show the wallpaper on"}},
        };
        for (const auto& row : rows) {
            SCOPED_TRACE(row.arguments.front());
            auto drovane = program(row.arguments, noDisplay, out);
            EXPECT_EQ(drovane.waitForExit(20s), row.status) << "no status: it crashed";
            EXPECT_TRUE(contents(out).starts_with(row.output)) << contents(out);
            EXPECT_EQ(drovane.lines(), row.log);
        }
    }
    // The help names every option.
    auto help = program({"--help"}, noDisplay, out);
    ASSERT_EQ(help.waitForExit(20s), 0);
    for (const char* option : {"--open-window", "--settings", "--onboarding", "--select", "--appearance",
                               "--size", "--screenshot", "--version", "drovane://film/"}) {
        EXPECT_NE(contents(out).find(option), std::string::npos) << option;
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
    bool rendererNamed = false;
    for (const auto& line : drovane.lines()) {
        EXPECT_FALSE(line.starts_with("Drovane: no video found")) << line;
        rendererNamed |= line.find("the OpenGL renderer \"") != std::string::npos;
    }
    // The copy of the program that probes OpenGL answered.
    EXPECT_TRUE(rendererNamed);
    drovane.signal(SIGTERM);
    EXPECT_EQ(drovane.waitForExit(5s), 0);
}

} // namespace
} // namespace drovane::e2e
