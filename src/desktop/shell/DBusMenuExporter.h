#pragma once

#include "platform/Menu.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QObject>
#include <QVariantMap>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace drovane::desktop {

// A Menu published on the bus as com.canonical.dbusmenu, the way tray hosts read a status
// item's menu. Items keep their numeric identity across rebuilds as long as their identifier
// stays; any change of the layout or of a property bumps the revision and says so
// (LayoutUpdated), and AboutToShow answers whether the rebuild it causes changed anything.
// Clicks run the item's action from the event loop, after the host has its reply. Main thread.
class DBusMenuExporter final : public QDBusVirtualObject {
public:
    static constexpr const char* objectPath = "/MenuBar";

    // Publishes at objectPath on `bus`; `build` makes the menu from live state.
    DBusMenuExporter(QDBusConnection bus, std::function<Menu()> build);
    ~DBusMenuExporter() override;
    DBusMenuExporter(const DBusMenuExporter&) = delete;
    DBusMenuExporter& operator=(const DBusMenuExporter&) = delete;

    void setBuilder(std::function<Menu()> build);
    // Builds the menu again; true (and LayoutUpdated sent) when what a host sees changed.
    bool rebuild();
    unsigned revision() const { return m_revision; }

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    struct Node {
        QVariantMap properties;
        std::vector<int> children;
        std::function<void()> action;
        bool operator==(const Node& other) const {
            return properties == other.properties && children == other.children;
        }
    };

    void flatten(const Menu& menu, int parent, const std::string& prefix, std::map<int, Node>& nodes);
    int idFor(const std::string& identifier);
    QVariant layout(int id, int depth, const QStringList& names) const;
    QVariantMap filtered(const Node& node, const QStringList& names) const;
    void event(int id, const QString& eventId);

    QDBusConnection m_bus;
    std::function<Menu()> m_build;
    std::map<int, Node> m_nodes;
    std::map<std::string, int> m_ids;
    int m_nextId = 1;
    unsigned m_revision = 1;
    // Owns the posted clicks: none runs once the exporter is gone.
    QObject m_context;
};

} // namespace drovane::desktop
