#include "desktop/shell/DBusMenuExporter.h"

#include "desktop/shell/FakePanel.h"
#include "fakes/TempDir.h"

#include <QDBusArgument>
#include <QObject>
#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

using namespace testing;

// What the exporter says on the bus, as a host hears it.
class MenuSignals : public QObject {
    Q_OBJECT
public:
    std::vector<int> layouts; // the menus hosts are to read again
    std::map<int, QVariantMap> updated;
    std::map<int, QStringList> removed;

    void clear() {
        layouts.clear();
        updated.clear();
        removed.clear();
    }

public slots:
    void layoutUpdated(uint, int menu) { layouts.push_back(menu); }
    void propertiesUpdated(const QDBusMessage& message) {
        for (const auto& item : qdbus_cast<QList<DBusMenuItemProperties>>(message.arguments().value(0))) {
            updated[item.id] = item.properties;
        }
        for (const auto& item : qdbus_cast<QList<DBusMenuItemPropertyNames>>(message.arguments().value(1))) {
            removed[item.id] = item.names;
        }
    }
};

MenuItem action(std::string identifier, std::string title) {
    MenuItem item;
    item.identifier = std::move(identifier);
    item.title = std::move(title);
    item.action = [] {};
    return item;
}

MenuItem film(const std::string& identifier, bool checked) {
    MenuItem item = action(identifier, identifier);
    item.checkable = true;
    item.checked = checked;
    return item;
}

// Open / Wallpaper ▸ (a ✓, b) / Quit
Menu baseMenu() {
    MenuItem films = action("films", "Wallpaper");
    films.kind = MenuItem::Kind::Submenu;
    films.submenu = {film("a", true), film("b", false)};
    return {action("open", "Open"), std::move(films), action("quit", "Quit")};
}

// The labels of a layout's items, a submenu's read items in brackets: "Open,Wallpaper(a,b),Quit".
QString outline(const DBusMenuLayoutItem& menu) {
    QStringList items;
    for (const auto& child : menu.children) {
        items << labelOf(child) + (child.children.isEmpty() ? QString() : "(" + outline(child) + ")");
    }
    return items.join(',');
}

class DBusMenuExporterTest : public ::testing::Test {
protected:
    DBusMenuExporterTest() {
        ensureQtApplication();
        panel.items = {exporterBus.baseService()};
        const QString service = exporterBus.baseService(), path = QStringLiteral("/MenuBar"),
                      interface = QStringLiteral("com.canonical.dbusmenu");
        hostBus.connect(service, path, interface, QStringLiteral("LayoutUpdated"), &heard,
                        SLOT(layoutUpdated(uint, int)));
        hostBus.connect(service, path, interface, QStringLiteral("ItemsPropertiesUpdated"), &heard,
                        SLOT(propertiesUpdated(QDBusMessage)));
    }

    // The item ids by label, as the exporter numbered them.
    std::map<QString, int> ids() {
        std::map<QString, int> out;
        std::function<void(const DBusMenuLayoutItem&)> walk = [&](const DBusMenuLayoutItem& item) {
            for (const auto& child : item.children) {
                out[labelOf(child)] = child.id;
                walk(child);
            }
        };
        walk(panel.layout());
        return out;
    }
    // What hosts heard since the last clear, by label: "layout Wallpaper; updated a b".
    std::string heardSoFar() {
        // Lets the signals sent so far arrive.
        panel.menuCall(QStringLiteral("GetLayout"), {0, -1, QStringList()});
        waitFor([] { return false; }, nullptr, 0.05);
        std::map<int, QString> label{{0, QStringLiteral("top")}};
        for (const auto& [name, id] : ids()) {
            label[id] = name;
        }
        QStringList parts;
        for (const int id : heard.layouts) {
            parts << "layout " + label[id];
        }
        const auto items = [&](const QString& kind, const auto& byId) {
            QStringList names;
            for (const auto& item : byId) {
                names << label[item.first];
            }
            if (!names.isEmpty()) {
                parts << kind + names.join(' ');
            }
        };
        items(QStringLiteral("updated "), heard.updated);
        items(QStringLiteral("removed "), heard.removed);
        return parts.join(QStringLiteral("; ")).toStdString();
    }

