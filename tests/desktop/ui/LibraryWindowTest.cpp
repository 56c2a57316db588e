#include "desktop/GuiTestSupport.h"
#include "desktop/ui/LibraryBridge.h"
#include "desktop/ui/QmlLibraryWindow.h"
#include "desktop/ui/TileListModel.h"
#include "fakes/AerialsTree.h"
#include "fakes/FakePlatform.h"
#include "fakes/ScriptedHttp.h"
#include "library/Downloader.h"
#include "library/Library.h"
#include "library/LibraryStore.h"
#include "playback/AppModel.h"

#include <QAbstractItemModelTester>
#include <QQmlProperty>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

using testing::waitUntil;

TileModel::State tile(const std::string& id, std::optional<double> progress = std::nullopt) {
    TileModel::State state;
    state.item = LibraryItem{id, "Film " + id, "G", std::nullopt, std::nullopt};
    state.progress = progress;
    return state;
}

TEST(TileListModelTest, AChangeOfStateTouchesOnlyItsRowAndANewListResets) {
    TileListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    EXPECT_TRUE(model.setTiles({tile("A"), tile("B"), tile("C")}));
    EXPECT_EQ(reset.count(), 1);
    // Three transfers report progress: each repaints its own tile only.
    EXPECT_FALSE(model.setTiles({tile("A", 0.1), tile("B"), tile("C", 0.5)}));
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed[0][0].toModelIndex().row(), 0);
    EXPECT_EQ(changed[1][0].toModelIndex().row(), 2);
    EXPECT_EQ(model.tile(0).value("ring").toDouble(), 0.1);
    EXPECT_TRUE(model.tile(7).isEmpty());
    // A download lands: the same film, now with its file, in place.
    auto landed = tile("C");
    landed.item.url = Url::fromFilePath("/films/C.mov");
    EXPECT_FALSE(model.setTiles({tile("A", 0.1), tile("B"), landed}));
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(changed.count(), 3);
    EXPECT_TRUE(model.tile(2).value("onDisk").toBool());
    EXPECT_TRUE(model.setTiles({tile("A"), tile("C")}));
    EXPECT_EQ(reset.count(), 2);
    EXPECT_EQ(model.rowCount(), 2);
}

// The window over a store on the fake platform, drawn on the test's X display.
class LibraryWindowTest : public ::testing::Test {
protected:
    LibraryWindowTest() {
        testing::testApplication();
        fake.platform().http = std::make_shared<fakes::ScriptedHttp>(); // transfers wait for the test
        model = AppModel::create(fake.platform(), library);
        store = LibraryStore::create(model, fake.platform(), library);
    }
    void catalogue(int films) {
        std::vector<fakes::AerialsTree::Film> list;
        for (int i = 0; i < films; ++i) {
            list.push_back({"F" + std::to_string(i), "Film " + std::to_string(i),
                            i % 2 ? "AerialCategoryUnderwater" : "AerialCategoryCities",
                            "https://cdn.test/" + std::to_string(i) + ".mov", std::nullopt});
        }
        aerials.writeManifest(list);
    }
    QmlLibraryWindow& window() {
        if (!m_window) {
            m_window = std::make_unique<QmlLibraryWindow>(
                LibraryWindowContent{store, nullptr, library, actions, SidebarSelection::all()});
            m_window->show();
            EXPECT_TRUE(waitUntil([this] { return m_window->view().isExposed(); }, 10));
        }
        return *m_window;
    }
    void publish() {
        store->refresh();
        fake.mainQueue->drain();
        while (fake.taskQueues->queue(LibraryStore::scanQueueLabel)->runAll() > 0) {
            fake.mainQueue->drain();
        }
        testing::spin(0.2);
    }

    fakes::FakePlatform fake;
    std::shared_ptr<const Library> library = std::make_shared<Library>(fake.host);
    fakes::AerialsTree aerials{*fake.host};
    std::shared_ptr<AppModel> model;
    std::shared_ptr<LibraryStore> store;
    // What the window asked of the controller, as "action filmId".
    std::vector<std::string> calls;
    MainWindowActions actions = [this] {
        auto record = [this](const char* name) {
            return
                [this, name](const LibraryItem& item) { calls.push_back(std::string(name) + " " + item.id); };
        };
        MainWindowActions a;
        a.select = record("select");
        a.download = record("download");
        a.cancelItem = record("cancel");
        a.deleteItem = record("delete");
        return a;
    }();

private:
    std::unique_ptr<QmlLibraryWindow> m_window;
};

