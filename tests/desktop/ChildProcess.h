#pragma once

#include <QProcess>
#include <QStringList>
#include <chrono>
#include <csignal>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace drovane::desktop::testing {

// A program started by a test with its standard error captured, ended with the test: private
// X servers and buses, and the built program itself.
class ChildProcess {
public:
    // Starts `argv` (the program is looked up on PATH) with `environment` over the test's own,
    // in `workingDirectory` (the test's own when empty); standard input is /dev/null, standard
    // output the file `outputFile` (/dev/null when empty).
    explicit ChildProcess(const std::vector<std::string>& argv,
                          const std::map<std::string, std::string>& environment = {},
                          const std::string& workingDirectory = {}, const std::string& outputFile = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const auto& [name, value] : environment) {
            env.insert(QString::fromStdString(name), QString::fromStdString(value));
        }
        QStringList arguments;
        for (std::size_t i = 1; i < argv.size(); ++i) {
            arguments << QString::fromStdString(argv[i]);
        }
        m_process.setProcessEnvironment(env);
        if (!workingDirectory.empty()) {
            m_process.setWorkingDirectory(QString::fromStdString(workingDirectory));
        }
        m_process.setStandardInputFile(QProcess::nullDevice());
        m_process.setStandardOutputFile(outputFile.empty() ? QProcess::nullDevice()
                                                           : QString::fromStdString(outputFile));
        m_process.start(QString::fromStdString(argv.at(0)), arguments);
        m_process.waitForStarted();
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Asks the program to end and waits for it, killing it when it takes more than five seconds.
    ~ChildProcess() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000)) {
                m_process.kill();
                m_process.waitForFinished();
            }
        }
    }

    // Waits up to `limit` for the program to end; its exit status, or nothing when it is still
    // running or ended by a signal.
    std::optional<int> waitForExit(std::chrono::milliseconds limit) {
        if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(int(limit.count()))) {
            return std::nullopt;
        }
        readAvailable();
        return m_process.exitStatus() == QProcess::NormalExit ? std::optional(m_process.exitCode())
                                                              : std::nullopt;
    }

    // Waits up to `limit` until standard error holds a line that `matches`; that line.
    std::optional<std::string> waitForLine(const std::function<bool(const std::string&)>& matches,
                                           std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            readAvailable();
            for (const auto& line : lines()) {
                if (matches(line)) {
                    return line;
                }
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 ||
                (m_process.state() == QProcess::NotRunning && !m_process.bytesAvailable())) {
                return std::nullopt;
            }
            m_process.waitForReadyRead(int(std::min<long>(left.count(), 50)));
        }
    }
    bool waitForLine(const std::string& prefix, std::chrono::milliseconds limit) {
        return waitForLine([&](const std::string& line) { return line.starts_with(prefix); }, limit)
            .has_value();
    }

    pid_t pid() const { return static_cast<pid_t>(m_process.processId()); }

    void signal(int number) {
        if (m_process.state() != QProcess::NotRunning) {
            ::kill(pid(), number);
        }
    }

    // Everything written to standard error so far, split into lines.
    std::vector<std::string> lines() {
        readAvailable();
        std::vector<std::string> result;
        for (std::size_t start = 0, end; (end = m_output.find('\n', start)) != std::string::npos;
             start = end + 1) {
            result.push_back(m_output.substr(start, end - start));
        }
        return result;
    }

private:
    void readAvailable() { m_output += m_process.readAllStandardError().toStdString(); }

    QProcess m_process;
    std::string m_output;
};

} // namespace drovane::desktop::testing
