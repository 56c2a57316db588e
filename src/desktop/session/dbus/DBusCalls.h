#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// Small helpers shared by the D-Bus sources of the machine's state.
namespace drovane::desktop::dbus {

inline constexpr const char* propertiesInterface = "org.freedesktop.DBus.Properties";

// A bus for a source: `address` when given (tests use private buses), else the machine's bus of
// `type`. `name` tells the connections of one process apart.
QDBusConnection connectBus(const std::string& address, QDBusConnection::BusType type, const QString& name);

// Follows the owners of `names`: `changed` runs on `context`'s thread with the index of a name
// that got an owner, or lost it (an empty `newOwner`). Nothing runs once either result or
// `context` is gone.
std::unique_ptr<QDBusServiceWatcher>
watchOwners(const QDBusConnection& bus, const QStringList& names, QObject* context,
            std::function<void(qsizetype index, const QString& newOwner)> changed);

// Sends `call` without starting the service if it is not running, and calls `done` with the
// reply (or error) on `context`'s thread; nothing is called once `context` is gone.
void callAsync(const QDBusConnection& bus, QDBusMessage call, QObject* context,
               std::function<void(const QDBusMessage& reply)> done);

// org.freedesktop.DBus.Properties.Get of one property, answered with its value.
void getProperty(const QDBusConnection& bus, const QString& service, const QString& path,
                 const QString& interface, const QString& property, QObject* context,
                 std::function<void(std::optional<QVariant> value)> done);
// org.freedesktop.DBus.Properties.GetAll.
void getAllProperties(const QDBusConnection& bus, const QString& service, const QString& path,
                      const QString& interface, QObject* context,
                      std::function<void(std::optional<QVariantMap> values)> done);

// The contents of a PropertiesChanged signal, when it is about `interface`.
struct ChangedProperties {
    QVariantMap changed;
    QStringList invalidated;
};
std::optional<ChangedProperties> changedProperties(const QDBusMessage& signal, const QString& interface);

// The value inside a variant as the bus delivers it (a QDBusVariant or a plain value).
QVariant unwrap(const QVariant& value);

// True when the reply says the service has no owner on the bus.
bool isServiceUnknown(const QDBusMessage& reply);

} // namespace drovane::desktop::dbus
