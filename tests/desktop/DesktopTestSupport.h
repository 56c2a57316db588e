#pragma once

// Helpers of the backend tests: a Qt event loop, child processes (private buses, X servers) and
// fake D-Bus services.

#include "fakes/FakeMainQueue.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QThread>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace drovane::desktop::testing {

inline void ensureQtApplication() {
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "drovane_desktop_tests";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv); // lives for the process
    }
}

// Runs Qt's events (and the fake main queue's due work) until `done` holds or `seconds` pass.
inline bool waitFor(const std::function<bool()>& done, fakes::FakeMainQueue* mainQueue = nullptr,
                    double seconds = 5.0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (true) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (mainQueue) {
            mainQueue->drain();
        }
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QThread::msleep(2);
    }
}

// A program started by the test and ended with it.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() { stop(); }

    // Starts `argv`; "{fd}" in an argument becomes the number of a descriptor the program writes
    // to, and the first line it writes there is returned (nothing on failure or after 10 s).
    std::optional<std::string> startReadingLine(std::vector<std::string> argv) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            return std::nullopt;
        }
        for (auto& arg : argv) {
            if (auto at = arg.find("{fd}"); at != std::string::npos) {
                arg.replace(at, 4, "3");
            }
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(fds[1], 3); // dup2 clears close-on-exec on the copy
            std::vector<char*> args;
            for (auto& arg : argv) {
                args.push_back(arg.data());
            }
            args.push_back(nullptr);
            const int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, 1);
            ::dup2(devnull, 2);
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            pollfd p{fds[0], POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) {
                continue;
            }
            char buffer[256];
            const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            line.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(fds[0]);
        const auto end = line.find('\n');
        if (m_pid <= 0 || end == std::string::npos) {
            return std::nullopt;
        }
        return line.substr(0, end);
    }

    void stop() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

private:
    pid_t m_pid = -1;
};

// A private message bus of `type` ("session" or "system"), with a policy that lets anybody own
// any name, listening in `directory`.
class PrivateBus {
public:
    PrivateBus(const std::string& directory, const std::string& type) {
        const std::string config = directory + "/" + type + "-bus.conf";
        std::ofstream(config)
            << R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>)" << type
            << "</type>\n  <listen>unix:dir=" << directory << R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
  </policy>
</busconfig>
)";
        if (auto address = m_daemon.startReadingLine(
                {"dbus-daemon", "--config-file=" + config, "--nofork", "--print-address={fd}"})) {
            m_address = *address;
        }
    }

    const std::string& address() const { return m_address; }

    // A connection of the test's own to the bus, under `name`.
    QDBusConnection connect(const QString& name) const {
        const QString address = QString::fromStdString(m_address);
        return QDBusConnection::connectToBus(address, name + QLatin1Char('@') + address);
    }

private:
    ChildProcess m_daemon;
    std::string m_address;
};

// One object of a fake service: properties of one interface answered through
// org.freedesktop.DBus.Properties, and methods answered by functions.
class FakeObject : public QDBusVirtualObject {
public:
    FakeObject(QDBusConnection connection, QString path, QString interface)
        : m_connection(std::move(connection)), m_path(std::move(path)), m_interface(std::move(interface)) {
        m_connection.registerVirtualObject(m_path, this, QDBusConnection::SingleNode);
    }
    ~FakeObject() override { m_connection.unregisterObject(m_path); }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const QVariantList args = message.arguments();
        if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties")) {
            if (message.member() == QLatin1String("GetAll")) {
                connection.send(message.createReply(QVariant::fromValue(properties)));
                return true;
            }
            if (message.member() == QLatin1String("Get") && args.size() == 2 &&
                properties.contains(args[1].toString())) {
                connection.send(message.createReply(
                    QVariant::fromValue(QDBusVariant(properties.value(args[1].toString())))));
                return true;
            }
            connection.send(
                message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownProperty"),
                                         QStringLiteral("no such property")));
            return true;
        }
        if (auto it = methods.find(message.member()); it != methods.end()) {
            connection.send(it->second(message));
            return true;
        }
        connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                                                 QStringLiteral("no such method")));
        return true;
    }

    // Changes a property and says so, as real services do.
    void setProperty(const QString& name, const QVariant& value) {
        properties[name] = value;
        auto signal = QDBusMessage::createSignal(m_path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                 QStringLiteral("PropertiesChanged"));
        signal << m_interface << QVariantMap{{name, value}} << QStringList();
        m_connection.send(signal);
    }

    void emitSignal(const QString& member, const QVariantList& arguments = {}) {
        auto signal = QDBusMessage::createSignal(m_path, m_interface, member);
        signal.setArguments(arguments);
        m_connection.send(signal);
    }

    QVariantMap properties;
    std::map<QString, std::function<QDBusMessage(const QDBusMessage&)>> methods;

private:
    QDBusConnection m_connection;
    QString m_path;
    QString m_interface;
};

} // namespace drovane::desktop::testing
