#include "SampleLibraryE2E.h"
#include "desktop/shell/FakePanel.h"
#include "support/CaseMapping.h"
#include "support/XmlPropertyList.h"

#include <algorithm>

namespace drovane::e2e {
namespace {

// A folder's regular files, name to bytes.
std::map<std::string, std::string> contents(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& name : filesIn(folder)) {
        files[name] = readFile(folder + "/" + name);
    }
    return files;
}

// The program as a desktop starts it: links of its scheme and plain launches reaching the first
// copy over a session bus of the test's own, and the launch options that decide what shows.
class LaunchE2ETest : public SampleLibraryE2ETest {
protected:
    ChildProcess launch(std::vector<std::string> arguments) const {
        return program(std::move(arguments), {{"DBUS_SESSION_BUS_ADDRESS", bus.address()}});
    }
    // A launch while the first copy runs: it hands over and leaves.
    void handOver(std::vector<std::string> arguments) const {
        auto again = launch(std::move(arguments));
        EXPECT_EQ(again.waitForExit(20s), 0);
        EXPECT_EQ(again.lines(), std::vector<std::string>{"Drovane: another instance is running (lock " +
                                                          home / "run/drovane/instance.lock" + "), exiting"});
    }

    desktop::testing::PrivateBus bus{home.path(), "session"};
};

// A link to a film on disk plays it at once without a window; a plain launch shows the library
// window only when none shows; a link to a missing film (in lower case) has the running copy
// fetch it and play it. Which links name a film is the film link's table; that the running copy
// is handed every link as it came, the running instance's test.
TEST_F(LaunchE2ETest, SecondLaunchesHandTheirLinkOrTheirActivationToTheRunningCopy) {
    ASSERT_FALSE(bus.address().empty());
    // The reminder each choice brings (a modal alert of its own tests) would hold up the launches after it.
    fs::create_directories(home / "home/.config/drovane");
    std::ofstream(home / "home/.config/drovane/app.drovane.plist")
        << writeXmlPropertyList(Value(Value::Dictionary{{"remindToMatch", false}}));
    auto first = launch({});
    ASSERT_TRUE(eventually([&] { return !x.windows("Drovane wallpaper").empty(); }));
    ASSERT_TRUE(libraryWindows().empty()) << "a bare executable opens no window";
    const std::string film = filesIn(videos()).back();
    const std::string id = film.substr(0, film.size() - 4);
    EXPECT_EQ(storedChoice(), "") << "a bare launch chooses nothing";

    handOver({"drovane://film/" + id});
    EXPECT_TRUE(eventually([&] { return storedChoice() == videos() + "/" + film; }, 10s));
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(libraryWindows().empty()) << "a film on disk opens no window";

    for (int launches = 0; launches < 2; ++launches) {
        handOver({});
        EXPECT_TRUE(eventually([&] { return libraryWindows().size() == 1; })) << "launch " << launches;
    }

    handOver({"drovane://film/" + lowerCased(s_tuscany)});
    const std::string tuscany = videos() + "/" + s_tuscany + ".mov";
    EXPECT_TRUE(eventually([&] { return storedChoice() == tuscany; }))
        << "the running copy fetched the film and plays it: " << testing::PrintToString(first.lines());
    EXPECT_EQ(readFile(tuscany), s_film);
    EXPECT_EQ(libraryWindows().size(), 1u);
}

// The accent-filled button of the empty state, found in a picture of the window: the rows
// right of the sidebar that hold a long run of one accent colour. Thumbnails are gradients,
// so a blue sky or sea in the grid does not pass for it.
std::optional<QPoint> prominentButton(const QImage& window) {
    const auto accent = [](QRgb c) {
        const QColor colour(c);
        return colour.blue() > colour.red() + 60 && colour.blue() > 120 && colour.saturation() > 100;
    };
    QRect box;
    int rows = 0;
    for (int y = 0; y < window.height(); ++y) {
        int run = 0;
        int longest = 0;
        QRect longestRun;
        for (int x = 281; x < window.width(); ++x) {
            const QRgb c = window.pixel(x, y);
            run = accent(c) && c == window.pixel(x - 1, y) ? run + 1 : 0;
            if (run > longest) {
                longest = run;
                longestRun = QRect(x - run, y, run + 1, 1);
            }
        }
        if (longest > 40) {
            box |= longestRun;
            ++rows;
        }
    }
    return rows >= 10 ? std::optional(box.center()) : std::nullopt;
}

TEST_F(LaunchE2ETest, WithoutACatalogueTheEmptyStatesButtonFetchesItAndTheGridAppears) {
    fs::remove(manifest());
    auto drovane = launch({"--open-window"});
    const std::string window = libraryWindow();
    ASSERT_FALSE(window.empty());
    const auto grab = [&] { return x.grab(window, home / "window.png"); };
    std::optional<QPoint> button;
    ASSERT_TRUE(eventually([&] { return (button = prominentButton(grab())).has_value(); }, 20s))
        << "the empty state offers to fetch the catalogue";
    x.click(window, button->x(), button->y());
    const bool fetched = eventually([&] { return readFile(manifest()) == s_manifest; }, 20s);
    drovane.waitForLine("(the log so far)", 200ms);
    EXPECT_TRUE(fetched) << testing::PrintToString(drovane.lines());
    EXPECT_TRUE(eventually([&] { return !prominentButton(grab()); }, 20s))
        << "the grid replaced the empty state";
}

// A film fetched through a link on the command line from a server that stalls after its first
// piece is given up once the environment's limit has passed (the default is a minute), leaving
// the films there were and nothing aside, and the program runs on. The many other ways a download
// fails are the network layer's, the film check's and the queue's own tests.
TEST_F(LaunchE2ETest, AStalledDownloadIsGivenUpAtTheEnvironmentsLimitAndLeavesTheFilmsThereWere) {
    desktop::LoopbackServer stalls;
    stalls.server.Get(R"(/videos/.*)", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content_provider(1 << 20, "video/quicktime",
                                      [&](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                          if (offset == 0) {
                                              sink.write(std::string(65536, 'x').data(), 65536);
                                              return true;
                                          }
                                          stalls.waitUntil([] { return false; }, 60s);
                                          return false;
                                      });
    });
    stalls.start();
    std::string catalogue = readFile(manifest());
    const std::string theirs = s_server->url("/videos/");
    for (auto at = catalogue.find(theirs); at != std::string::npos; at = catalogue.find(theirs, at)) {
        catalogue.replace(at, theirs.size(), stalls.url("/videos/"));
    }
    std::ofstream(manifest(), std::ios::binary | std::ios::trunc) << catalogue;