    fakes::TempDir dir;
    PrivateBus bus{dir.path(), "session"};
    QDBusConnection exporterBus = bus.connect(QStringLiteral("exporter"));
    QDBusConnection hostBus = bus.connect(QStringLiteral("panel"));
    Panel panel{bus};
    MenuSignals heard;
    Menu menu = baseMenu();
    DBusMenuExporter exporter{exporterBus, [this] { return menu; }};
};

QString errorOf(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ErrorMessage ? reply.errorName() : QString();
}

// GetProperty of an unknown item or of a property the item does not have once sent a reply that
// could not be marshalled, so none at all: the host waited for its whole timeout. Every refusal
// is an answer at once.
TEST_F(DBusMenuExporterTest, WhatCannotBeAnsweredIsRefusedAtOnce) {
    const auto id = ids();
    const int films = id.at("Wallpaper");
    const QVariant clicked = QVariant::fromValue(QDBusVariant(0));
    const struct {
        const char* what;
        const char* member;
        QVariantList args;
    } rows[] = {
        // clang-format off
        {"a property the item lacks", "GetProperty", {id.at("Open"), "toggle-state"}},
        {"a property nothing has", "GetProperty", {id.at("Open"), "no-such-property"}},
        {"a property of an unknown item", "GetProperty", {9999, "label"}},
        {"a property of a negative item", "GetProperty", {-1, "label"}},
        {"an unknown menu", "GetLayout", {4242, -1, QStringList()}},
        {"arguments of the wrong type", "GetLayout", {QStringLiteral("0"), -1, QStringList()}},
        {"AboutToShow on an unknown menu", "AboutToShow", {4242}},
        {"AboutToShowGroup of unknown menus only", "AboutToShowGroup", {QVariant::fromValue(QList<int>{4242})}},
        {"an event of an unknown item", "Event", {4242, "clicked", clicked, 0u}},
        {"no such method", "Frobnicate", {}},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        // No answer would end in the panel's timeout, with NoReply.
        EXPECT_EQ(errorOf(panel.menuCall(row.member, row.args)),
                  row.member == std::string("Frobnicate")
                      ? QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod")
                      : QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
    }
    EXPECT_EQ(errorOf(panel.menuCall(QStringLiteral("Event"), {films, "opened", clicked, 0u})), QString());
}

TEST_F(DBusMenuExporterTest, AnswersHostsAsTheProtocolSays) {
    const auto id = ids();
    const int films = id.at("Wallpaper");
    const auto call = [&](const char* member, const QVariantList& args) {
        const auto reply = panel.menuCall(member, args);
        EXPECT_EQ(errorOf(reply), QString()) << member;
        return reply.arguments();
    };
    const auto property = [&](int item, const char* name) {
        return call("GetProperty", {item, name}).value(0).value<QDBusVariant>().variant();
    };
    const auto layout = [&](int parent, int depth, const QStringList& names = {}) {
        return qdbus_cast<DBusMenuLayoutItem>(call("GetLayout", {parent, depth, names}).value(1));
    };
    const auto group = [&](const QList<int>& items, const char* name) {
        return qdbus_cast<QList<DBusMenuItemProperties>>(
            call("GetGroupProperties", {QVariant::fromValue(items), QStringList{name}}).value(0));
    };
    EXPECT_EQ(property(id.at("Quit"), "label"), "Quit");
    EXPECT_EQ(property(id.at("a"), "toggle-state"), 1);
    // Depth 0 is the item alone; at depth 1 a submenu's items are not there yet.
    EXPECT_EQ(outline(layout(0, 0)), "");
    EXPECT_EQ(outline(layout(0, 1)), "Open,Wallpaper,Quit");
    const auto labelsOnly = layout(0, 2, {"label"});
    EXPECT_EQ(outline(labelsOnly), "Open,Wallpaper(a,b),Quit");
    EXPECT_EQ(child(child(labelsOnly, "Wallpaper"), "a").properties.keys(), QStringList{"label"});
    // The submenu by itself, with its check marks.
    const auto sub = layout(films, 1);
    EXPECT_EQ(outline(sub), "a,b");
    EXPECT_EQ(child(sub, "a").properties.value("toggle-state").toInt(), 1);
    EXPECT_EQ(child(sub, "b").properties.value("toggle-state").toInt(), 0);
    // Group properties skip unknown items; asked of no item, they are those of every item.
    const auto some = group({id.at("Open"), id.at("a"), 4242}, "label");
    ASSERT_EQ(some.size(), 2);
    EXPECT_EQ(some[0].properties, (QVariantMap{{"label", "Open"}}));
    EXPECT_EQ(some[1].id, id.at("a"));
    EXPECT_EQ(group({}, "label").size(), 5);
}

TEST_F(DBusMenuExporterTest, HostsHearWhatChangedWithoutDisturbingAnOpenSubmenu) {
    const auto id = ids();
    const int films = id.at("Wallpaper"), a = id.at("a");
    auto& filmItems = menu[1].submenu;
    const auto checkFilm = [&](std::size_t which) {
        return [&, which] {
            for (std::size_t i = 0; i < filmItems.size(); ++i) {
                filmItems[i].checked = i == which;
            }
        };
    };
    const struct {
        const char* what;
        std::function<void()> change;
        int askedMenu; // AboutToShow on it; -1: the host only says "opened" on the top menu
        bool readAgain;
        std::string heard;
    } rows[] = {
        // clang-format off
        {"the check mark moves, the top menu opens", checkFilm(1), 0, false, "updated a b"},
        {"the check mark moves back, the submenu opens", checkFilm(0), films, true, "layout Wallpaper"},
        {"a film comes: only the submenu is read again", [&] { filmItems.push_back(film("c", false)); }, 0, false,
         "layout Wallpaper"},
        {"a row comes in the top menu", [&] { menu.insert(menu.begin() + 1, MenuItem::separator("sep")); }, 0, true,
         "layout top"},
        {"a label changes while the submenu opens", [&] { menu[0].title = "Opened"; }, films, false, "updated Opened"},
        {"an item is disabled", [&] { menu[0].enabled = false; }, -1, false, "updated Opened"},
        {"and enabled again", [&] { menu[0].enabled = true; }, -1, false, "removed Opened"},
        {"an item becomes a submenu", [&] { menu[0].kind = MenuItem::Kind::Submenu; }, films, false, "layout top"},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        heard.clear();
        row.change();
        if (row.askedMenu >= 0) {
            EXPECT_EQ(panel.aboutToShow(row.askedMenu), row.readAgain);
        } else {
            panel.menuCall(QStringLiteral("Event"),
                           {0, QStringLiteral("opened"), QVariant::fromValue(QDBusVariant(0)), 0u});
        }
        EXPECT_EQ(heardSoFar(), row.heard);
        for (const auto& [item, names] : heard.removed) {
            EXPECT_EQ(names, QStringList{"enabled"});
        }
    }
    EXPECT_EQ(ids().at("Wallpaper"), films) << "an item keeps its identity when rows come before it";
    EXPECT_EQ(ids().at("a"), a);
}

// Plasma 5 reads one level at a time and fills a submenu when it pops up; Qt never showed the
// film submenu, empty at that moment, and the submenu never opened.
TEST_F(DBusMenuExporterTest, HostsReadingOneLevelAtATimeHearOfASubmenuBeforeItOpens) {
    Panel shallow(bus, QStringLiteral("shallow"));
    shallow.items = panel.items;
    const struct {
        Panel& host;
        int depth;
        std::string heard;
    } rows[] = {{panel, -1, ""}, {shallow, 1, "layout Wallpaper"}, {panel, -1, ""}};
    for (const auto& row : rows) {
        heard.clear();
        row.host.menuCall(QStringLiteral("GetLayout"), {0, row.depth, QStringList()});
        EXPECT_FALSE(row.host.aboutToShow(0));
        EXPECT_EQ(heardSoFar(), row.heard) << "depth " << row.depth;
    }
}

// (A single click through the panel runs its action in the launch test, on Quit.)
TEST_F(DBusMenuExporterTest, AGroupOfClicksRunsTheKnownItemsAndNamesTheUnknown) {
    int clicks = 0;
    menu[0].action = [&] { ++clicks; };
    exporter.rebuild();
    const QList<DBusMenuEvent> group{{ids().at("Open"), QStringLiteral("clicked"), QDBusVariant(0), 0u},
                                     {4242, QStringLiteral("clicked"), QDBusVariant(0), 0u}};
    const auto reply = panel.menuCall(QStringLiteral("EventGroup"), {QVariant::fromValue(group)});
    EXPECT_EQ(qdbus_cast<QList<int>>(reply.arguments().value(0)), QList<int>{4242});
    ASSERT_TRUE(waitFor([&] { return clicks == 1; }));
}

} // namespace
} // namespace drovane::desktop

#include "DBusMenuExporterTest.moc"
