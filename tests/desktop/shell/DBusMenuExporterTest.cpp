#include "desktop/shell/DBusMenuExporter.h"

#include "desktop/DesktopTestSupport.h"
#include "desktop/shell/DBusMenuTypes.h"
#include "desktop/shell/FakePanel.h"
#include "fakes/TempDir.h"

#include <QDBusArgument>
#include <QElapsedTimer>
#include <QObject>
#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

using namespace testing;

// What the exporter says on the bus, as a host hears it.
class MenuSignals : public QObject {
    Q_OBJECT
public:
    struct Layout {
        uint revision;
        int menu;
    };
    std::vector<Layout> layouts;
    std::map<int, QVariantMap> updated;
    std::map<int, QStringList> removed;

    void clear() {
        layouts.clear();
        updated.clear();
        removed.clear();
    }

public slots:
    void layoutUpdated(uint revision, int menu) { layouts.push_back({revision, menu}); }
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

MenuItem film(std::string identifier, bool checked) {
    MenuItem item = action(identifier, identifier);
    item.checkable = true;
    item.checked = checked;
    return item;
}

// Open / Wallpaper ▸ (a ✓, b) / Quit ⌃Q
Menu baseMenu() {
    MenuItem films;
    films.kind = MenuItem::Kind::Submenu;
    films.identifier = "films";
    films.title = "Wallpaper";
    films.submenu = {film("a", true), film("b", false)};
    MenuItem quit = action("quit", "Quit");
    quit.keyEquivalent = "q";
    return {action("open", "Open"), std::move(films), std::move(quit)};
}

class DBusMenuExporterTest : public ::testing::Test {
protected:
    DBusMenuExporterTest() {
        ensureQtApplication();
        registerStatusTypes();
        panel.items = {exporterBus.baseService()};
        const QString service = exporterBus.baseService(), path = QStringLiteral("/MenuBar"),
                      interface = QStringLiteral("com.canonical.dbusmenu");
        hostBus.connect(service, path, interface, QStringLiteral("LayoutUpdated"), &heard,
                        SLOT(layoutUpdated(uint, int)));
        hostBus.connect(service, path, interface, QStringLiteral("ItemsPropertiesUpdated"), &heard,
                        SLOT(propertiesUpdated(QDBusMessage)));
    }

