#include "desktop/session/dbus/DBusSignalRelay.h"

namespace drovane::desktop {

DBusSignalRelay::DBusSignalRelay(QDBusConnection bus, QString service, QString path, QString interface,
                                 QString name, std::function<void(const QDBusMessage&)> handler,
                                 QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_service(std::move(service)), m_path(std::move(path)),
      m_interface(std::move(interface)), m_name(std::move(name)), m_handler(std::move(handler)) {
    m_connected = m_bus.connect(m_service, m_path, m_interface, m_name, this, SLOT(deliver(QDBusMessage)));
}

DBusSignalRelay::~DBusSignalRelay() {
    if (m_connected) {
        m_bus.disconnect(m_service, m_path, m_interface, m_name, this, SLOT(deliver(QDBusMessage)));
    }
}

void DBusSignalRelay::deliver(const QDBusMessage& message) {
    if (m_handler) {
        m_handler(message);
    }
}

} // namespace drovane::desktop
