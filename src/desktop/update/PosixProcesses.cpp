#include "desktop/update/PosixProcesses.h"

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace drovane::desktop {

namespace {

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (auto& s : strings) {
        result.push_back(s.data());
    }
    result.push_back(nullptr);
    return result;
}

// The program ignores SIGPIPE, and an ignored signal stays ignored across exec: the children
// get the default back, as any program expects.
struct SpawnAttributes {
    explicit SpawnAttributes(short flags) {
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, static_cast<short>(POSIX_SPAWN_SETSIGDEF | flags));
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;

    posix_spawnattr_t attributes;
};

} // namespace

ProcessResult PosixProcesses::run(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    auto args = pointers(argv);
    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_adddup2(&actions, output[1], 2);
    SpawnAttributes spawn(0);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, program.c_str(), &actions, &spawn.attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    ProcessResult result;
    if (rc != 0) {
        ::close(output[0]);
        return result;
    }
    char buffer[4096];
    for (ssize_t n; (n = ::read(output[0], buffer, sizeof buffer)) > 0;) {
        result.output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(output[0]);
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
    }
    return result;
}

bool PosixProcesses::startDetachedShellScript(const std::string& script,
                                              const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{"/bin/sh", "-c", script, "sh"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    auto args = pointers(argv);
    SpawnAttributes spawn(POSIX_SPAWN_SETSID);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd = 0; fd < 3; ++fd) {
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    }
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, "/bin/sh", &actions, &spawn.attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0;
}

} // namespace drovane::desktop
