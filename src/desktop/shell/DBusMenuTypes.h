#pragma once

#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QStringList>
#include <QVariantMap>

// The wire types of com.canonical.dbusmenu and org.kde.StatusNotifierItem, with their
// marshalling. registerStatusTypes() must run before any of them crosses the bus.
namespace drovane::desktop {

// One node of a GetLayout reply: (ia{sv}av), its children wrapped in variants.
struct DBusMenuLayoutItem {
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayoutItem> children;
};

// One item of a GetGroupProperties reply: (ia{sv}).
struct DBusMenuItemProperties {
    int id = 0;
    QVariantMap properties;
};

// The properties of one item that are no longer set, in ItemsPropertiesUpdated: (ias).
struct DBusMenuItemPropertyNames {
    int id = 0;
    QStringList names;
};

// One size of an icon: (iiay), ARGB32 in network byte order.
struct DBusIconPixmap {
    int width = 0;
    int height = 0;
    QByteArray argb;
};

// (sa(iiay)ss): icon name, icon pixmaps, title, description.
struct DBusToolTip {
    QString iconName;
    QList<DBusIconPixmap> iconPixmaps;
    QString title;
    QString description;
};

// One event of an EventGroup call: (isvu).
struct DBusMenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};

void registerStatusTypes();

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuLayoutItem& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuLayoutItem& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemProperties& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemPropertyNames& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemPropertyNames& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusIconPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusIconPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusToolTip& toolTip);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusToolTip& toolTip);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuEvent& event);

} // namespace drovane::desktop

Q_DECLARE_METATYPE(drovane::desktop::DBusMenuLayoutItem)
Q_DECLARE_METATYPE(drovane::desktop::DBusMenuItemProperties)
Q_DECLARE_METATYPE(drovane::desktop::DBusMenuItemPropertyNames)
Q_DECLARE_METATYPE(drovane::desktop::DBusIconPixmap)
Q_DECLARE_METATYPE(drovane::desktop::DBusToolTip)
Q_DECLARE_METATYPE(drovane::desktop::DBusMenuEvent)
