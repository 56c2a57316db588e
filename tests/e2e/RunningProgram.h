#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace drovane::e2e {

// The built program started as a child process with its own environment, its standard error
// captured.
class RunningProgram {
public:
    RunningProgram(const std::vector<std::string>& arguments,
                   const std::map<std::string, std::string>& environment);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    pid_t pid() const { return m_pid; }
    // Waits up to `limit` for the program to end; its exit status, or nothing when it is still
    // running or ended by a signal.
    std::optional<int> waitForExit(std::chrono::milliseconds limit);
    // Waits up to `limit` until standard error holds a line beginning with `prefix`.
    bool waitForLine(const std::string& prefix, std::chrono::milliseconds limit);
    void signal(int number);
    // Everything written to standard error so far, split into lines.
    std::vector<std::string> lines();

private:
    void readAvailable(int timeoutMs);

    pid_t m_pid = -1;
    int m_stderr = -1;
    std::string m_output;
    bool m_exited = false;
    std::optional<int> m_status;
};

} // namespace drovane::e2e
