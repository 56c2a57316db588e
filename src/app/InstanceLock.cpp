#include "app/InstanceLock.h"

#include "app/FileDefaultsStore.h"
#include "platform/Host.h"
#include "platform/Log.h"
#include "support/Files.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

namespace drovane {

namespace {
// Kept open for the life of the process: the lock lasts exactly as long as the process.
int g_lockDescriptor = -1;

} // namespace

std::string InstanceLock::path(const Host& host) {
    return joinPath(host.lockDirectory(), "instance.lock");
}

void InstanceLock::acquireOrExit(const Host& host, Log& log, const std::function<void()>& beforeExit) {
    const std::string lockPath = path(host);
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(lockPath).parent_path(), ignored);

    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        log.line("Drovane: cannot open " + lockPath + ": " + std::strerror(errno));
        return;
    }
    g_lockDescriptor = fd;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (beforeExit) {
            beforeExit();
        }
        log.line("Drovane: another instance is running (lock " + lockPath + "), exiting");
        std::exit(0);
    }
}

namespace {

void endAtOnce(int) {
    // A settings change of the last moment is on its way to the disk on the store's writer
    // thread (which never runs this handler): let it land, for a second at most.
    for (int waited = 0; waited < 200 && FileDefaultsStore::writesPending(); ++waited) {
        const timespec step{0, 5'000'000};
        ::nanosleep(&step, nullptr);
    }
    ::_exit(0);
}

} // namespace

void installTerminationHandler() {
    struct sigaction action {};
    action.sa_handler = endAtOnce;
    sigemptyset(&action.sa_mask);
    for (int signal : terminationSignals) {
        sigaddset(&action.sa_mask, signal);
    }
    for (int signal : terminationSignals) {
        ::sigaction(signal, &action, nullptr);
    }
    // Log lines to a reader that has gone (a closed pipe, a closed terminal) are lost, not fatal.
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace drovane
