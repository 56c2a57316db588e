#include "desktop/session/dbus/DBusCalls.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

namespace drovane::desktop::dbus {

namespace {
// A service that is there answers at once; one that hangs must not hold a source for long.
constexpr int callTimeoutMs = 5000;
} // namespace

QDBusConnection connectBus(const std::string& address, QDBusConnection::BusType type, const QString& name) {
    if (address.empty()) {
        return QDBusConnection::connectToBus(type, name);
    }
    return QDBusConnection::connectToBus(QString::fromStdString(address), name);
}

std::unique_ptr<QDBusServiceWatcher>
watchOwners(const QDBusConnection& bus, const QStringList& names, QObject* context,
            std::function<void(qsizetype index, const QString& newOwner)> changed) {
    auto watcher = std::make_unique<QDBusServiceWatcher>();
    watcher->setConnection(bus);
    watcher->setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
    watcher->setWatchedServices(names);
    QObject::connect(
        watcher.get(), &QDBusServiceWatcher::serviceOwnerChanged, context,
        [names, changed = std::move(changed)](const QString& name, const QString&, const QString& newOwner) {
            if (const qsizetype index = names.indexOf(name); index >= 0) {
                changed(index, newOwner);
            }
        });
    return watcher;
}

void callAsync(const QDBusConnection& bus, QDBusMessage call, QObject* context,
               std::function<void(const QDBusMessage& reply)> done) {
    call.setAutoStartService(false);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, callTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [watcher, done = std::move(done)] {
        done(watcher->reply());
        watcher->deleteLater();
    });
}

void getProperty(const QDBusConnection& bus, const QString& service, const QString& path,
                 const QString& interface, const QString& property, QObject* context,
                 std::function<void(std::optional<QVariant> value)> done) {
    auto call = QDBusMessage::createMethodCall(service, path, propertiesInterface, QStringLiteral("Get"));
    call << interface << property;
    callAsync(bus, call, context, [done = std::move(done)](const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            done(std::nullopt);
            return;
        }
        done(unwrap(reply.arguments().constFirst()));
    });
}

void getAllProperties(const QDBusConnection& bus, const QString& service, const QString& path,
                      const QString& interface, QObject* context,
                      std::function<void(std::optional<QVariantMap> values)> done) {
    auto call = QDBusMessage::createMethodCall(service, path, propertiesInterface, QStringLiteral("GetAll"));
    call << interface;
    callAsync(bus, call, context, [done = std::move(done)](const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            done(std::nullopt);
            return;
        }
        const QVariant first = reply.arguments().constFirst();
        if (first.metaType() != QMetaType::fromType<QDBusArgument>()) {
            done(std::nullopt);
            return;
        }
        done(qdbus_cast<QVariantMap>(first.value<QDBusArgument>()));
    });
}

std::optional<ChangedProperties> changedProperties(const QDBusMessage& signal, const QString& interface) {
    const QVariantList args = signal.arguments();
    if (args.size() < 2 || args.at(0).toString() != interface) {
        return std::nullopt;
    }
    ChangedProperties result;
    if (args.at(1).metaType() == QMetaType::fromType<QDBusArgument>()) {
        result.changed = qdbus_cast<QVariantMap>(args.at(1).value<QDBusArgument>());
    } else {
        result.changed = args.at(1).toMap();
    }
    if (args.size() >= 3) {
        result.invalidated = args.at(2).toStringList();
    }
    return result;
}

QVariant unwrap(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusVariant>()) {
        return value.value<QDBusVariant>().variant();
    }
    return value;
}

bool isServiceUnknown(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ErrorMessage &&
           (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
            reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"));
}

} // namespace drovane::desktop::dbus
