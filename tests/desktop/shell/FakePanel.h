#pragma once

// A tray panel of the test's own on a private session bus: a StatusNotifierWatcher that records
// the items registering with it, and the calls through which hosts read and click their menus.

#include "desktop/DesktopTestSupport.h"
#include "desktop/shell/DBusMenuTypes.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCall>
#include <algorithm>
#include <memory>

namespace drovane::desktop::testing {

inline const QString watcherName = QStringLiteral("org.kde.StatusNotifierWatcher");

// A panel on a private session bus: its own StatusNotifierWatcher, reading menus as hosts do.
class Panel {
public:
    explicit Panel(const PrivateBus& bus, const QString& name = QStringLiteral("panel"))
        : m_connection(bus.connect(name)) {
        registerStatusTypes();
    }

    void startWatcher() {
        m_watcher =
            std::make_unique<FakeObject>(m_connection, QStringLiteral("/StatusNotifierWatcher"), watcherName);
        m_watcher->properties = {{QStringLiteral("IsStatusNotifierHostRegistered"), true},
                                 {QStringLiteral("ProtocolVersion"), 0}};
        m_watcher->methods[QStringLiteral("RegisterStatusNotifierItem")] = [this](const QDBusMessage& m) {
            items.push_back(m.arguments().value(0).toString());
            return m.createReply();
        };
        m_connection.interface()->registerService(watcherName);
    }
    void stopWatcher() {
        m_connection.interface()->unregisterService(watcherName);
        m_watcher.reset();
    }

    QDBusMessage call(const QString& path, const QString& interface, const QString& member,
                      const QVariantList& args) {
        auto message = QDBusMessage::createMethodCall(items.value(0), path, interface, member);
        message.setArguments(args);
        // Answered by this very thread: the event loop runs while the panel waits.
        QDBusPendingCall pending = m_connection.asyncCall(message, 2000);
        waitFor([&] { return pending.isFinished(); });
        return pending.reply();
    }
    // A method of the item itself (Activate, ContextMenu, ...).
    QDBusMessage itemCall(const QString& member, const QVariantList& args) {
        return call(QStringLiteral("/StatusNotifierItem"), QStringLiteral("org.kde.StatusNotifierItem"),
                    member, args);
    }
    QDBusMessage menuCall(const QString& member, const QVariantList& args) {
        return call(QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"), member, args);
    }
    // AboutToShow on the top menu, as a panel does before it opens; whether to read it again.
    bool aboutToShow(int id = 0) {
        return menuCall(QStringLiteral("AboutToShow"), {id}).arguments().value(0).toBool();
    }
    DBusMenuLayoutItem layout() {
        const auto reply = menuCall(QStringLiteral("GetLayout"), {0, -1, QStringList()});
        return qdbus_cast<DBusMenuLayoutItem>(reply.arguments().value(1));
    }
    void click(int id) {
        menuCall(QStringLiteral("Event"),
                 {id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u});
    }

    QStringList items;

private:
    QDBusConnection m_connection;
    std::unique_ptr<FakeObject> m_watcher;
};

inline QString labelOf(const DBusMenuLayoutItem& item) {
    return item.properties.value(QStringLiteral("type")).toString() == QLatin1String("separator")
               ? QStringLiteral("-")
               : item.properties.value(QStringLiteral("label")).toString();
}
// The item of that label, or of that label and " — something"; an item with id 0 if none.
inline const DBusMenuLayoutItem& child(const DBusMenuLayoutItem& menu, const QString& label) {
    static const DBusMenuLayoutItem none;
    const auto it = std::ranges::find_if(menu.children, [&](const DBusMenuLayoutItem& c) {
        return labelOf(c) == label || labelOf(c).startsWith(label + QStringLiteral(" \u2014"));
    });
    return it == menu.children.end() ? none : *it;
}

} // namespace drovane::desktop::testing
