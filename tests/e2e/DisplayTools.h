#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace drovane::e2e {

// Polls `condition` every 50 ms until it holds; false after `limit`.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    for (const auto deadline = std::chrono::steady_clock::now() + limit; !condition();
         std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
    }
    return true;
}

// Runs a tool (xdotool, import) on `display` and returns its standard output; empty when it
// failed or took more than `limitMs`.
inline std::string run(const std::string& display, const QString& program, const QStringList& arguments,
                       int limitMs = 20000) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QString::fromStdString(display));
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForFinished(limitMs) || process.exitCode() != 0) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return process.readAllStandardOutput().trimmed().toStdString();
}

} // namespace drovane::e2e
