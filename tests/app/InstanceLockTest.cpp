#include "app/InstanceLock.h"

#include "fakes/CapturedLog.h"
#include "fakes/FakeHost.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

// A second copy handing its command line over and leaving with status 0, and a dead holder, are
// the built program's own tests (e2e).
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

} // namespace
} // namespace drovane
