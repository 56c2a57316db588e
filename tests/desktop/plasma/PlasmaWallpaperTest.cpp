#include "desktop/plasma/PlasmaWallpaper.h"

#include "desktop/DesktopTestSupport.h"
#include "fakes/CapturedLog.h"
#include "fakes/TempDir.h"
#include "support/Files.h"

#include <QJSEngine>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

using testing::PrivateBus;
using Config = std::map<std::string, std::string>;

// plasmashell's scripting objects as far as the scripts use them: desktops with an id, a
// screen, a wallpaper plugin and config groups; screenGeometry(); print().
constexpr char shellModel[] = R"(
var printed = '';
function print(text) { printed += String(text) + '\n'; }
function screenGeometry(i) { return geometries[i]; }
// For the test: each desktop's plugin and its settings, in the form of the remembered file.
function wallpapers() {
    var byId = {};
    state.forEach(function (s) { byId[s.id] = {plugin: s.plugin, config: s.config[groupOf(s.plugin)] || {}}; });
    return JSON.stringify({desktops: byId});
}
function groupOf(plugin) { return 'Wallpaper/' + plugin + '/General'; }
function desktops() {
    return state.map(function (s) {
        var group = '';
        return {
            get id() { return s.id; },
            get screen() { return s.screen; },
            get wallpaperPlugin() { return s.plugin; },
            set wallpaperPlugin(p) { s.plugin = p; },
            set currentConfigGroup(g) { group = g.join('/'); },
            get configKeys() { return Object.keys(s.config[group] || {}); },
            readConfig: function (k) { return (s.config[group] || {})[k]; },
            writeConfig: function (k, v) { (s.config[group] = s.config[group] || {})[k] = String(v); }
        };
    });
}
)";

struct Shown {
    int id;
    int screen;
    std::string plugin;
    Config config; // of that plugin
};

// A plasmashell on the bus, on a thread of its own so that a blocking call can be answered.
class FakePlasmaShell {
public:
    FakePlasmaShell(const PrivateBus& bus, const std::vector<Shown>& desktops) {
        QJsonArray state;
        for (const Shown& d : desktops) {
            QJsonObject config;
            for (const auto& [k, v] : d.config) {
                config[QString::fromStdString(k)] = QString::fromStdString(v);
            }
            const QString plugin = QString::fromStdString(d.plugin);
            state.append(
                QJsonObject{{"id", d.id}, {"screen", d.screen}, {"plugin", plugin}, {"config", config}});
        }
        // The settings in their plugin's group; screens side by side, 1920x1080 each.
        const QString setup = QStringLiteral("var state = %1; state.forEach(function (s) { var c = {}; "
                                             "c[groupOf(s.plugin)] = s.config; s.config = c; }); "
                                             "var geometries = [0, 1, 2].map(function (i) { "
                                             "return {x: 1920 * i, y: 0, width: 1920, height: 1080}; });")
                                  .arg(QString::fromUtf8(QJsonDocument(state).toJson()));
        m_worker.moveToThread(&m_thread);
        m_thread.start();
        onThread([&] {
            m_engine = std::make_unique<QJSEngine>();
            m_engine->evaluate(QString::fromLatin1(shellModel) + setup);
            m_connection = std::make_unique<QDBusConnection>(bus.connect("plasmashell"));
            m_connection->registerService(QStringLiteral("org.kde.plasmashell"));
            m_object =
                std::make_unique<testing::FakeObject>(*m_connection, "/PlasmaShell", "org.kde.PlasmaShell");
            m_object->methods["evaluateScript"] = [this](const QDBusMessage& m) { return evaluate(m); };
        });
    }
    ~FakePlasmaShell() {
        onThread([&] {
            m_object.reset();
            m_connection.reset();
            m_engine.reset();
        });
        m_thread.quit();
        m_thread.wait();
    }

    // Each desktop's plugin and that plugin's settings now.
    std::map<int, plasma::Wallpaper> wallpapers() {
        QString json;
        onThread([&] { json = m_engine->evaluate(QStringLiteral("wallpapers()")).toString(); });
        return plasma::parseRemembered(json.toStdString()).value();
    }
    // The user picks `plugin` for desktop `id` in Plasma's settings.
    void choose(int id, const std::string& plugin) {
        onThread([&] {
            m_engine->evaluate(
                QStringLiteral("state.forEach(function (s) { if (s.id === %1) s.plugin = '%2'; })")
                    .arg(id)
                    .arg(QString::fromStdString(plugin)));
        });
    }

