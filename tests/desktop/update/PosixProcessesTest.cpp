#include "desktop/update/PosixProcesses.h"

#include "fakes/TempDir.h"
#include "support/Files.h"

#include <chrono>
#include <gtest/gtest.h>
#include <sstream>
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
    // Its session, then its process id, once both are written.
    long session = 0, process = 0;
    for (int i = 0; i < 300 && !(std::istringstream(readWholeFile(note).value_or("")) >> session >> process);
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_GT(process, 0) << "the script ran";
    EXPECT_EQ(session, process) << "its own session";
    EXPECT_NE(session, static_cast<long>(::getsid(0)));
}

} // namespace
} // namespace drovane::desktop
