#pragma once

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <map>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace drovane::desktop::testing {

// A program started by a test with its standard error captured, ended with the test: private
// X servers and buses, and the built program itself.
class ChildProcess {
public:
    // Starts `argv` (the program is looked up on PATH) with `environment` over the test's own;
    // standard input and output are /dev/null.
    explicit ChildProcess(std::vector<std::string> argv,
                          const std::map<std::string, std::string>& environment = {}) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (!environment.contains(entry.substr(0, entry.find('=')))) {
                env.push_back(entry);
            }
        }
        for (const auto& [name, value] : environment) {
            env.push_back(name + "=" + value);
        }
        // Everything the child needs is allocated before the fork: the test may run threads.
        const auto args = pointers(argv), envp = pointers(env);
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            return;
        }
        const int devnull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(devnull, 0);
            ::dup2(devnull, 1);
            ::dup2(fds[1], 2);
            ::execvpe(args[0], args.data(), envp.data());
            ::_exit(127);
        }
        ::close(devnull);
        ::close(fds[1]);
        m_stderr = fds[0];
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Asks the program to end and waits for it, killing it when it takes more than five seconds.
    ~ChildProcess() {
        signal(SIGTERM);
        if (!reap(std::chrono::seconds(5))) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_stderr >= 0) {
            ::close(m_stderr);
        }
    }

    // Waits up to `limit` for the program to end; its exit status, or nothing when it is still
    // running or ended by a signal.
    std::optional<int> waitForExit(std::chrono::milliseconds limit) {
        if (!reap(limit)) {
            return std::nullopt;
        }
        while (m_stderr >= 0) {
            readAvailable(100);
        }
        return m_status;
    }

    // Waits up to `limit` until standard error holds a line that `matches`; that line.
    std::optional<std::string> waitForLine(const std::function<bool(const std::string&)>& matches,
                                           std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            for (const auto& line : lines()) {
                if (matches(line)) {
                    return line;
                }
            }
            if (std::chrono::steady_clock::now() > deadline || m_stderr < 0) {
                return std::nullopt;
            }
            readAvailable(20);
        }
    }
    bool waitForLine(const std::string& prefix, std::chrono::milliseconds limit) {
        return waitForLine([&](const std::string& line) { return line.starts_with(prefix); }, limit)
            .has_value();
    }

    pid_t pid() const { return m_pid; }

    void signal(int number) {
        if (m_pid > 0 && !m_exited) {
            ::kill(m_pid, number);
        }
    }

    // Everything written to standard error so far, split into lines.
    std::vector<std::string> lines() const {
        std::vector<std::string> result;
        for (std::size_t start = 0, end; (end = m_output.find('\n', start)) != std::string::npos;
             start = end + 1) {
            result.push_back(m_output.substr(start, end - start));
        }
        return result;
    }

private:
    // Waits up to `limit` for the program to end, reading what it writes meanwhile; false while
    // it still runs.
    bool reap(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (m_pid > 0 && !m_exited) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_exited = true;
                m_status = WIFEXITED(status) ? std::optional(WEXITSTATUS(status)) : std::nullopt;
            } else if (std::chrono::steady_clock::now() > deadline) {
                return false;
            } else {
                readAvailable(10);
            }
        }
        return true;
    }

    static std::vector<char*> pointers(std::vector<std::string>& strings) {
        std::vector<char*> result;
        for (auto& s : strings) {
            result.push_back(s.data());
        }
        result.push_back(nullptr);
        return result;
    }

    void readAvailable(int timeoutMs) {
        pollfd p{m_stderr, POLLIN, 0};
        if (m_stderr < 0) {
            ::usleep(static_cast<useconds_t>(timeoutMs) * 1000);
            return;
        }
        if (::poll(&p, 1, timeoutMs) <= 0) {
            return;
        }
        char buffer[4096];
        const ssize_t n = ::read(m_stderr, buffer, sizeof buffer);
        if (n > 0) {
            m_output.append(buffer, static_cast<std::size_t>(n));
        } else {
            ::close(m_stderr);
            m_stderr = -1;
        }
    }

    pid_t m_pid = -1;
    int m_stderr = -1;
    std::string m_output;
    bool m_exited = false;
    std::optional<int> m_status;
};

} // namespace drovane::desktop::testing
