#include "desktop/session/dbus/PowerProfilesSource.h"

#include "desktop/session/dbus/DBusCalls.h"
#include "platform/Log.h"

namespace drovane::desktop {

namespace {

const QString profileProperty = QStringLiteral("ActiveProfile");
const QString degradedProperty = QStringLiteral("PerformanceDegraded");

} // namespace

bool namesHighOperatingTemperature(const QString& performanceDegraded) {
    for (const QString& reason : performanceDegraded.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (reason.trimmed() == QLatin1String("high-operating-temperature")) {
            return true;
        }
    }
    return false;
}

PowerProfilesSource::PowerProfilesSource(std::shared_ptr<Log> log, QDBusConnection bus)
    : m_log(std::move(log)), m_bus(std::move(bus)) {
    m_services[0].name = QStringLiteral("org.freedesktop.UPower.PowerProfiles");
    m_services[0].path = QStringLiteral("/org/freedesktop/UPower/PowerProfiles");
    m_services[1].name = QStringLiteral("net.hadess.PowerProfiles");
    m_services[1].path = QStringLiteral("/net/hadess/PowerProfiles");
}

PowerProfilesSource::~PowerProfilesSource() = default;

void PowerProfilesSource::start() {
    if (!m_bus.isConnected()) {
        m_log->line("Drovane: the system bus is not reachable; Low Power Mode is not followed");
        return;
    }
    QStringList names;
    for (std::size_t i = 0; i < m_services.size(); ++i) {
        Service& service = m_services[i];
        names.append(service.name);
        // The interface is named like the service in both versions.
        service.relay = std::make_unique<DBusSignalRelay>(
            m_bus, service.name, service.path, QString::fromLatin1(dbus::propertiesInterface),
            QStringLiteral("PropertiesChanged"), [this, i](const QDBusMessage& message) {
                auto props = dbus::changedProperties(message, m_services[i].name);
                if (!props) {
                    return;
                }
                if (props->invalidated.contains(profileProperty) ||
                    props->invalidated.contains(degradedProperty)) {
                    fetch(i);
                }
                setPresent(i, true);
                apply(i, props->changed);
            });
    }
    m_watcher = dbus::watchOwners(m_bus, names, this, [this](qsizetype index, const QString& newOwner) {
        const auto i = static_cast<std::size_t>(index);
        if (newOwner.isEmpty()) {
            setPresent(i, false);
        } else {
            fetch(i);
        }
    });

    m_unansweredAtStart = static_cast<int>(m_services.size());
    for (std::size_t i = 0; i < m_services.size(); ++i) {
        fetch(i);
    }
}

void PowerProfilesSource::fetch(std::size_t index) {
    const Service& service = m_services[index];
    dbus::getAllProperties(
        m_bus, service.name, service.path, service.name, this,
        [this, index](std::optional<QVariantMap> values) {
            if (values) {
                m_anyFoundAtStart = true;
                setPresent(index, true);
                apply(index, *values);
            }
            if (m_unansweredAtStart > 0 && --m_unansweredAtStart == 0 && !m_anyFoundAtStart) {
                m_log->line("Drovane: power-profiles-daemon is not running; Low Power Mode "
                            "is followed once it starts");
            }
        });
}

void PowerProfilesSource::apply(std::size_t index, const QVariantMap& values) {
    const bool powerSaver = isPowerSaver();
    const bool overheated = isOverheated();
    Service& service = m_services[index];
    if (auto it = values.find(profileProperty); it != values.end()) {
        service.activeProfile = dbus::unwrap(*it).toString();
    }
    if (auto it = values.find(degradedProperty); it != values.end()) {
        service.performanceDegraded = dbus::unwrap(*it).toString();
    }
    changedFrom(powerSaver, overheated);
}

void PowerProfilesSource::setPresent(std::size_t index, bool present) {
    Service& service = m_services[index];
    if (service.present == present) {
        return;
    }
    const bool powerSaver = isPowerSaver();
    const bool overheated = isOverheated();
    service.present = present;
    if (!present) {
        service.activeProfile.clear();
        service.performanceDegraded.clear();
    }
    changedFrom(powerSaver, overheated);
}

const PowerProfilesSource::Service* PowerProfilesSource::current() const {
    for (const Service& service : m_services) {
        if (service.present) {
            return &service;
        }
    }
    return nullptr;
}

bool PowerProfilesSource::isPowerSaver() const {
    const Service* service = current();
    return service && service->activeProfile == QLatin1String("power-saver");
}

bool PowerProfilesSource::isOverheated() const {
    const Service* service = current();
    return service && namesHighOperatingTemperature(service->performanceDegraded);
}

void PowerProfilesSource::changedFrom(bool powerSaver, bool overheated) {
    if ((powerSaver != isPowerSaver() || overheated != isOverheated()) && onChanged) {
        onChanged();
    }
}

} // namespace drovane::desktop
