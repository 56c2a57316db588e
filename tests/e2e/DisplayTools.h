#pragma once

// What the end-to-end tests share: a home for the program, one way to wait, and a private X
// server with the tools that find, picture and click its windows.

#include "desktop/ChildProcess.h"
#include "desktop/DesktopTestSupport.h"
#include "support/Files.h"

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace drovane::e2e {

using namespace std::chrono_literals;
using desktop::testing::ChildProcess;
namespace fs = std::filesystem;

// Polls `condition` every `interval` until it holds; false after `limit`.
inline bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = 30s,
                       std::chrono::microseconds interval = 50ms) {
    for (const auto deadline = std::chrono::steady_clock::now() + limit; !condition();
         std::this_thread::sleep_for(interval)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
    }
    return true;
}

// A file's bytes; empty when it cannot be read.
inline std::string readFile(const fs::path& path) {
    return readWholeFile(path).value_or("");
}

// The names of a folder's regular files, in order; none when it cannot be read.
inline std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : listFolder(folder)) {
        if (entry.isRegularFile) {
            names.push_back(entry.name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The environment of a program living in `home`, its XDG folders inside, its runtime folder
// `runtime`, and no session bus: a copy of another test must never be reached.
inline std::map<std::string, std::string> homeEnvironment(const std::string& home,
                                                          const std::string& runtime) {
    return {{"HOME", home},
            {"XDG_CONFIG_HOME", home + "/.config"},
            {"XDG_CACHE_HOME", home + "/.cache"},
            {"XDG_DATA_HOME", home + "/.local/share"},
            {"XDG_RUNTIME_DIR", runtime},
            {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + runtime + "/no-bus"}};
}

// A private X server of one screen of `size`: tests that run side by side never click into each
// other's windows.
class TestDisplay {
public:
    explicit TestDisplay(const std::string& size) : m_server(size) {}

    const std::string& display() const { return m_server.display(); }

    // Runs a tool (xdotool, import) on the display; its standard output, empty when it failed or
    // took more than `limitMs`.
    std::string run(const QString& program, const QStringList& arguments, int limitMs = 20000) const {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), QString::fromStdString(display()));
        process.setProcessEnvironment(env);
        process.start(program, arguments);
        if (!process.waitForFinished(limitMs) || process.exitCode() != 0) {
            process.kill();
            process.waitForFinished();
            return {};
        }
        return process.readAllStandardOutput().trimmed().toStdString();
    }
    // The visible windows whose title is exactly `title`. Short searches, polled where need be:
    // one with --sync could wait for ever, and a window that goes while xdotool looks at it
    // ends a search with an error.
    std::vector<std::string> windows(const std::string& title) const {
        std::istringstream lines(
            run("xdotool", {"search", "--onlyvisible", "--name", QString::fromStdString("^" + title + "$")}));
        std::vector<std::string> ids;
        for (std::string id; std::getline(lines, id);) {
            ids.push_back(id);
        }
        return ids;
    }
    // X, Y, WIDTH and HEIGHT of a window.
    std::map<std::string, int> geometry(const std::string& window) const {
        std::map<std::string, int> values;
        std::istringstream lines(
            run("xdotool", {"getwindowgeometry", "--shell", QString::fromStdString(window)}));
        for (std::string line; std::getline(lines, line);) {
            if (const auto eq = line.find('='); eq != std::string::npos) {
                values[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
            }
        }
        return values;
    }
    // A picture of a window, by way of the file `path`.
    QImage grab(const std::string& window, const std::string& path) const {
        run("import", {"-window", QString::fromStdString(window), QString::fromStdString(path)});
        return QImage(QString::fromStdString(path));
    }
    // Clicks `button` at (x, y) of a window; the pointer stays there.
    void click(const std::string& window, int x, int y, int button = 1) const {
        run("xdotool", {"mousemove", "--window", QString::fromStdString(window), QString::number(x),
                        QString::number(y), "click", QString::number(button)});
    }

private:
    desktop::testing::PrivateXServer m_server;
};

} // namespace drovane::e2e