    std::atomic<bool> failing{false};
    std::atomic<int> calls{0};

private:
    QDBusMessage evaluate(const QDBusMessage& m) {
        ++calls;
        if (failing) {
            return m.createErrorReply(QStringLiteral("org.kde.plasmashell.error"), QStringLiteral("locked"));
        }
        m_engine->evaluate(QStringLiteral("printed = '';"));
        // Each script runs in a scope of its own, as plasmashell gives each a fresh engine.
        const QJSValue result = m_engine->evaluate(QStringLiteral("(function () {\n") +
                                                   m.arguments().value(0).toString() + "\n})();");
        if (result.isError()) {
            return m.createErrorReply(QStringLiteral("org.kde.plasmashell.error"), result.toString());
        }
        return m.createReply(m_engine->globalObject().property("printed").toString());
    }
    void onThread(const std::function<void()>& work) {
        QMetaObject::invokeMethod(&m_worker, work, Qt::BlockingQueuedConnection);
    }

    QThread m_thread;
    QObject m_worker;
    std::unique_ptr<QJSEngine> m_engine;
    std::unique_ptr<QDBusConnection> m_connection;
    std::unique_ptr<testing::FakeObject> m_object;
};

constexpr char ours[] = "app.drovane.wallpaper";
// Whatever a path holds stays one value: quotes, a backslash, a line break, JavaScript's line
// separator and a would-be statement.
const std::string hostile = "file:///home/u/it's \"a\" \\ path\n\u2028'; desktops().length = 0; '.jpg";

Rect screen(int i) {
    return {{1920.0 * i, 0}, {1920, 1080}};
}

class PlasmaWallpaperTest : public ::testing::Test {
protected:
    PlasmaWallpaperTest() { testing::ensureQtApplication(); }

    std::unique_ptr<PlasmaWallpaper> wallpaper() {
        return std::make_unique<PlasmaWallpaper>(bus.connect("drovane"), memory,
                                                 QString::fromStdString(shellConfig), log);
    }
    // Shows the streams and waits until plasmashell has answered what was asked.
    void show(PlasmaWallpaper& w, FakePlasmaShell& shell, std::vector<ScreenStream> streams) {
        const int before = shell.calls;
        w.show(std::move(streams));
        testing::waitFor([&] { return w.isWallpaper() || (shell.failing && shell.calls > before); });
        QTest::qWait(50);
    }

    fakes::TempDir tree;
    PrivateBus bus{tree.path(), "session"};
    std::shared_ptr<fakes::CapturedLog> log = std::make_shared<fakes::CapturedLog>();
    const std::string memory = tree / "config/drovane/plasma-wallpapers.json";
    const std::string shellConfig = tree.write("config/plasma-org.kde.plasma.desktop-appletsrc", "");
};