TEST_F(LibraryWindowTest, TheKeyboardReachesEveryFilmAndActsOnIt) {
    // Two sections of three, four columns: a row, a heading, a row. "Film 2" is on disk and
    // "Film 5" is queued for download. (Where each move lands at the grid's edges and headings,
    // GridFocusTest checks.)
    catalogue(6);
    aerials.addVideo("F2.mov");
    model->downloader->start(std::vector<std::string>{"F5"});
    publish();
    QQuickView& view = window().view();
    ASSERT_TRUE(waitUntil([&] { return view.isExposed() && view.isActive(); }, 5));
    ASSERT_EQ(view.rootObject()->findChild<QQuickItem*>("grid")->property("columns").toInt(), 4);
    // Where the focus is: a film's id, or the sidebar's chosen row.
    auto focused = [&]() -> std::string {
        QQuickItem* item = view.activeFocusItem();
        if (!item) {
            return "none";
        }
        if (item->property("filmId").isValid()) {
            return item->property("filmId").toString().toStdString();
        }
        return item->property("selected").toBool()
                   ? "sidebar " + window().bridge().selectionKey().toStdString()
                   : item->metaObject()->className();
    };
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::string focus;
        std::string call;
    } steps[] = {
        // clang-format off
        {Qt::Key_Tab, {}, "sidebar all", ""},
        {Qt::Key_Down, {}, "sidebar favorites", ""},
        {Qt::Key_Down, {}, "sidebar ondisk", ""},
        {Qt::Key_Up, {}, "sidebar favorites", ""},
        {Qt::Key_Home, {}, "sidebar all", ""},
        {Qt::Key_Tab, {}, "F0", ""},
        {Qt::Key_Right, {}, "F2", ""},
        {Qt::Key_End, {}, "F5", ""},
        {Qt::Key_Escape, {}, "F5", "cancel F5"},
        {Qt::Key_Home, {}, "F0", ""},
        {Qt::Key_Return, {}, "F0", "download F0"},
        {Qt::Key_Right, {}, "F2", ""},
        {Qt::Key_Space, {}, "F2", "select F2"},
        {Qt::Key_Delete, {}, "F2", "delete F2"},
        {Qt::Key_Backtab, Qt::ShiftModifier, "sidebar all", ""},
        {Qt::Key_Tab, {}, "F2", ""},
        // clang-format on
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(QKeySequence(step.key | step.modifiers).toString().toStdString() + " to " + step.focus);
        calls.clear();
        testing::pressKey(view, step.key, step.modifiers);
        EXPECT_EQ(focused(), step.focus);
        EXPECT_EQ(calls,
                  step.call.empty() ? std::vector<std::string>{} : std::vector<std::string>{step.call});
    }
    QTest::keyClick(&view, Qt::Key_F);
    EXPECT_TRUE(store->favorites().value().contains("F2"));
    // A film that sorts before it joins the catalogue: the focus stays on "Film 2".
    aerials.writeManifest({{"F0", "Film 0", "AerialCategoryCities", "https://cdn.test/0.mov", std::nullopt},
                           {"F1", "Film 1", "AerialCategoryCities", "https://cdn.test/1.mov", std::nullopt},
                           {"F2", "Film 2", "AerialCategoryCities", "https://cdn.test/2.mov", std::nullopt}});
    publish();
    EXPECT_EQ(window().bridge().focusTile(), 2);
    EXPECT_EQ(focused(), "F2");
    // The menu key opens the focused tile's menu.
    QObject* menu = view.rootObject()->findChild<QObject*>("contextMenu");
    ASSERT_TRUE(menu);
    QTest::keyClick(&view, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_TRUE(waitUntil([&] { return QQmlProperty::read(menu, "opened").toBool(); }, 2));
    QTest::keyClick(&view, Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([&] { return focused() == "F2"; }, 2)) << "the tile has the keyboard again";
}

TEST_F(LibraryWindowTest, SizesBeyondAnyScreenAreHeldToTheWindowsLimits) {
    // "--size 1e300x1e300", or a stored frame that large, went to int unchecked (undefined
    // behaviour), and a size past the window's limits reached the X server as it was.
    catalogue(1);
    window().setContentSize({1e300, 1e300});
    // As large as the window may be, within the screen.
    const QRect area = window().view().screen()->availableGeometry();
    EXPECT_TRUE(waitUntil(
        [&] {
            const QRect g = window().view().geometry();
            return g.width() == std::min(1800, area.width() - 8) && g.height() >= 680 && area.contains(g);
        },
        5))
        << window().view().width() << "x" << window().view().height();
    window().setFrame({{-1e300, 1e300}, {1e300, -1e300}});
    EXPECT_TRUE(waitUntil([this] { return window().view().size() == QSize(1800, 680); }, 5))
        << window().view().width() << "x" << window().view().height();
}

} // namespace
} // namespace drovane::desktop
