#include "app/InstanceLock.h"

#include "fakes/CapturedLog.h"
#include "fakes/FakeHost.h"

#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

namespace drovane {
namespace {

// A second copy and a dead holder are the built program's own test (e2e).
TEST(InstanceLock, AnUnopenableLockFileIsLoggedAndTheProgramRunsOn) {
    fakes::FakeHost host;
    fakes::CapturedLog log;
    // A file where the lock's folder should be.
    host.tree().write("run/drovane", "not a folder");
    InstanceLock::acquireOrExit(host, log);
    EXPECT_EQ(InstanceLock::path(host), host.tree().path() + "/run/drovane/instance.lock");
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Drovane: cannot open " + InstanceLock::path(host) +
                                                    ": Not a directory"});
}

// Writes its lines where a death test can read them.
class StderrLog final : public Log {
public:
    void line(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

TEST(InstanceLock, AHeldLockHandsTheCommandLineOverThenLogsAndExitsZero) {
    fakes::FakeHost host;
    StderrLog log;
    // An open file description of the lock file stands for the running copy.
    host.tree().write("run/drovane/instance.lock", "");
    const int holder = ::open(InstanceLock::path(host).c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_EXIT(InstanceLock::acquireOrExit(host, log, [] { std::fprintf(stderr, "handed over\n"); }),
                testing::ExitedWithCode(0),
                "^handed over\nDrovane: another instance is running \\(lock " + InstanceLock::path(host) +
                    "\\), exiting\n$");
    ::close(holder);
}

} // namespace
} // namespace drovane
