#include "desktop/shell/DBusMenuExporter.h"

#include "desktop/shell/DBusMenuTypes.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QStringList>
#include <QTimer>
#include <algorithm>

namespace drovane::desktop {

namespace {

const QString menuInterface = QStringLiteral("com.canonical.dbusmenu");
const QString invalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");

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

// Properties that make an item another kind of item: hosts build such an item anew, from its
// menu's layout, and ignore them in property updates.
bool changesKind(const QString& name) {
    return name == QLatin1String("type") || name == QLatin1String("children-display") ||
           name == QLatin1String("toggle-type");
}

QVariantMap globalProperties() {
    return {{QStringLiteral("Version"), 3u},
            {QStringLiteral("TextDirection"), QStringLiteral("ltr")},
            {QStringLiteral("Status"), QStringLiteral("normal")},
            {QStringLiteral("IconThemePath"), QStringList()}};
}

// The argument types of each method, as D-Bus signatures.
const std::map<QString, QString>& signatures() {
    static const std::map<QString, QString> map{
        {QStringLiteral("GetLayout"), QStringLiteral("iias")},
        {QStringLiteral("GetGroupProperties"), QStringLiteral("aias")},
        {QStringLiteral("GetProperty"), QStringLiteral("is")},
        {QStringLiteral("Event"), QStringLiteral("isvu")},
        {QStringLiteral("EventGroup"), QStringLiteral("a(isvu)")},
        {QStringLiteral("AboutToShow"), QStringLiteral("i")},
        {QStringLiteral("AboutToShowGroup"), QStringLiteral("ai")},
    };
    return map;
}

} // namespace

DBusMenuExporter::DBusMenuExporter(QDBusConnection bus, std::function<Menu()> build)
    : m_bus(std::move(bus)), m_build(std::move(build)) {
    registerStatusTypes();
    m_nodes[0].properties[QStringLiteral("children-display")] = QStringLiteral("submenu");
    m_bus.registerVirtualObject(QString::fromLatin1(objectPath), this, QDBusConnection::SingleNode);
    update();
}

DBusMenuExporter::~DBusMenuExporter() {
    m_bus.unregisterObject(QString::fromLatin1(objectPath));
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
        node.parent = parent;
        node.action = item.action;
        if (item.kind == MenuItem::Kind::Submenu) {
            flatten(item.submenu, id, prefix + "/" + std::to_string(id), nodes);
        }
    }
}

DBusMenuExporter::Changes DBusMenuExporter::update() {
    std::map<int, Node> nodes;
    nodes[0].properties = m_nodes[0].properties;
    if (m_build) {
        flatten(m_build(), 0, "", nodes);
    }
    Changes changes;
    for (const auto& [id, node] : nodes) {
        auto old = m_nodes.find(id);
        if (old == m_nodes.end()) {
            continue; // comes with its menu's layout
        }
        if (old->second.children != node.children) {
            changes.menus.insert(id);
        }
        if (old->second.parent != node.parent) {
            continue; // moved: both menus are read again
        }
        QVariantMap updated;
        QStringList removed;
        for (auto it = node.properties.begin(); it != node.properties.end(); ++it) {
            auto before = old->second.properties.find(it.key());
            if (before == old->second.properties.end() || *before != it.value()) {
                updated.insert(it.key(), it.value());
            }
        }
        for (auto it = old->second.properties.begin(); it != old->second.properties.end(); ++it) {
            if (!node.properties.contains(it.key())) {
                removed.push_back(it.key());
            }
        }
        const auto kind = [](const QString& name) { return changesKind(name); };
        if (std::ranges::any_of(updated.keys(), kind) || std::ranges::any_of(removed, kind)) {
            changes.menus.insert(node.parent);
            continue;
        }
        if (!updated.isEmpty()) {
            changes.updated[id] = std::move(updated);
        }
        if (!removed.isEmpty()) {
            changes.removed[id] = std::move(removed);
        }
    }
    m_nodes = std::move(nodes);
    return changes;
}

bool DBusMenuExporter::needsReading(const Changes& changes, int menu) const {
    if (changes.menus.contains(menu)) {
        return true;
    }
    auto it = m_nodes.find(menu);
    return it != m_nodes.end() && std::ranges::any_of(it->second.children, [&](int child) {
               return changes.updated.contains(child) || changes.removed.contains(child);
           });
}

void DBusMenuExporter::offerSubmenus(const QDBusMessage& message, int menu, Changes& changes) const {
    if (!m_shallowReaders.contains(message.service())) {
        return;
    }
    for (int child : m_nodes.at(menu).children) {
        if (m_nodes.at(child).properties.contains(QStringLiteral("children-display"))) {
            changes.menus.insert(child);
        }
    }
}

void DBusMenuExporter::announce(const Changes& changes) {
    // Each announcement its own, higher revision: a host may skip one whose revision it has read.
    for (int menu : changes.menus) {
        if (!m_nodes.contains(menu)) {
            continue;
        }
        ++m_revision;
        auto signal = QDBusMessage::createSignal(QString::fromLatin1(objectPath), menuInterface,
                                                 QStringLiteral("LayoutUpdated"));
        signal << m_revision << menu;
        m_bus.send(signal);
    }
    QList<DBusMenuItemProperties> updated;
    QList<DBusMenuItemPropertyNames> removed;
    // An item of a menu read again comes with it.
    const auto announced = [&](int id) { return changes.menus.contains(m_nodes.at(id).parent); };
    for (const auto& [id, properties] : changes.updated) {
        if (!announced(id)) {
            updated.push_back({id, properties});
        }
    }
    for (const auto& [id, names] : changes.removed) {
        if (!announced(id)) {
            removed.push_back({id, names});
        }
    }
    if (!updated.isEmpty() || !removed.isEmpty()) {
        auto signal = QDBusMessage::createSignal(QString::fromLatin1(objectPath), menuInterface,
                                                 QStringLiteral("ItemsPropertiesUpdated"));
        signal << QVariant::fromValue(updated) << QVariant::fromValue(removed);
        m_bus.send(signal);
    }
}