    // The item ids by identifier, as the exporter numbered them.
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
    // Lets the signals sent so far arrive.
    void settle() {
        panel.menuCall(QStringLiteral("GetLayout"), {0, -1, QStringList()});
        waitFor([] { return false; }, nullptr, 0.05);
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

const QString invalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");

// GetProperty of an unknown item or of a property the item does not have once sent a reply that
// could not be marshalled, so none at all: the host waited for its whole timeout.
TEST_F(DBusMenuExporterTest, GetPropertyOfAnUnknownItemOrUnsetPropertyAnswersAtOnce) {
    const auto id = ids();
    struct Row {
        int item;
        const char* property;
        QString error;
        QVariant value;
    };
    const Row rows[] = {
        {id.at("Quit"), "label", {}, QStringLiteral("Quit")},
        {id.at("a"), "toggle-state", {}, 1},
        {id.at("Open"), "toggle-state", invalidArgs, {}},
        {id.at("Open"), "no-such-property", invalidArgs, {}},
        {9999, "label", invalidArgs, {}},
        {-1, "label", invalidArgs, {}},
    };
    for (const Row& row : rows) {
        QElapsedTimer clock;
        clock.start();
        const auto reply = panel.menuCall(QStringLiteral("GetProperty"), {row.item, QString(row.property)});
        EXPECT_EQ(errorOf(reply), row.error) << row.item << " " << row.property;
        EXPECT_LT(clock.elapsed(), 1000) << row.item << " " << row.property;
        if (row.value.isValid()) {
            EXPECT_EQ(reply.arguments().value(0).value<QDBusVariant>().variant(), row.value) << row.property;
        }
    }
}

TEST_F(DBusMenuExporterTest, AnswersHostsAsTheProtocolSays) {
    const auto id = ids();
    const int films = id.at("Wallpaper");
    const auto layoutOf = [](const QDBusMessage& reply) {
        return qdbus_cast<DBusMenuLayoutItem>(reply.arguments().value(1));
    };
    const auto subLabels = [&](const QDBusMessage& reply) {
        return labels(child(layoutOf(reply), QStringLiteral("Wallpaper")));
    };
    struct Row {
        const char* what;
        QString member;
        QVariantList args;
        QString error;
        std::function<void(const QDBusMessage&)> check;
    };
    const Row rows[] = {
        {"depth 0: the item alone",
         "GetLayout",
         {0, 0, QStringList()},
         {},
         [&](auto& r) { EXPECT_TRUE(layoutOf(r).children.isEmpty()); }},
        {"depth 1: a submenu's items are not there yet",
         "GetLayout",
         {0, 1, QStringList()},
         {},
         [&](auto& r) {
             EXPECT_EQ(labels(layoutOf(r)), (QStringList{"Open", "Wallpaper", "Quit"}));
             EXPECT_EQ(subLabels(r), QStringList());
         }},
        {"depth -1: the whole tree",
         "GetLayout",
         {0, -1, QStringList()},
         {},
         [&](auto& r) {
             EXPECT_EQ(subLabels(r), (QStringList{"a", "b"}));
         }},
        {"depth 2, only labels",
         "GetLayout",
         {0, 2, QStringList{"label"}},
         {},
         [&](auto& r) {
             EXPECT_EQ(subLabels(r), (QStringList{"a", "b"}));
             const auto a = child(child(layoutOf(r), QStringLiteral("Wallpaper")), QStringLiteral("a"));
             EXPECT_EQ(a.properties.keys(), QStringList{"label"});
         }},
        {"the submenu by itself, with its check marks",
         "GetLayout",
         {films, 1, QStringList()},
         {},
         [&](auto& r) {
             const auto sub = layoutOf(r);
             EXPECT_EQ(labels(sub), (QStringList{"a", "b"}));
             EXPECT_EQ(sub.properties.value("children-display").toString(), QStringLiteral("submenu"));
             const auto a = child(sub, QStringLiteral("a")).properties;
             const auto b = child(sub, QStringLiteral("b")).properties;
             EXPECT_EQ(a.value("toggle-type").toString(), QStringLiteral("checkmark"));
             EXPECT_EQ(a.value("toggle-state").toInt(), 1);
             EXPECT_EQ(b.value("toggle-state").toInt(), 0);
         }},
        {"an unknown menu", "GetLayout", {4242, -1, QStringList()}, invalidArgs, {}},
        {"arguments of the wrong type",
         "GetLayout",
         {QStringLiteral("0"), -1, QStringList()},
         invalidArgs,
         {}},
        {"group properties skip unknown items",
         "GetGroupProperties",
         {QVariant::fromValue(QList<int>{id.at("Open"), id.at("a"), 4242}), QStringList{"label"}},
         {},
         [&](auto& r) {
             const auto items = qdbus_cast<QList<DBusMenuItemProperties>>(r.arguments().value(0));
             ASSERT_EQ(items.size(), 2);
             EXPECT_EQ(items[0].properties, (QVariantMap{{"label", "Open"}}));
             EXPECT_EQ(items[1].id, id.at("a"));
         }},
        {"group properties of no item are those of every item",
         "GetGroupProperties",
         {QVariant::fromValue(QList<int>{}), QStringList{"label"}},
         {},
         [&](auto& r) {
             EXPECT_EQ(qdbus_cast<QList<DBusMenuItemProperties>>(r.arguments().value(0)).size(), 5);
         }},
        {"the shortcut as a host reads it",
         "GetGroupProperties",
         {QVariant::fromValue(QList<int>{id.at("Quit")}), QStringList{"shortcut"}},
         {},
         [&](auto& r) {
             const auto items = qdbus_cast<QList<DBusMenuItemProperties>>(r.arguments().value(0));
             ASSERT_EQ(items.size(), 1);
             EXPECT_EQ(qdbus_cast<QList<QStringList>>(items[0].properties.value("shortcut")),
                       (QList<QStringList>{{"Control", "q"}}));
         }},
        {"AboutToShow on the submenu, unchanged",
         "AboutToShow",
         {films},
         {},
         [&](auto& r) { EXPECT_FALSE(r.arguments().value(0).toBool()); }},
        {"AboutToShow on an unknown menu", "AboutToShow", {4242}, invalidArgs, {}},
        {"AboutToShowGroup names the unknown",
         "AboutToShowGroup",
         {QVariant::fromValue(QList<int>{films, 4242})},
         {},
         [&](auto& r) {
             EXPECT_EQ(qdbus_cast<QList<int>>(r.arguments().value(0)), QList<int>{});
             EXPECT_EQ(qdbus_cast<QList<int>>(r.arguments().value(1)), QList<int>{4242});
         }},
        {"AboutToShowGroup of unknown menus only",
         "AboutToShowGroup",
         {QVariant::fromValue(QList<int>{4242})},
         invalidArgs,
         {}},
        {"an event of an unknown item",
         "Event",
         {4242, "clicked", QVariant::fromValue(QDBusVariant(0)), 0u},
         invalidArgs,
         {}},
        {"an opened submenu", "Event", {films, "opened", QVariant::fromValue(QDBusVariant(0)), 0u}, {}, {}},
        {"no such method", "Frobnicate", {}, QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"), {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto reply = panel.menuCall(row.member, row.args);
        EXPECT_EQ(errorOf(reply), row.error);
        if (row.check && row.error.isEmpty()) {
            row.check(reply);
        }
    }
}

TEST_F(DBusMenuExporterTest, HostsHearWhatChangedWithoutDisturbingAnOpenSubmenu) {
    const auto id = ids();
    const int films = id.at("Wallpaper"), open = id.at("Open");
    auto& filmItems = menu[1].submenu;
    struct Row {
        const char* what;
        std::function<void()> change;
        int askedMenu; // AboutToShow on it; -1: the host only says "opened" on the top menu
        bool readAgain;
        std::vector<int> layouts;
        std::vector<int> updated;
        std::vector<int> removed;
    };
    const Row rows[] = {
        {"nothing changed", [] {}, 0, false, {}, {}, {}},
        {"the check mark moves, the top menu opens",
         [&] {
             filmItems[0].checked = false;
             filmItems[1].checked = true;
         },
         0,
         false,
         {},
         {id.at("a"), id.at("b")},
         {}},
        {"the check mark moves back, the submenu opens",
         [&] {
             filmItems[0].checked = true;
             filmItems[1].checked = false;
         },
         films,
         true,
         {films},
         {},
         {}},
        {"a film comes: only the submenu is read again",
         [&] { filmItems.push_back(film("c", false)); },
         0,
         false,
         {films},
         {},
         {}},
        {"a row comes in the top menu",
         [&] { menu.insert(menu.begin() + 1, MenuItem::separator("sep")); },
         0,
         true,
         {0},
         {},
         {}},
        {"a label changes while the submenu opens",
         [&] { menu[0].title = "Open Again"; },
         films,
         false,
         {},
         {open},
         {}},
        {"an item is disabled", [&] { menu[0].enabled = false; }, -1, false, {}, {open}, {}},
        {"and enabled again", [&] { menu[0].enabled = true; }, -1, false, {}, {}, {open}},
        {"an item becomes a submenu",
         [&] { menu[0].kind = MenuItem::Kind::Submenu; },
         films,
         false,
         {0},
         {},
         {}},
    };
    uint revision =
        panel.menuCall(QStringLiteral("GetLayout"), {0, -1, QStringList()}).arguments()[0].toUInt();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        heard.clear();
        row.change();
        if (row.askedMenu >= 0) {
            EXPECT_EQ(panel.aboutToShow(row.askedMenu), row.readAgain);
        } else {
            panel.menuCall(QStringLiteral("Event"),
                           {0, QStringLiteral("opened"), QVariant::fromValue(QDBusVariant(0)), 0u});
        }
        settle();
        std::vector<int> layouts, updated, removed;
        for (const auto& layout : heard.layouts) {
            layouts.push_back(layout.menu);
            EXPECT_GT(layout.revision, revision) << "a revision only grows";
            revision = layout.revision;
        }
        for (const auto& [item, properties] : heard.updated) {
            updated.push_back(item);
        }
        for (const auto& [item, names] : heard.removed) {
            removed.push_back(item);
            EXPECT_EQ(names, QStringList{"enabled"});
        }
        EXPECT_EQ(layouts, row.layouts);
        EXPECT_EQ(updated, row.updated);
        EXPECT_EQ(removed, row.removed);
        EXPECT_EQ(panel.menuCall(QStringLiteral("GetLayout"), {0, -1, QStringList()}).arguments()[0].toUInt(),
                  revision);
    }
}

// Plasma 5 reads one level at a time and fills a submenu when it pops up; Qt never showed the
// film submenu, empty at that moment, and the submenu never opened.
TEST_F(DBusMenuExporterTest, HostsReadingOneLevelAtATimeHearOfASubmenuBeforeItOpens) {
    const int films = ids().at("Wallpaper");
    Panel shallow(bus, QStringLiteral("shallow"));
    shallow.items = panel.items;
    struct Row {
        Panel& host;
        int depth;
        std::vector<int> layouts;
    };
    const Row rows[] = {
        {panel, -1, {}},
        {shallow, 1, {films}},
        {panel, -1, {}},
    };
    for (const Row& row : rows) {
        heard.clear();
        row.host.menuCall(QStringLiteral("GetLayout"), {0, row.depth, QStringList()});
        EXPECT_FALSE(row.host.aboutToShow(0));
        settle();
        std::vector<int> layouts;
        for (const auto& layout : heard.layouts) {
            layouts.push_back(layout.menu);
        }
        EXPECT_EQ(layouts, row.layouts) << "depth " << row.depth;
    }
}

TEST_F(DBusMenuExporterTest, ClicksRunTheirItemsActionsAndAGroupNamesTheUnknownItems) {
    int clicks = 0;
    menu[0].action = [&] { ++clicks; };
    exporter.rebuild();
    const int open = ids().at("Open");
    panel.click(open);
    ASSERT_TRUE(waitFor([&] { return clicks == 1; }));
    const QList<DBusMenuEvent> group{{open, QStringLiteral("clicked"), QDBusVariant(0), 0u},
                                     {4242, QStringLiteral("clicked"), QDBusVariant(0), 0u}};
    const auto reply = panel.menuCall(QStringLiteral("EventGroup"), {QVariant::fromValue(group)});
    EXPECT_EQ(qdbus_cast<QList<int>>(reply.arguments().value(0)), QList<int>{4242});
    ASSERT_TRUE(waitFor([&] { return clicks == 2; }));
}

} // namespace
} // namespace drovane::desktop

#include "DBusMenuExporterTest.moc"
