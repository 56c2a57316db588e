#include "desktop/shell/DBusMenuExporter.h"

#include "desktop/shell/DBusMenuTypes.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QStringList>
#include <QTimer>

namespace drovane::desktop {

namespace {

const QString menuInterface = QStringLiteral("com.canonical.dbusmenu");

// dbusmenu labels mark mnemonics with an underscore; ours have none.
QString label(const std::string& title) {
    return QString::fromStdString(title).replace(QLatin1Char('_'), QStringLiteral("__"));
}

QVariantMap propertiesOf(const MenuItem& item) {
    QVariantMap p;
    if (item.kind == MenuItem::Kind::Separator) {
        p[QStringLiteral("type")] = QStringLiteral("separator");
        return p;
    }
    p[QStringLiteral("label")] = label(item.title);
    // A heading only names what follows it.
    if (!item.enabled || item.kind == MenuItem::Kind::Header) {
        p[QStringLiteral("enabled")] = false;
    }
    if (item.checkable) {
        p[QStringLiteral("toggle-type")] = QStringLiteral("checkmark");
        p[QStringLiteral("toggle-state")] = item.checked ? 1 : 0;
    }
    if (item.kind == MenuItem::Kind::Submenu) {
        p[QStringLiteral("children-display")] = QStringLiteral("submenu");
    }
    if (!item.keyEquivalent.empty()) {
        const QList<QStringList> shortcut{
            {QStringLiteral("Control"), QString::fromStdString(item.keyEquivalent)}};
        p[QStringLiteral("shortcut")] = QVariant::fromValue(shortcut);
    }
    return p;
}

QVariantMap globalProperties() {
    return {{QStringLiteral("Version"), 3u},
            {QStringLiteral("TextDirection"), QStringLiteral("ltr")},
            {QStringLiteral("Status"), QStringLiteral("normal")},
            {QStringLiteral("IconThemePath"), QStringList()}};
}

} // namespace

DBusMenuExporter::DBusMenuExporter(QDBusConnection bus, std::function<Menu()> build)
    : m_bus(std::move(bus)), m_build(std::move(build)) {
    registerStatusTypes();
    m_nodes[0].properties[QStringLiteral("children-display")] = QStringLiteral("submenu");
    m_bus.registerVirtualObject(QString::fromLatin1(objectPath), this, QDBusConnection::SingleNode);
    rebuild();
}

DBusMenuExporter::~DBusMenuExporter() {
    m_bus.unregisterObject(QString::fromLatin1(objectPath));
}

void DBusMenuExporter::setBuilder(std::function<Menu()> build) {
    m_build = std::move(build);
    rebuild();
}

int DBusMenuExporter::idFor(const std::string& identifier) {
    auto [it, inserted] = m_ids.try_emplace(identifier, m_nextId);
    if (inserted) {
        ++m_nextId;
    }
    return it->second;
}

void DBusMenuExporter::flatten(const Menu& menu, int parent, const std::string& prefix,
                               std::map<int, Node>& nodes) {
    for (std::size_t i = 0; i < menu.size(); ++i) {
        const MenuItem& item = menu[i];
        const int id = idFor(item.identifier.empty() ? prefix + "#" + std::to_string(i) : item.identifier);
        if (nodes.contains(id)) {
            continue; // a repeated identifier: the first one stands
        }
        nodes[parent].children.push_back(id);
        Node& node = nodes[id];
        node.properties = propertiesOf(item);
        node.action = item.action;
        if (item.kind == MenuItem::Kind::Submenu) {
            flatten(item.submenu, id, prefix + "/" + std::to_string(id), nodes);
        }
    }
}

bool DBusMenuExporter::rebuild() {
    std::map<int, Node> nodes;
    nodes[0].properties = m_nodes[0].properties;
    if (m_build) {
        flatten(m_build(), 0, "", nodes);
    }
    const bool changed = nodes != m_nodes;
    m_nodes = std::move(nodes);
    if (changed) {
        ++m_revision;
        auto signal = QDBusMessage::createSignal(QString::fromLatin1(objectPath), menuInterface,
                                                 QStringLiteral("LayoutUpdated"));
        signal << m_revision << 0;
        m_bus.send(signal);
    }
    return changed;
}

QVariantMap DBusMenuExporter::filtered(const Node& node, const QStringList& names) const {
    if (names.isEmpty()) {
        return node.properties;
    }
    QVariantMap p;
    for (const QString& name : names) {
        if (auto it = node.properties.find(name); it != node.properties.end()) {
            p.insert(name, *it);
        }
    }
    return p;
}

QVariant DBusMenuExporter::layout(int id, int depth, const QStringList& names) const {
    DBusMenuLayoutItem item;
    item.id = id;
    if (auto it = m_nodes.find(id); it != m_nodes.end()) {
        item.properties = filtered(it->second, names);
        if (depth != 0) {
            for (int child : it->second.children) {
                item.children.push_back(
                    layout(child, depth < 0 ? -1 : depth - 1, names).value<DBusMenuLayoutItem>());
            }
        }
    }
    return QVariant::fromValue(item);
}

void DBusMenuExporter::event(int id, const QString& eventId) {
    if (eventId == QLatin1String("clicked")) {
        auto it = m_nodes.find(id);
        if (it != m_nodes.end() && it->second.action) {
            QTimer::singleShot(0, &m_context, it->second.action);
        }
    } else if (eventId == QLatin1String("opened") && m_nodes.contains(id)) {
        // Hosts that never call AboutToShow may still say that a menu opened.
        rebuild();
    }
}

bool DBusMenuExporter::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    const QVariantList args = message.arguments();
    const QString member = message.member();
    auto reply = [&](const QVariantList& values) {
        connection.send(message.createReply(values));
        return true;
    };
    auto invalid = [&] {
        connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                                                 QStringLiteral("unexpected arguments")));
        return true;
    };

    if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties")) {
        const QVariantMap all = globalProperties();
        if (member == QLatin1String("GetAll")) {
            return reply({all});
        }
        if (member == QLatin1String("Get") && args.size() == 2 && all.contains(args[1].toString())) {
            return reply({QVariant::fromValue(QDBusVariant(all.value(args[1].toString())))});
        }
        return invalid();
    }
    if (!message.interface().isEmpty() && message.interface() != menuInterface) {
        return false;
    }
    if (member == QLatin1String("GetLayout") && args.size() == 3) {
        const QStringList names = qdbus_cast<QStringList>(args[2]);
        return reply({m_revision, layout(args[0].toInt(), args[1].toInt(), names)});
    }
    if (member == QLatin1String("GetGroupProperties") && args.size() == 2) {
        const auto ids = qdbus_cast<QList<int>>(args[0]);
        const QStringList names = qdbus_cast<QStringList>(args[1]);
        QList<DBusMenuItemProperties> items;
        for (int id : ids) {
            if (auto it = m_nodes.find(id); it != m_nodes.end()) {
                items.push_back({id, filtered(it->second, names)});
            }
        }
        return reply({QVariant::fromValue(items)});
    }
    if (member == QLatin1String("GetProperty") && args.size() == 2) {
        QVariant value;
        if (auto it = m_nodes.find(args[0].toInt()); it != m_nodes.end()) {
            value = it->second.properties.value(args[1].toString());
        }
        return reply({QVariant::fromValue(QDBusVariant(value))});
    }
    if (member == QLatin1String("Event") && args.size() == 4) {
        connection.send(message.createReply());
        event(args[0].toInt(), args[1].toString());
        return true;
    }
    if (member == QLatin1String("EventGroup") && args.size() == 1) {
        const auto events = qdbus_cast<QList<DBusMenuEvent>>(args[0]);
        QList<int> errors;
        for (const auto& e : events) {
            if (!m_nodes.contains(e.id)) {
                errors.push_back(e.id);
            }
        }
        connection.send(message.createReply(QVariant::fromValue(errors)));
        for (const auto& e : events) {
            event(e.id, e.eventId);
        }
        return true;
    }
    if (member == QLatin1String("AboutToShow") && args.size() == 1) {
        return reply({rebuild()});
    }
    if (member == QLatin1String("AboutToShowGroup") && args.size() == 1) {
        const auto ids = qdbus_cast<QList<int>>(args[0]);
        QList<int> updates, errors;
        const bool changed = rebuild();
        for (int id : ids) {
            if (!m_nodes.contains(id)) {
                errors.push_back(id);
            } else if (changed) {
                updates.push_back(id);
            }
        }
        return reply({QVariant::fromValue(updates), QVariant::fromValue(errors)});
    }
    return invalid();
}

