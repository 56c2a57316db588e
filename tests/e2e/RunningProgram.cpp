#include "RunningProgram.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace drovane::e2e {

RunningProgram::RunningProgram(const std::vector<std::string>& arguments,
                               const std::map<std::string, std::string>& environment) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return;
    }
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (!environment.count(entry.substr(0, entry.find('=')))) {
            env.push_back(entry);
        }
    }
    for (const auto& [name, value] : environment) {
        env.push_back(name + "=" + value);
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(fds[1], 2);
        const int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, 0);
        ::dup2(devnull, 1);
        std::vector<char*> argv{const_cast<char*>(DROVANE_BINARY)};
        for (const auto& a : arguments) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& e : env) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);
        ::execve(DROVANE_BINARY, argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    m_stderr = fds[0];
}

RunningProgram::~RunningProgram() {
    if (m_pid > 0 && !m_exited) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (m_stderr >= 0) {
        ::close(m_stderr);
    }
}

void RunningProgram::readAvailable(int timeoutMs) {
    if (m_stderr < 0) {
        return;
    }
    pollfd p{m_stderr, POLLIN, 0};
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

std::optional<int> RunningProgram::waitForExit(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!m_exited) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_exited = true;
            if (WIFEXITED(status)) {
                m_status = WEXITSTATUS(status);
            }
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return std::nullopt;
        }
        readAvailable(10);
    }
    while (m_stderr >= 0) {
        readAvailable(100);
    }
    return m_status;
}

bool RunningProgram::waitForLine(const std::string& prefix, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        for (const auto& line : lines()) {
            if (line.starts_with(prefix)) {
                return true;
            }
        }
        if (std::chrono::steady_clock::now() > deadline || m_stderr < 0) {
            return false;
        }
        readAvailable(20);
    }
}

void RunningProgram::signal(int number) {
    if (m_pid > 0 && !m_exited) {
        ::kill(m_pid, number);
    }
}

std::vector<std::string> RunningProgram::lines() {
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start < m_output.size()) {
        const auto end = m_output.find('\n', start);
        if (end == std::string::npos) {
            break;
        }
        result.push_back(m_output.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

} // namespace drovane::e2e