void DBusMenuExporter::rebuild() {
    announce(update());
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
    const Node& node = m_nodes.at(id);
    item.properties = filtered(node, names);
    if (depth != 0) {
        for (int child : node.children) {
            item.children.push_back(
                layout(child, depth < 0 ? -1 : depth - 1, names).value<DBusMenuLayoutItem>());
        }
    }
    return QVariant::fromValue(item);
}

void DBusMenuExporter::event(int id, const QString& eventId) {
    if (eventId == QLatin1String("clicked")) {
        if (const auto& action = m_nodes.at(id).action) {
            QTimer::singleShot(0, &m_context, action);
        }
    } else if (eventId == QLatin1String("opened")) {
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
    auto error = [&](const QString& name, const QString& text) {
        connection.send(message.createErrorReply(name, text));
        return true;
    };
    auto unknownItem = [&](int id) { return error(invalidArgs, QStringLiteral("no menu item %1").arg(id)); };

    if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties")) {
        const QVariantMap all = globalProperties();
        if (member == QLatin1String("GetAll") && message.signature() == QLatin1String("s")) {
            return reply({all});
        }
        if (member == QLatin1String("Get") && message.signature() == QLatin1String("ss") &&
            all.contains(args[1].toString())) {
            return reply({QVariant::fromValue(QDBusVariant(all.value(args[1].toString())))});
        }
        return error(QStringLiteral("org.freedesktop.DBus.Error.UnknownProperty"),
                     QStringLiteral("no such property"));
    }
    if (!message.interface().isEmpty() && message.interface() != menuInterface) {
        return false;
    }
    auto signature = signatures().find(member);
    if (signature == signatures().end()) {
        return error(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                     QStringLiteral("no method %1").arg(member));
    }
    if (message.signature() != signature->second) {
        return error(invalidArgs, QStringLiteral("%1 takes (%2)").arg(member, signature->second));
    }

    if (member == QLatin1String("GetLayout")) {
        const int id = args[0].toInt();
        if (!m_nodes.contains(id)) {
            return unknownItem(id);
        }
        const int depth = args[1].toInt();
        if (depth >= 0) {
            m_shallowReaders.insert(message.service());
        }
        return reply({m_revision, layout(id, depth, qdbus_cast<QStringList>(args[2]))});
    }
    if (member == QLatin1String("GetGroupProperties")) {
        const auto ids = qdbus_cast<QList<int>>(args[0]);
        const QStringList names = qdbus_cast<QStringList>(args[1]);
        QList<DBusMenuItemProperties> items;
        // No identifiers asks for every item.
        for (const auto& [id, node] : m_nodes) {
            if (ids.isEmpty() ? id != 0 : ids.contains(id)) {
                items.push_back({id, filtered(node, names)});
            }
        }
        return reply({QVariant::fromValue(items)});
    }
    if (member == QLatin1String("GetProperty")) {
        const int id = args[0].toInt();
        const QString name = args[1].toString();
        auto it = m_nodes.find(id);
        if (it == m_nodes.end()) {
            return unknownItem(id);
        }
        if (!it->second.properties.contains(name)) {
            return error(invalidArgs, QStringLiteral("menu item %1 has no property %2").arg(id).arg(name));
        }
        return reply({QVariant::fromValue(QDBusVariant(it->second.properties.value(name)))});
    }
    if (member == QLatin1String("Event")) {
        const int id = args[0].toInt();
        if (!m_nodes.contains(id)) {
            return unknownItem(id);
        }
        reply({});
        event(id, args[1].toString());
        return true;
    }
    if (member == QLatin1String("EventGroup")) {
        const auto events = qdbus_cast<QList<DBusMenuEvent>>(args[0]);
        QList<int> errors;
        for (const auto& e : events) {
            if (!m_nodes.contains(e.id)) {
                errors.push_back(e.id);
            }
        }
        if (!events.isEmpty() && errors.size() == events.size()) {
            return error(invalidArgs, QStringLiteral("none of the menu items is known"));
        }
        reply({QVariant::fromValue(errors)});
        for (const auto& e : events) {
            // An earlier event of the group may have rebuilt the menu.
            if (m_nodes.contains(e.id)) {
                event(e.id, e.eventId);
            }
        }
        return true;
    }
    if (member == QLatin1String("AboutToShow")) {
        const int id = args[0].toInt();
        if (!m_nodes.contains(id)) {
            return unknownItem(id);
        }
        Changes changes = update();
        const bool read = needsReading(changes, id);
        if (read) {
            changes.menus.insert(id);
        }
        offerSubmenus(message, id, changes);
        reply({read});
        announce(changes);
        return true;
    }
    // AboutToShowGroup
    const auto ids = qdbus_cast<QList<int>>(args[0]);
    QList<int> errors;
    for (int id : ids) {
        if (!m_nodes.contains(id)) {
            errors.push_back(id);
        }
    }
    if (!ids.isEmpty() && errors.size() == ids.size()) {
        return error(invalidArgs, QStringLiteral("none of the menu items is known"));
    }
    Changes changes = update();
    QList<int> updates;
    for (int id : ids) {
        if (errors.contains(id)) {
            continue;
        }
        if (needsReading(changes, id)) {
            updates.push_back(id);
            changes.menus.insert(id);
        }
        offerSubmenus(message, id, changes);
    }
    reply({QVariant::fromValue(updates), QVariant::fromValue(errors)});
    announce(changes);
    return true;
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