QString DBusMenuExporter::introspect(const QString&) const {
    return QString::fromLatin1(R"xml(<interface name="com.canonical.dbusmenu">
<property name="Version" type="u" access="read"/>
<property name="TextDirection" type="s" access="read"/>
<property name="Status" type="s" access="read"/>
<property name="IconThemePath" type="as" access="read"/>
<method name="GetLayout"><arg type="i" direction="in"/><arg type="i" direction="in"/><arg type="as" direction="in"/><arg type="u" direction="out"/><arg type="(ia{sv}av)" direction="out"/></method>
<method name="GetGroupProperties"><arg type="ai" direction="in"/><arg type="as" direction="in"/><arg type="a(ia{sv})" direction="out"/></method>
<method name="GetProperty"><arg type="i" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
<method name="Event"><arg type="i" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="in"/><arg type="u" direction="in"/></method>
<method name="EventGroup"><arg type="a(isvu)" direction="in"/><arg type="ai" direction="out"/></method>
<method name="AboutToShow"><arg type="i" direction="in"/><arg type="b" direction="out"/></method>
<method name="AboutToShowGroup"><arg type="ai" direction="in"/><arg type="ai" direction="out"/><arg type="ai" direction="out"/></method>
<signal name="ItemsPropertiesUpdated"><arg type="a(ia{sv})"/><arg type="a(ias)"/></signal>
<signal name="LayoutUpdated"><arg type="u"/><arg type="i"/></signal>
<signal name="ItemActivationRequested"><arg type="i"/><arg type="u"/></signal>
</interface>
)xml");
}

} // namespace drovane::desktop
