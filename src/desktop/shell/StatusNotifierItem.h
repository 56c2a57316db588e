#pragma once

#include "desktop/shell/DBusMenuTypes.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QObject>
#include <QPoint>
#include <QString>
#include <functional>

namespace drovane::desktop {

// The org.kde.StatusNotifierItem object that tray hosts show: an icon, a title and a tooltip,
// and the menu exported at DBusMenuExporter::objectPath. The item is a menu: hosts that honour
// that open the exported menu on any click; hosts that call Activate, SecondaryActivate or
// ContextMenu instead are answered at once and the item shows the menu itself, through
// onMenuRequested. Main thread.
class StatusNotifierItem final : public QDBusVirtualObject {
public:
    static constexpr const char* objectPath = "/StatusNotifierItem";
    static constexpr const char* interfaceName = "org.kde.StatusNotifierItem";

    explicit StatusNotifierItem(QDBusConnection bus);
    ~StatusNotifierItem() override;
    StatusNotifierItem(const StatusNotifierItem&) = delete;
    StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

    // Each setter tells the hosts when the value changes.
    void setIcon(QList<DBusIconPixmap> pixmaps);
    void setTitle(const QString& title);
    void setToolTip(const QString& text);

    // A host asked the item to show its menu at this point of the screen (global coordinates,
    // as the host gives them). Called from the event loop, after the host has its reply.
    std::function<void(QPoint)> onMenuRequested;
    // Whether Activate shows the menu too; when not, it is refused, and hosts that call it
    // despite ItemIsMenu (Plasma 5) show the exported menu on that error.
    bool activateShowsMenu = true;

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    QVariantMap properties() const;
    void emitSignal(const char* name);

    QDBusConnection m_bus;
    QList<DBusIconPixmap> m_pixmaps;
    QString m_title;
    QString m_toolTip;
    // Owns the posted menu requests: none runs once the item is gone.
    QObject m_context;
};

} // namespace drovane::desktop