TEST_F(PlasmaWallpaperTest, TakesEveryDesktopOnAScreenAndGivesBackWhatItHad) {
    struct Row {
        const char* what;
        std::vector<Shown> desktops;
        std::vector<ScreenStream> streams;
        std::optional<std::string> memoryBefore; // what a crashed copy left
        bool shellFails;
        std::map<int, std::string> nodeIds; // desktops that show the film, with their node
        std::map<int, plasma::Wallpaper> remembered;
        std::map<int, plasma::Wallpaper> givenBack;
    };
    const plasma::Wallpaper image{"org.kde.image", {{"Image", hostile}, {"FillMode", "2"}}};
    const plasma::Wallpaper color{"org.kde.color", {{"Color", "58,110,165"}}};
    const plasma::Wallpaper potd{"org.kde.potd", {{"Provider", "apod"}}};
    const plasma::Wallpaper ourOwn{ours, {{"NodeId", "7"}}};
    const plasma::Wallpaper plainDefault{"org.kde.image", {}};
    const std::string remembersImage = plasma::serialize({{1, image}});
    // clang-format off
    const Row rows[] = {
        {"image, colour and another plugin on three screens; the streams listed in another order, one "
         "screen's by its centre alone (a scaled frame)",
         {{1, 0, image.plugin, image.config}, {2, 1, color.plugin, color.config}, {3, 2, potd.plugin, potd.config}},
         {{screen(2), 42}, {screen(0), 40}, {{{1900, -10}, {1950, 1100}}, 41}}, {}, false,
         {{1, "40"}, {2, "41"}, {3, "42"}}, {{1, image}, {2, color}, {3, potd}}, {{1, image}, {2, color}, {3, potd}}},
        {"a desktop still ours after a crash keeps what the crashed copy remembered",
         {{1, 0, ours, ourOwn.config}, {2, 1, color.plugin, color.config}},
         {{screen(0), 50}, {screen(1), 51}}, remembersImage, false,
         {{1, "50"}, {2, "51"}}, {{1, image}, {2, color}}, {{1, image}, {2, color}}},
        {"a desktop ours with nothing remembered gets Plasma's default",
         {{1, 0, ours, ourOwn.config}}, {{screen(0), 50}}, {}, false, {{1, "50"}}, {}, {{1, plainDefault}}},
        {"plasmashell answering an error changes nothing and loses nothing remembered",
         {{1, 0, ours, ourOwn.config}}, {{screen(0), 50}}, remembersImage, true,
         {{1, "7"}}, {{1, image}}, {{1, ourOwn}}},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::filesystem::remove(memory);
        if (row.memoryBefore) {
            tree.write("config/drovane/plasma-wallpapers.json", *row.memoryBefore);
        }
        FakePlasmaShell shell(bus, row.desktops);
        shell.failing = row.shellFails;
        auto w = wallpaper();
        show(*w, shell, row.streams);

        std::map<int, std::string> nodeIds;
        for (const auto& [id, wallpaper] : shell.wallpapers()) {
            if (wallpaper.plugin == ours) {
                nodeIds[id] = wallpaper.config.at("NodeId");
            }
        }
        EXPECT_EQ(nodeIds, row.nodeIds);
        const auto kept = readWholeFile(memory);
        EXPECT_EQ(kept ? plasma::parseRemembered(*kept) : std::nullopt, row.remembered);

        w.reset(); // quitting
        EXPECT_EQ(shell.wallpapers(), row.givenBack);
        EXPECT_EQ(std::filesystem::exists(memory), row.shellFails) << "kept exactly until given back";
    }
}

TEST_F(PlasmaWallpaperTest, AnotherWallpaperChosenInPlasmaGivesTheOtherDesktopsBackAndStops) {
    const plasma::Wallpaper image{"org.kde.image", {{"Image", "file:///a.jpg"}}};
    FakePlasmaShell shell(bus, {{1, 0, image.plugin, image.config}, {2, 1, image.plugin, image.config}});
    auto w = wallpaper();
    bool released = false;
    w->onReleased = [&] { released = true; };
    show(*w, shell, {{screen(0), 40}, {screen(1), 41}});
    ASSERT_TRUE(w->isWallpaper());

    shell.choose(2, "org.kde.color");
    tree.write("config/plasma-org.kde.plasma.desktop-appletsrc", "[Containments]\n");
    EXPECT_TRUE(testing::waitFor([&] { return released; }));
    EXPECT_EQ(shell.wallpapers().at(1), image);
    EXPECT_EQ(shell.wallpapers().at(2).plugin, "org.kde.color");
    EXPECT_FALSE(std::filesystem::exists(memory));
    w->show({{screen(0), 60}});
    QTest::qWait(200);
    EXPECT_EQ(shell.wallpapers().at(1), image) << "no taking over again once released";
}

TEST_F(PlasmaWallpaperTest, WithoutStreamsForAWhileTheDesktopGetsItsOwnBackUntilTheyReturn) {
    const plasma::Wallpaper color{"org.kde.color", {{"Color", "1,2,3"}}};
    FakePlasmaShell shell(bus, {{1, 0, color.plugin, color.config}});
    auto w = wallpaper();
    show(*w, shell, {{screen(0), 41}});
    w->show({}); // no film any more
    EXPECT_TRUE(testing::waitFor([&] { return shell.wallpapers().at(1) == color; }, nullptr, 6));
    show(*w, shell, {{screen(0), 42}});
    EXPECT_EQ(shell.wallpapers().at(1).config.at("NodeId"), "42");
    w.reset();
    EXPECT_EQ(shell.wallpapers().at(1), color) << "what it had before the first take-over";
}

} // namespace
} // namespace drovane::desktop
