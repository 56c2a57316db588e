#pragma once

#include "desktop/shell/DBusMenuTypes.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QString>

namespace drovane::desktop {

// The org.kde.StatusNotifierItem object that tray hosts show: an icon, a title and a tooltip,
// and the menu exported at DBusMenuExporter::objectPath, which hosts open on any click.
// Main thread.
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

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    QVariantMap properties() const;
    void emitSignal(const char* name);

    QDBusConnection m_bus;
    QList<DBusIconPixmap> m_pixmaps;
    QString m_title;
    QString m_toolTip;
};

} // namespace drovane::desktop
