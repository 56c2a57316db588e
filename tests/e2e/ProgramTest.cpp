#include "e2e/DisplayTools.h"
#include "fakes/TempDir.h"

#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

namespace drovane::e2e {
namespace {

class ProgramTest : public testing::Test {
protected:
    std::map<std::string, std::string> environment() const {
        auto env = homeEnvironment(home.path(), home / "run");
        env.insert({{"DROVANE_SYSTEM_ROOT", home / "root"}, {"DROVANE_SITE_URL", "http://127.0.0.1:9"}});
        return env;
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
    const std::string settings = home / ".config/drovane/app.drovane.plist";
};

// Regression: SIGINT and SIGHUP (Ctrl+C, a closed terminal, the session's end) killed the program
// by the kernel's default action, and a settings change of the last moment could be lost. Like
// SIGTERM, they end it at once with status 0 once the settings are on disk; the lock file stays
// behind, the lock goes with the process (the next start runs). While it runs, a second copy
// leaves at once.
TEST_F(ProgramTest, SigintSighupAndSigtermEndItWithStatusZeroAndTheSettingsWritten) {
    for (const int signal : {SIGINT, SIGHUP, SIGTERM}) {
        SCOPED_TRACE("signal " + std::to_string(signal));
        fs::remove(settings);
        auto first = program({"--onboarding"}, environment());
        // The first launch's date is stored (a write begun) just before this line.
        ASSERT_TRUE(first.waitForLine("Drovane: no video found in ", 20s));
        if (signal == SIGINT) {
            // Even a copy that could reach no display says so and leaves, before anything else.
            auto noDisplay = environment();
            noDisplay["DISPLAY"] = "";
            noDisplay["WAYLAND_DISPLAY"] = "";
            for (auto& env : {environment(), noDisplay}) {
                auto second = program({"--open-window"}, env);
                EXPECT_EQ(second.waitForExit(20s), 0);
                // Without a bus, the running copy cannot be reached: the second copy says so.
                EXPECT_EQ(second.lines(),
                          (std::vector<std::string>{"Drovane: the running copy could not be reached",
                                                    "Drovane: another instance is running (lock " +
                                                        lockPath() + "), exiting"}))
                    << "the second copy does nothing else";
            }
            EXPECT_FALSE(first.waitForExit(200ms)) << "the first copy runs on";
        }
        const auto before = std::chrono::steady_clock::now();
        first.signal(signal);
        EXPECT_EQ(first.waitForExit(5s), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - before, 2s) << "the signal ends it at once";
        EXPECT_NE(readFile(settings).find("<key>firstLaunch</key>"), std::string::npos);
        EXPECT_TRUE(fs::exists(lockPath()));
    }
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
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        std::error_code ignored;
        sockets += fs::read_symlink(fd.path(), ignored).string().starts_with("socket:");
    }
    return sockets;
}

TEST_F(ProgramTest, SigtermAtAnyMomentOfStartUpExitsZero) {
    // From the first step of main (the handler, then the lock) through the platform's making to
    // the launch. Before main, the dynamic loader maps Qt and the rest (about 0.1 s): no code of
    // the program runs then, so the kernel's default action stands.
    for (const auto delay : {0ms, 1ms, 5ms, 20ms, 50ms, 100ms, 200ms, 400ms}) {
        auto drovane = program({"--onboarding"}, environment());
        eventually([&] { return catchesSigterm(drovane.pid()); }, 10s, 100us);
        if (delay == 0ms) {
            EXPECT_EQ(openSockets(drovane.pid()), 0) << "the handler comes before any connection";
        }
        std::this_thread::sleep_for(delay);
        drovane.signal(SIGTERM);
        EXPECT_EQ(drovane.waitForExit(5s), 0) << "SIGTERM " << delay.count() << " ms into main";
    }
}

// Regression: with its standard error a pipe nobody reads any more (a closed terminal, a log
// reader that left), the next log line killed the program with SIGPIPE.
TEST_F(ProgramTest, SigpipeOfAClosedStandardErrorDoesNotEndIt) {
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
    eventually([&] { return readFile(settings).find("firstLaunch") != std::string::npos; }, 20s);
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
            EXPECT_TRUE(readFile(out).starts_with(row.output)) << readFile(out);
            EXPECT_EQ(drovane.lines(), row.log);
            for (const char* option :
                 {"--open-window", "--settings", "--onboarding", "--select", "--appearance", "--size",
                  "--screenshot", "--version", "drovane://film/"}) {
                EXPECT_TRUE(!row.output.starts_with("Usage") ||
                            readFile(out).find(option) != std::string::npos)
                    << "the help names every option: " << option;
            }
        }
    }
}

} // namespace
} // namespace drovane::e2e
