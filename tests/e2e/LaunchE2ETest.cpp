#include "SampleLibraryE2E.h"

#include <algorithm>
#include <cctype>

namespace drovane::e2e {
namespace {

// The program as a desktop starts it: links of its scheme, a second launch reaching the first
// over a session bus of the test's own, and the launch options that decide what shows.
class LaunchE2ETest : public SampleLibraryE2ETest {
protected:
    ChildProcess launch(std::vector<std::string> arguments) const {
        return program(std::move(arguments), {{"DBUS_SESSION_BUS_ADDRESS", bus.address()}});
    }
    std::string lockLine() const {
        return "Drovane: another instance is running (lock " + home / "run/drovane/instance.lock" +
               "), exiting";
    }
    // A film of the sample home that is on disk, by its file name.
    std::string filmOnDisk() const {
        std::vector<std::string> names;
        for (const auto& film : fs::directory_iterator(videos())) {
            names.push_back(film.path().filename());
        }
        std::sort(names.begin(), names.end());
        return names.back();
    }
    std::string tuscanyFile() const { return videos() + "/" + s_tuscany + ".mov"; }
    std::string lowerCased(std::string text) const {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        return text;
    }

    desktop::testing::PrivateBus bus{home.path(), "session"};
};

TEST_F(LaunchE2ETest, ALinkStartsTheProgramWhichFetchesTheFilmAndPlaysIt) {
    ASSERT_FALSE(bus.address().empty());
    auto drovane = launch({"drovane://film/" + lowerCased(s_tuscany)});
    EXPECT_TRUE(eventually([&] { return fs::exists(tuscanyFile()); }))
        << testing::PrintToString(drovane.lines());
    EXPECT_TRUE(eventually([&] { return storedChoice() == tuscanyFile(); })) << "it plays";
    EXPECT_EQ(libraryWindows().size(), 1u) << "the library window shows the download";
    EXPECT_FALSE(windows("Drovane wallpaper").empty());
}

TEST_F(LaunchE2ETest, ASecondLaunchHandsItsLinkToTheRunningCopyAndLeaves) {
    auto first = launch({});
    ASSERT_TRUE(eventually([&] { return !windows("Drovane wallpaper").empty(); }));
    ASSERT_TRUE(libraryWindows().empty()) << "a bare executable opens no window";

    auto second = launch({"drovane://film/" + s_tuscany});
    EXPECT_EQ(second.waitForExit(20s), 0);
    EXPECT_EQ(second.lines(), std::vector<std::string>{lockLine()});

    EXPECT_TRUE(eventually([&] { return libraryWindows().size() == 1; })) << "the running copy shows it";
    EXPECT_TRUE(eventually([&] { return storedChoice() == tuscanyFile(); }))
        << "the running copy fetched the film and plays it: " << testing::PrintToString(first.lines());
}

TEST_F(LaunchE2ETest, AFilmOnDiskPlaysAtOnceWithoutAWindowAndOtherLinksAreIgnored) {
    auto first = launch({});
    ASSERT_TRUE(eventually([&] { return !windows("Drovane wallpaper").empty(); }));
    const std::string film = filmOnDisk();
    const std::string id = film.substr(0, film.size() - 4);

    for (const char* other : {"drovane://other/", "drovane:film/"}) {
        auto ignored = launch({other + id, "https://example.com/film/" + id});
        EXPECT_EQ(ignored.waitForExit(20s), 0);
    }
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(storedChoice(), "") << "nothing was chosen";
    EXPECT_TRUE(libraryWindows().empty());

    auto chosen = launch({"drovane://film/" + id});
    EXPECT_EQ(chosen.waitForExit(20s), 0);
    EXPECT_TRUE(eventually([&] { return storedChoice() == videos() + "/" + film; }, 10s));
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(libraryWindows().empty()) << "a film on disk opens no window";
}

TEST_F(LaunchE2ETest, APlainSecondLaunchShowsTheLibraryWindowOnlyWhenNoneShows) {
    auto first = launch({});
    ASSERT_TRUE(eventually([&] { return !windows("Drovane wallpaper").empty(); }));
    ASSERT_TRUE(libraryWindows().empty());
    for (int launches = 0; launches < 2; ++launches) {
        auto again = launch({});
        EXPECT_EQ(again.waitForExit(20s), 0);
        EXPECT_EQ(again.lines(), std::vector<std::string>{lockLine()});
        EXPECT_TRUE(eventually([&] { return libraryWindows().size() == 1; })) << "launch " << launches;
    }
}

TEST_F(LaunchE2ETest, OnboardingWithAFilmGivenShowsNoWallpaper) {
    auto drovane = launch({"--onboarding", videos() + "/" + filmOnDisk()});
    EXPECT_TRUE(drovane.waitForLine(
        "Drovane: no video found in " + videos() + ", running without a wallpaper layer", 30s));
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(windows("Drovane wallpaper").empty());
}

// The flag search finds "--settings" even as the screenshot's path: the settings window is
// pictured into a file of that name, 4 s after launch, in front of the library window.
TEST_F(LaunchE2ETest, SettingsAsTheScreenshotsPathPicturesTheSettingsWindowInFront) {
    const auto started = std::chrono::steady_clock::now();
    auto drovane = program({"--screenshot", "--settings"}, {}, home.path());
    ASSERT_TRUE(drovane.waitForLine("Drovane: snapshot written to --settings", 30s));
    EXPECT_GE(std::chrono::steady_clock::now() - started, 4s);
    const QImage shot(QString::fromStdString(home / "--settings"));
    EXPECT_EQ(shot.size(), QSize(460, 420)) << "the settings window's view";

    std::vector<std::string> titles = stacking();
    std::erase_if(titles, [](const std::string& t) { return t != "Drovane" && t != "Drovane Settings"; });
    EXPECT_EQ(titles, (std::vector<std::string>{"Drovane Settings", "Drovane"}))
        << "both open, settings in front";
    EXPECT_EQ(libraryWindows().size(), 1u);
    EXPECT_EQ(run(x.display(), "xdotool", {"getwindowfocus"}), windows("Drovane Settings").at(0));
    EXPECT_FALSE(drovane.waitForExit(500ms).has_value()) << "the program runs on";
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
    ASSERT_TRUE(eventually([&] { return libraryWindows().size() == 1; }));
    const QString window = QString::fromStdString(libraryWindows().front());
    const auto grab = [&] {
        const std::string path = home / "window.png";
        run(x.display(), "import", {"-window", window, QString::fromStdString(path)});
        return QImage(QString::fromStdString(path));
    };
    std::optional<QPoint> button;
    ASSERT_TRUE(eventually([&] { return (button = prominentButton(grab())).has_value(); }, 20s))
        << "the empty state offers to fetch the catalogue";
    run(x.display(), "xdotool",
        {"mousemove", "--window", window, QString::number(button->x()), QString::number(button->y()), "click",
         "1"});
    const bool fetched = eventually([&] { return readFile(manifest()) == s_manifest; }, 20s);
    drovane.waitForLine("(the log so far)", 200ms);
    EXPECT_TRUE(fetched) << testing::PrintToString(drovane.lines());
    EXPECT_TRUE(eventually([&] { return !prominentButton(grab()); }, 20s))
        << "the grid replaced the empty state";
}

} // namespace
} // namespace drovane::e2e
