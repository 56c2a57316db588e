#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <functional>

namespace drovane::desktop {

// One subscription to a D-Bus signal, delivered to a function on the thread the relay lives on
// (the main thread). The match lasts as long as the relay; an empty service, path or interface
// matches any.
class DBusSignalRelay : public QObject {
    Q_OBJECT
public:
    DBusSignalRelay(QDBusConnection bus, QString service, QString path, QString interface, QString name,
                    std::function<void(const QDBusMessage&)> handler, QObject* parent = nullptr);
    ~DBusSignalRelay() override;

    bool isConnected() const { return m_connected; }

public slots:
    void deliver(const QDBusMessage& message);

private:
    QDBusConnection m_bus;
    QString m_service;
    QString m_path;
    QString m_interface;
    QString m_name;
    std::function<void(const QDBusMessage&)> m_handler;
    bool m_connected = false;
};

} // namespace drovane::desktop
