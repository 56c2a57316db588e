#include "desktop/shell/StatusNotifierItem.h"

#include "desktop/shell/DBusMenuExporter.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QTimer>
#include <map>

namespace drovane::desktop {

StatusNotifierItem::StatusNotifierItem(QDBusConnection bus) : m_bus(std::move(bus)) {
    registerStatusTypes();
    m_bus.registerVirtualObject(QString::fromLatin1(objectPath), this, QDBusConnection::SingleNode);
}

StatusNotifierItem::~StatusNotifierItem() {
    m_bus.unregisterObject(QString::fromLatin1(objectPath));
}

void StatusNotifierItem::emitSignal(const char* name) {
    m_bus.send(QDBusMessage::createSignal(QString::fromLatin1(objectPath), QString::fromLatin1(interfaceName),
                                          QString::fromLatin1(name)));
}

void StatusNotifierItem::setIcon(QList<DBusIconPixmap> pixmaps) {
    m_pixmaps = std::move(pixmaps);
    emitSignal("NewIcon");
}

void StatusNotifierItem::setTitle(const QString& title) {
    if (title != m_title) {
        m_title = title;
        emitSignal("NewTitle");
        emitSignal("NewToolTip");
    }
}

void StatusNotifierItem::setToolTip(const QString& text) {
    if (text != m_toolTip) {
        m_toolTip = text;
        emitSignal("NewToolTip");
    }
}

QVariantMap StatusNotifierItem::properties() const {
    DBusToolTip toolTip;
    toolTip.title = m_toolTip.isEmpty() ? m_title : m_toolTip;
    return {
        {QStringLiteral("Category"), QStringLiteral("ApplicationStatus")},
        {QStringLiteral("Id"), QStringLiteral("drovane")},
        {QStringLiteral("Title"), m_title},
        {QStringLiteral("Status"), QStringLiteral("Active")},
        {QStringLiteral("WindowId"), 0},
        {QStringLiteral("IconName"), QString()},
        {QStringLiteral("IconThemePath"), QString()},
        {QStringLiteral("IconPixmap"), QVariant::fromValue(m_pixmaps)},
        {QStringLiteral("OverlayIconName"), QString()},
        {QStringLiteral("OverlayIconPixmap"), QVariant::fromValue(QList<DBusIconPixmap>())},
        {QStringLiteral("AttentionIconName"), QString()},
        {QStringLiteral("AttentionIconPixmap"), QVariant::fromValue(QList<DBusIconPixmap>())},
        {QStringLiteral("AttentionMovieName"), QString()},
        {QStringLiteral("ToolTip"), QVariant::fromValue(toolTip)},
        {QStringLiteral("ItemIsMenu"), true},
        {QStringLiteral("Menu"),
         QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(DBusMenuExporter::objectPath)))},
    };
}

bool StatusNotifierItem::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    const QVariantList args = message.arguments();
    if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties")) {
        const QVariantMap all = properties();
        if (message.member() == QLatin1String("GetAll")) {
            connection.send(message.createReply(QVariant(all)));
            return true;
        }
        if (message.member() == QLatin1String("Get") && args.size() == 2 &&
            all.contains(args[1].toString())) {
            connection.send(
                message.createReply(QVariant::fromValue(QDBusVariant(all.value(args[1].toString())))));
            return true;
        }
        connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownProperty"),
                                                 QStringLiteral("no such property")));
        return true;
    }
    const QString member = message.member();
    auto invalid = [&] {
        connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                                                 QStringLiteral("%1 takes other arguments").arg(member)));
        return true;
    };
    static const QStringList showingMenu{QStringLiteral("Activate"), QStringLiteral("SecondaryActivate"),
                                         QStringLiteral("ContextMenu")};
    if (showingMenu.contains(member)) {
        if (message.signature() != QLatin1String("ii")) {
            return invalid();
        }
        if (member == QLatin1String("Activate") && !activateShowsMenu) {
            connection.send(
                message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.NotSupported"),
                                         QStringLiteral("the item is a menu: show the exported one")));
            return true;
        }
        connection.send(message.createReply());
        const QPoint at(args[0].toInt(), args[1].toInt());
        QTimer::singleShot(0, &m_context, [this, at] {
            if (onMenuRequested) {
                onMenuRequested(at);
            }
        });
        return true;
    }
    // Scrolling means nothing here; the token would only raise a window the menu opens later.
    static const std::map<QString, QString> ignored{
        {QStringLiteral("Scroll"), QStringLiteral("is")},
        {QStringLiteral("ProvideXdgActivationToken"), QStringLiteral("s")}};
    if (auto it = ignored.find(member); it != ignored.end()) {
        if (message.signature() != it->second) {
            return invalid();
        }
        connection.send(message.createReply());
        return true;
    }
    return false;
}

QString StatusNotifierItem::introspect(const QString&) const {
    return QString::fromLatin1(R"xml(<interface name="org.kde.StatusNotifierItem">
<property name="Category" type="s" access="read"/>
<property name="Id" type="s" access="read"/>
<property name="Title" type="s" access="read"/>
<property name="Status" type="s" access="read"/>
<property name="WindowId" type="i" access="read"/>
<property name="IconName" type="s" access="read"/>
<property name="IconThemePath" type="s" access="read"/>
<property name="IconPixmap" type="a(iiay)" access="read"/>
<property name="OverlayIconName" type="s" access="read"/>
<property name="OverlayIconPixmap" type="a(iiay)" access="read"/>
<property name="AttentionIconName" type="s" access="read"/>
<property name="AttentionIconPixmap" type="a(iiay)" access="read"/>
<property name="AttentionMovieName" type="s" access="read"/>
<property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
<property name="ItemIsMenu" type="b" access="read"/>
<property name="Menu" type="o" access="read"/>
<method name="ContextMenu"><arg type="i" direction="in"/><arg type="i" direction="in"/></method>
<method name="Activate"><arg type="i" direction="in"/><arg type="i" direction="in"/></method>
<method name="SecondaryActivate"><arg type="i" direction="in"/><arg type="i" direction="in"/></method>
<method name="Scroll"><arg type="i" direction="in"/><arg type="s" direction="in"/></method>
<method name="ProvideXdgActivationToken"><arg type="s" direction="in"/></method>
<signal name="NewTitle"/>
<signal name="NewIcon"/>
<signal name="NewAttentionIcon"/>
<signal name="NewOverlayIcon"/>
<signal name="NewToolTip"/>
<signal name="NewStatus"><arg type="s"/></signal>
</interface>
)xml");
}

} // namespace drovane::desktop
