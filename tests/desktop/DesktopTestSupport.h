#pragma once

// Helpers of the backend tests: a Qt event loop, child processes (private buses, X servers) and
// fake D-Bus services.

#include "desktop/ChildProcess.h"
#include "fakes/FakeMainQueue.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QTest>
#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <string>

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
    return QTest::qWaitFor(
        [&] {
            if (mainQueue) {
                mainQueue->drain();
            }
            return done();
        },
        static_cast<int>(seconds * 1000));
}

// A private X server with one screen of `size` ("640x480x24"). It never resets: by default
// Xvfb resets when its last client leaves and drops a client that connects meanwhile, which a
// test starting one program after another would meet now and then.
class PrivateXServer {
public:
    explicit PrivateXServer(const std::string& size)
        : m_xvfb({"Xvfb", "-displayfd", "2", "-nolisten", "tcp", "-noreset", "-screen", "0", size}) {
        const auto number = m_xvfb.waitForLine(
            [](const std::string& line) {
                return !line.empty() && line.find_first_not_of("0123456789") == std::string::npos;
            },
            std::chrono::seconds(10));
        m_display = number ? ":" + *number : "";
    }

    // ":N", or empty when the server did not start.
    const std::string& display() const { return m_display; }

private:
    ChildProcess m_xvfb;
    std::string m_display;
};

// A private message bus of `type` ("session" or "system").
class PrivateBus {
public:
    PrivateBus(const std::string& directory, const std::string& type)
        : m_daemon({"dbus-daemon", "--config-file=" + writeConfig(directory, type), "--nofork",
                    "--print-address=2"}) {
        if (auto address =
                m_daemon.waitForLine([](const std::string& line) { return line.starts_with("unix:"); },
                                     std::chrono::seconds(10))) {
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
    // A policy that lets anybody own any name, listening in `directory`; the file's path.
    static std::string writeConfig(const std::string& directory, const std::string& type) {
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
        return config;
    }

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
