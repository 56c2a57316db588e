#include "fakes/TempDir.h"
#include "support/AtomicFile.h"
#include "support/Files.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace drovane {
namespace {

struct Child {
    pid_t pid = -1;
    int stdoutFd = -1;
    std::string stderrPath;
};

// Starts the helper with its standard output on a pipe and its standard error in a file.
Child spawnHelper(const std::string& home, const char* mode, const std::string& stderrPath) {
    int pipeFds[2];
    EXPECT_EQ(::pipe(pipeFds), 0);
    Child child{::fork(), pipeFds[0], stderrPath};
    if (child.pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        std::FILE* err = std::fopen(stderrPath.c_str(), "w");
        ::dup2(::fileno(err), STDERR_FILENO);
        ::close(pipeFds[0]);
        ::execl(INSTANCE_LOCK_HELPER, INSTANCE_LOCK_HELPER, home.c_str(), mode, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    return child;
}

// Everything the child writes to standard output until it closes it or prints a line.
std::string readLine(int fd) {
    std::string text;
    char c;
    while (::read(fd, &c, 1) == 1 && c != '\n') {
        text.push_back(c);
    }
    return text;
}

int exitStatus(pid_t pid) {
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1000 - WTERMSIG(status);
}

TEST(InstanceLock, ASecondCopyLogsAndExitsZeroAndADeadHolderDoesNotBlock) {
    fakes::TempDir tree;
    const std::string home = tree / "home";
    const std::string lockPath = home + "/Library/Application Support/Drovane/instance.lock";

    Child holder = spawnHelper(home, "hold", tree / "holder.err");
    ASSERT_EQ(readLine(holder.stdoutFd), "acquired");
    EXPECT_TRUE(std::filesystem::exists(lockPath));

    Child second = spawnHelper(home, "hold", tree / "second.err");
    EXPECT_EQ(readLine(second.stdoutFd), ""); // never got the lock
    EXPECT_EQ(exitStatus(second.pid), 0);
    EXPECT_EQ(readWholeFile(second.stderrPath),
              "Drovane: another instance is running (lock " + lockPath + "), exiting\n");

    // SIGTERM ends the holder at once with status 0; its lock file stays behind.
    ASSERT_EQ(::kill(holder.pid, SIGTERM), 0);
    EXPECT_EQ(exitStatus(holder.pid), 0);
    EXPECT_TRUE(std::filesystem::exists(lockPath));

    Child third = spawnHelper(home, "try", tree / "third.err");
    EXPECT_EQ(readLine(third.stdoutFd), "acquired");
    EXPECT_EQ(exitStatus(third.pid), 0);
    EXPECT_EQ(readWholeFile(third.stderrPath), "");
    for (const Child& c : {holder, second, third}) {
        ::close(c.stdoutFd);
    }
}

TEST(InstanceLock, AnUnopenableLockFileIsLoggedAndTheProgramRunsOn) {
    fakes::TempDir tree;
    const std::string home = tree / "home";
    // A file where the lock's folder should be.
    tree.write("home/Library/Application Support/Drovane", "not a folder");
    Child child = spawnHelper(home, "try", tree / "child.err");
    EXPECT_EQ(readLine(child.stdoutFd), "acquired");
    EXPECT_EQ(exitStatus(child.pid), 0);
    EXPECT_EQ(readWholeFile(child.stderrPath),
              "Drovane: cannot open " + home +
                  "/Library/Application Support/Drovane/instance.lock: Not a directory\n");
    ::close(child.stdoutFd);
}

} // namespace
} // namespace drovane
