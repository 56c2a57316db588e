#include "desktop/update/PosixProcesses.h"

#include "fakes/TempDir.h"
#include "support/Files.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace drovane::desktop {
namespace {

TEST(PosixProcesses, RunsAndWaitsOrStartsAScriptInASessionOfItsOwn) {
    PosixProcesses processes;
    const ProcessResult ran = processes.run("sh", {"-c", "echo out; echo err >&2; exit 3"});
    EXPECT_EQ(ran.status, 3);
    EXPECT_EQ(ran.output, "out\nerr\n");
    EXPECT_EQ(processes.run("/no/such/program", {}).status, -1);

    fakes::TempDir dir;
    const std::string note = dir / "it's here";
    ASSERT_TRUE(processes.startDetachedShellScript("ps -o sid= -p $$ > \"$1\"; echo $$ >> \"$1\"", {note}));
    const auto lines = [&] {
        const std::string text = readWholeFile(note).value_or("");
        return std::count(text.begin(), text.end(), '\n');
    };
    for (int i = 0; i < 300 && lines() < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const auto written = readWholeFile(note);
    ASSERT_TRUE(written);
    const auto newline = written->find('\n');
    ASSERT_NE(newline, std::string::npos);
    EXPECT_EQ(std::stol(written->substr(0, newline)), std::stol(written->substr(newline + 1)))
        << "its own session";
    EXPECT_NE(std::stol(written->substr(0, newline)), static_cast<long>(::getsid(0)));
}

} // namespace
} // namespace drovane::desktop
