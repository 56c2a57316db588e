#include "desktop/shell/QtStatusBar.h"

#include "desktop/GuiTestSupport.h"
#include "desktop/shell/FakePanel.h"
#include "fakes/FakePlatform.h"
#include "fakes/ScriptedHttp.h"
#include "fakes/TempDir.h"
#include "library/Library.h"
#include "playback/AppModel.h"
#include "ui/StatusMenu.h"

#include <QApplication>
#include <QMenu>
#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

using namespace testing;

class QtStatusBarTest : public ::testing::Test {
protected:
    QtStatusBarTest() {
        fake.platform().http = std::make_shared<fakes::ScriptedHttp>();
        fake.platform().statusBar = std::make_shared<QtStatusBar>(testApplication(), bus.address());
    }
    void launch() {
        model = AppModel::create(fake.platform(), library);
        menu = StatusMenu::create(fake.platform(), library, *model);
        menu->setupMenu();
    }
    bool until(const std::function<bool()>& done) { return waitFor(done, fake.mainQueue.get()); }

    fakes::TempDir dir;
    PrivateBus bus{dir.path(), "session"};
    Panel panel{bus};
    fakes::FakePlatform fake;
    std::shared_ptr<const Library> library = std::make_shared<Library>(fake.host);
    std::shared_ptr<AppModel> model;
    std::shared_ptr<StatusMenu> menu;
};

QMenu* popup() {
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

// (On Wayland, swaybar's ContextMenu still shows our popup: the sway cell of the desktop matrix opens it.)
// On KWin Wayland our popup, even through XWayland, got no keyboard and its film submenu never
// opened; Plasma shows the exported menu itself when Activate fails.
TEST_F(QtStatusBarTest, OnWaylandActivateIsRefusedSoThatPlasmaShowsTheExportedMenu) {
    fake.platform().statusBar = std::make_shared<QtStatusBar>(testApplication(), bus.address(), true);
    panel.startWatcher();
    launch();
    ASSERT_TRUE(until([&] { return !panel.items.isEmpty(); }));
    // A call without its point is refused before anything reads the point.
    EXPECT_EQ(panel.itemCall(QStringLiteral("ContextMenu"), {}).errorName(),
              QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
    EXPECT_EQ(panel.itemCall(QStringLiteral("Activate"), {120, 40}).type(), QDBusMessage::ErrorMessage);
    spin(0.2);
    EXPECT_EQ(popup(), nullptr);
}

TEST(QtStatusBarMenuPosition, BesideThePointWithinTheAreaFreeOfPanels) {
    const QSize menu(200, 150);
    const QRect screen(0, 0, 1280, 800);
    struct Row {
        const char* what;
        QPoint at;
        QRect area;
        QSize size;
        QPoint expected;
    };
    const Row rows[] = {
        {"room below and right", {100, 100}, screen, menu, {100, 100}},
        {"too near the right edge: turned left", {1200, 100}, screen, menu, {1000, 100}},
        {"too near the bottom: turned up", {100, 700}, screen, menu, {100, 550}},
        {"on a bottom panel: just above it", {1070, 778}, {0, 0, 1280, 756}, menu, {1070, 606}},
        {"on a top panel: just below it", {640, 10}, {0, 30, 1280, 770}, menu, {640, 30}},
        {"on a left panel: beside it", {20, 400}, {48, 0, 1232, 800}, menu, {48, 400}},
        {"on a right panel: beside it", {1250, 400}, {0, 0, 1232, 800}, menu, {1032, 400}},
        {"taller than the area, on a bottom panel", {100, 778}, {0, 0, 1280, 756}, {200, 900}, {100, 0}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(QtStatusBar::menuPosition(row.at, row.size, row.area), row.expected) << row.what;
    }
}

TEST_F(QtStatusBarTest, WithoutAnyHostTheLineIsWrittenOnceAndAWatcherStartingLaterGetsTheItem) {
    launch();
    EXPECT_EQ(fake.log->lines(),
              std::vector<std::string>{"Drovane: status bar unavailable, running without menu"});

    panel.startWatcher();
    ASSERT_TRUE(until([&] { return panel.items.size() == 1; })) << "the item registers with a late watcher";
    panel.aboutToShow();
    EXPECT_NE(child(panel.layout(), QStringLiteral("Open Drovane")).id, 0);

    // A panel restart: the watcher goes and comes back.
    panel.stopWatcher();
    spin(0.2);
    panel.startWatcher();
    ASSERT_TRUE(until([&] { return panel.items.size() == 2; }));
    EXPECT_EQ(fake.log->countStartingWith("Drovane: status bar"), 1u);
}

} // namespace
} // namespace drovane::desktop
