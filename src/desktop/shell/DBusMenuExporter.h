#pragma once

#include "platform/Menu.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace drovane::desktop {

// A Menu published on the bus as com.canonical.dbusmenu, the way tray hosts read a status
// item's menu. Items keep their numeric identity across rebuilds as long as their identifier
// stays. After a rebuild hosts hear what changed in the least disruptive way: a menu whose items
// came, went or moved gets LayoutUpdated with a new, higher revision (for that menu, so an open
// submenu of another is left alone); an item that only looks different gets
// ItemsPropertiesUpdated. AboutToShow answers whether the menu asked about must be read again,
// and then says LayoutUpdated for it after the answer (libdbusmenu-qt skips exactly one such
// signal after a true answer). Hosts that read one level at a time (libdbusmenu-qt, Plasma 5) fill
// a submenu only when it pops up, and Qt never shows a submenu that was empty then: to them each
// submenu is announced when its parent is about to show, so that it is filled before it opens.
// Clicks run the item's action from the event loop, after the host has its reply. Main thread.
class DBusMenuExporter final : public QDBusVirtualObject {
public:
    static constexpr const char* objectPath = "/MenuBar";

    // Publishes at objectPath on `bus`; `build` makes the menu from live state.
    DBusMenuExporter(QDBusConnection bus, std::function<Menu()> build);
    ~DBusMenuExporter() override;
    DBusMenuExporter(const DBusMenuExporter&) = delete;
    DBusMenuExporter& operator=(const DBusMenuExporter&) = delete;

    // Builds the menu again and tells hosts what changed.
    void rebuild();

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    struct Node {
        QVariantMap properties;
        std::vector<int> children;
        int parent = 0;
        std::function<void()> action;
    };
    // What a rebuild changed, as hosts are told.
    struct Changes {
        // Menus whose list of items changed.
        std::set<int> menus;
        // Items still in the same place whose properties changed: new values, and names unset.
        std::map<int, QVariantMap> updated;
        std::map<int, QStringList> removed;
    };

    Changes update();
    void announce(const Changes& changes);
    // Whether a host showing `menu` must read it again after `changes`.
    bool needsReading(const Changes& changes, int menu) const;
    // A host that reads one level at a time is about to show `menu`: its submenus are announced.
    void offerSubmenus(const QDBusMessage& message, int menu, Changes& changes) const;
    void flatten(const Menu& menu, int parent, const std::string& prefix, std::map<int, Node>& nodes);
    int idFor(const std::string& identifier);
    QVariant layout(int id, int depth, const QStringList& names) const;
    QVariantMap filtered(const Node& node, const QStringList& names) const;
    // Handles one event of a known item.
    void event(int id, const QString& eventId);

    QDBusConnection m_bus;
    std::function<Menu()> m_build;
    std::map<int, Node> m_nodes;
    std::map<std::string, int> m_ids;
    int m_nextId = 1;
    unsigned m_revision = 1;
    // The bus names of hosts that asked for layouts of a limited depth.
    std::set<QString> m_shallowReaders;
    // Owns the posted clicks: none runs once the exporter is gone.
    QObject m_context;
};

} // namespace drovane::desktop
