#pragma once

#include "desktop/session/dbus/DBusSignalRelay.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>

namespace drovane {
class Log;
}

namespace drovane::desktop {

// power-profiles-daemon on the system bus: Low Power Mode is the "power-saver" profile, and its
// PerformanceDegraded reason "high-operating-temperature" is a heat warning. Both names are
// followed: org.freedesktop.UPower.PowerProfiles (0.20 and later, preferred when both are there)
// and net.hadess.PowerProfiles (up to 0.13, and kept by later versions). The daemon may start or
// stop at any time; without it both flags are off. Main thread.
class PowerProfilesSource : public QObject {
public:
    PowerProfilesSource(std::shared_ptr<Log> log, QDBusConnection bus);
    ~PowerProfilesSource() override;

    // Subscribes and asks for the current values; logs one line when the daemon is not there.
    void start();

    bool isPowerSaver() const;
    bool isOverheated() const;

    // Called after either flag changed.
    std::function<void()> onChanged;

private:
    const std::shared_ptr<Log> m_log;
    struct Service {
        QString name;
        QString path;
        bool present = false;
        QString activeProfile;
        QString performanceDegraded;
        std::unique_ptr<DBusSignalRelay> relay;
    };

    const Service* current() const;
    void fetch(std::size_t index);
    void apply(std::size_t index, const QVariantMap& values);
    void setPresent(std::size_t index, bool present);
    void changedFrom(bool powerSaver, bool overheated);

    QDBusConnection m_bus;
    std::array<Service, 2> m_services;
    std::unique_ptr<QDBusServiceWatcher> m_watcher;
    int m_unansweredAtStart = 0;
    bool m_anyFoundAtStart = false;
};

// True when a PerformanceDegraded value (reasons separated by commas) names the heat reason.
bool namesHighOperatingTemperature(const QString& performanceDegraded);

} // namespace drovane::desktop
