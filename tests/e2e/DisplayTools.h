#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <string>

namespace drovane::e2e {

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
