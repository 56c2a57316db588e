#include "desktop/session/dbus/ScreenSaverSource.h"

#include "desktop/session/dbus/DBusCalls.h"
#include "platform/Log.h"

#include <algorithm>

namespace drovane::desktop {

ScreenSaverSource::ScreenSaverSource(std::shared_ptr<Log> log, QDBusConnection bus)
    : m_log(std::move(log)), m_bus(std::move(bus)) {
    for (const char* name : {"org.freedesktop.ScreenSaver", "org.gnome.ScreenSaver",
                             "org.cinnamon.ScreenSaver", "org.mate.ScreenSaver"}) {
        Service service;
        service.name = QString::fromLatin1(name);
        service.path = QLatin1Char('/') + service.name;
        service.path.replace(QLatin1Char('.'), QLatin1Char('/'));
        m_services.push_back(std::move(service));
    }
}

ScreenSaverSource::~ScreenSaverSource() = default;

void ScreenSaverSource::start() {
    if (!m_bus.isConnected()) {
        m_log->line("Drovane: the session bus is not reachable; the screen saver is not followed");
        return;
    }
    QStringList names;
    for (std::size_t i = 0; i < m_services.size(); ++i) {
        Service& service = m_services[i];
        names.append(service.name);
        // Any path: KDE sends the signal from /ScreenSaver as well as /org/freedesktop/ScreenSaver.
        service.relay = std::make_unique<DBusSignalRelay>(
            m_bus, service.name, QString(), service.name, QStringLiteral("ActiveChanged"),
            [this, i](const QDBusMessage& message) {
                const QVariantList args = message.arguments();
                if (!args.isEmpty() && args.constFirst().metaType() == QMetaType::fromType<bool>()) {
                    setActive(i, args.constFirst().toBool());
                }
            });
    }
    m_watcher = dbus::watchOwners(m_bus, names, this, [this](qsizetype index, const QString& newOwner) {
        const auto i = static_cast<std::size_t>(index);
        setActive(i, false);
        if (!newOwner.isEmpty()) {
            ask(i, false);
        }
    });
    m_unansweredAtStart = static_cast<int>(m_services.size());
    for (std::size_t i = 0; i < m_services.size(); ++i) {
        ask(i, true);
    }
}

void ScreenSaverSource::ask(std::size_t index, bool atStart) {
    const Service& service = m_services[index];
    auto call =
        QDBusMessage::createMethodCall(service.name, service.path, service.name, QStringLiteral("GetActive"));
    dbus::callAsync(m_bus, call, this, [this, index, atStart](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            setActive(index, reply.arguments().constFirst().toBool());
        }
        if (!atStart) {
            return;
        }
        // A service that answers with an error (GNOME's freedesktop name only inhibits) is there.
        if (!dbus::isServiceUnknown(reply)) {
            m_anyFoundAtStart = true;
        }
        if (--m_unansweredAtStart == 0 && !m_anyFoundAtStart) {
            m_log->line(
                "Drovane: no screen saver service on the session bus; one that starts later is followed");
        }
    });
}

void ScreenSaverSource::setActive(std::size_t index, bool active) {
    const bool before = isActive();
    m_services[index].active = active;
    if (before != isActive() && onChanged) {
        onChanged();
    }
}

bool ScreenSaverSource::isActive() const {
    return std::any_of(m_services.begin(), m_services.end(), [](const Service& s) { return s.active; });
}

} // namespace drovane::desktop