    const std::string film = "1E2D3C4B-5A69-4788-96A5-B4C3D2E1F001"; // Yosemite: missing from the sample home
    const auto before = contents(videos());
    auto drovane = program({"drovane://film/" + film}, {{"DROVANE_LOW_SPEED_SECONDS", "3"}});
    EXPECT_TRUE(drovane.waitForLine("Drovane: download of " + film + " failed: Operation too slow.", 30s))
        << testing::PrintToString(drovane.lines());
    EXPECT_FALSE(drovane.waitForExit(300ms)) << "the program runs on";
    EXPECT_EQ(contents(videos()), before) << "only the films there were, byte for byte";
    EXPECT_TRUE(filesIn(fs::path(videos()).parent_path() / ".drovane-partial").empty())
        << "nothing is left aside";
}

// The sample library plays without complaint, with the renderer the probing copy of the program
// found. Quit in the tray once crashed on the way out: the wallpaper's render thread outlived
// the application object, torn down among the static destructors.
TEST_F(LaunchE2ETest, TheSampleLibraryPlaysAndQuitFromThePanelEndsItWithStatusZero) {
    desktop::testing::ensureQtApplication();
    desktop::testing::Panel panel(bus);
    panel.startWatcher();
    auto drovane = launch({});
    ASSERT_TRUE(desktop::testing::waitFor([&] { return !panel.items.isEmpty(); }, nullptr, 20))
        << "the item registers";
    EXPECT_FALSE(drovane.waitForExit(3s)) << "playing for a moment: the render thread runs";
    panel.aboutToShow();
    const int quit = desktop::testing::child(panel.layout(), QStringLiteral("Quit")).id;
    ASSERT_NE(quit, 0);
    panel.click(quit);
    EXPECT_EQ(drovane.waitForExit(10s), 0);
    bool rendererNamed = false;
    for (const auto& line : drovane.lines()) {
        EXPECT_TRUE(line.starts_with("Drovane: ") && !line.starts_with("Drovane: no video found")) << line;
        rendererNamed |= line.find("the OpenGL renderer \"") != std::string::npos;
    }
    EXPECT_TRUE(rendererNamed);
}

} // namespace
} // namespace drovane::e2e
